// The motion threads against each other and against the host: starting a
// motion, interrupting one, and destroying the mount while one runs.
//
// The clock is a manual one: it stands still unless a test advances it, so a
// backlash take-up lasts until the test lets it end, while the 200 ms goto
// polls and the hand-over waits pass in a tenth (or fortieth) of the time.
#include <thread>

#include "scripted_mount.h"

namespace sidera::testing {
namespace {

template <int kScale>
class Clocked : public ::testing::Test {
 protected:
  platform::ManualTickSource clock_{5000, static_cast<double>(kScale)};
  platform::ScopedTickSource installed_{clock_};
};
using MotionStart = Clocked<10>;
using MotionInterrupt = Clocked<10>;
using MotionDestroy = Clocked<40>;

const double kRateScale = 64.0 * kTwoPi / 86164.09065;

bool HasCall(const ScriptedMount& m, Op op, int axis, double value) {
  for (const Call& c : m.Calls()) {
    if (c.op == op && c.axis == axis && c.value == value) return true;
  }
  return false;
}

void ExpectOps(const ScriptedMount& m, const std::vector<std::pair<Op, int>>& want) {
  const std::vector<Call> got = m.Calls();
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].op, want[i].first) << i;
    EXPECT_EQ(got[i].axis, want[i].second) << i;
  }
}

bool Idle(const ScriptedMount& m) { return m.workers.RunningCount() == 0; }

// Starts an axis goto that never arrives on a thread of the test's own, so
// that its result can be read, and waits until it polls.
std::thread StuckGoto(ScriptedMount& m, MountResult& result, bool sky) {
  m.pollsPerGoto = -1;
  m.axisTarget[0] = m.axisTarget[1] = 0.5;
  m.gotoTarget.Store(SkyPoint{0.5, 0.5});
  m.axisMoving[0] = m.axisMoving[1] = 1;
  std::thread t([&m, &result, sky] { result = sky ? m.GotoSkyThread() : m.GotoAxesThread(); });
  EXPECT_TRUE(Eventually([&] { return m.CallsOf(Op::kGoto).size() == 2; }));
  return t;
}

TEST_F(MotionStart, BacklashIsTakenUpOnReversalOnlyAndSurvivesATickWrap) {
  const struct {
    int lastPositive, compensation;
    double rate, takeUpAngle;
    double takeUpRate;  // 0: no take-up
  } cases[] = {
      {1, 1, kSiderealRate, Deg(1), 0},
      {1, 1, -kSiderealRate, Deg(1), -kRateScale},
      {0, 1, kSiderealRate, Deg(1), kRateScale},
      {1, 1, -kSiderealRate, Deg(0.005), 0},  // 18 ms: not worth it
      {1, 0, -kSiderealRate, Deg(1), 0},
      {1, 1, -kRateScale, Deg(1), 0},
  };
  for (const auto& c : cases) {
    // A running clock that wraps just after the move starts.
    platform::ScaledTickSource clock(100.0, 0xFFFFFFFFu - 300u);
    platform::ScopedTickSource installed(clock);
    ScriptedMount m;
    m.backlashCompensation = c.compensation;
    m.axisLastDirectionPositive[1] = c.lastPositive;
    ASSERT_EQ(m.SetBacklash(1, c.takeUpAngle), kOk);
    EXPECT_EQ(m.MoveAxis(1, c.rate, 0), kOk);
    ASSERT_TRUE(Eventually([&] { return Idle(m); }));
    const std::vector<Call> calls = m.Calls();
    SCOPED_TRACE(c.rate);
    if (c.takeUpRate == 0) {
      ExpectOps(m, {{Op::kSlew, 1}});
    } else {
      ExpectOps(m, {{Op::kSlew, 1}, {Op::kHalt, 1}, {Op::kSlew, 1}});
      EXPECT_EQ(calls[0].value, c.takeUpRate);
      EXPECT_GE(static_cast<uint32_t>(calls[1].tick - calls[0].tick), 3739u);
    }
    EXPECT_EQ(calls.back().value, c.rate);
  }
}

TEST_F(MotionStart, NegligibleRateStopsTheAxisInstead) {
  for (double rate : {0.0, 0.9e-6 * kSiderealRate, -0.9e-6 * kSiderealRate}) {
    ScriptedMount m;
    m.axisMoving[0] = 1;
    EXPECT_EQ(m.MoveAxis(0, rate, 0), kOk);
    ExpectOps(m, {{Op::kHalt, 0}});
    EXPECT_EQ(m.axisMoving[0], 0);
    EXPECT_EQ(m.workers.RunningCount(), 0);
  }
  ScriptedMount m;
  EXPECT_EQ(m.MoveAxis(0, 1.1e-6 * kSiderealRate, 0), kOk);
  ASSERT_TRUE(Eventually([&] { return Idle(m); }));
  EXPECT_TRUE(HasCall(m, Op::kSlew, 0, 1.1e-6 * kSiderealRate));
}

TEST_F(MotionStart, TrackingStartsAfterItsTakeUpWithTheCurrentPositionAsReference) {
  ScriptedMount m(1);
  m.axisPosition[0] = 0.2;
  m.axisPosition[1] = 0.4;
  m.trackingRate = -kSiderealRate;  // southern sky: a reversal
  ASSERT_EQ(m.SetBacklash(0, Deg(1)), kOk);
  ASSERT_TRUE(m.LaunchTrackingStartThread());
  ASSERT_TRUE(Eventually([&] { return HasCall(m, Op::kSlew, 0, -kRateScale); }));
  clock_.Advance(3739);
  ASSERT_TRUE(Eventually([&] { return Idle(m); }));
  ExpectOps(m, {{Op::kSlew, 0}, {Op::kHalt, 0}, {Op::kSlew, 0}});
  EXPECT_EQ(m.Calls().back().value, -kSiderealRate);
  EXPECT_NE(m.mountState & MOUNT_TRACKING, 0u);
  const SkyPoint ref = m.trackingReference.Load();
  EXPECT_NEAR(ref.hourAngle, 0.2, 1e-12);
  EXPECT_NEAR(ref.declination, 0.4, 1e-12);
  EXPECT_EQ(m.trackingReferenceTick, clock_.Now());
  EXPECT_TRUE(m.idleEvent.IsSet());
}

TEST_F(MotionInterrupt, SecondGotoTakesOverWithinOnePoll) {
  ScriptedMount m;
  MountResult first = -1;
  std::thread t = StuckGoto(m, first, true);
  m.pollsPerGoto = 1;  // the second goto's moves arrive
  const SkyPoint second{0.3, 0.1};
  EXPECT_EQ(m.GotoSky(second), kOk);
  t.join();
  EXPECT_EQ(first, kUserInterrupt);
  ASSERT_TRUE(Eventually([&] { return Idle(m); }));
  // The first halts both axes and leaves axisMoving set for the second,
  // which then drives the axes to its own target and starts tracking.
  ExpectOps(m, {{Op::kGoto, 1},
                {Op::kGoto, 0},
                {Op::kHalt, 0},
                {Op::kHalt, 1},
                {Op::kGoto, 1},
                {Op::kGoto, 0},
                {Op::kStartTracking, 0}});
  EXPECT_NEAR(m.axisPosition[0], 0.3, 1e-12);
  EXPECT_NEAR(m.axisPosition[1], 0.1, 1e-12);
  EXPECT_EQ(m.axisMoving[0], 0);
  EXPECT_EQ(m.trackingRequested, 1);
}

TEST_F(MotionInterrupt, StopAxisEndsAGotoAndHaltsBothAxes) {
  ScriptedMount m;
  MountResult result = -1;
  std::thread t = StuckGoto(m, result, false);
  EXPECT_EQ(m.StopAxis(1), kOk);
  t.join();
  EXPECT_EQ(result, kUserInterrupt);
  ExpectOps(m, {{Op::kGoto, 1}, {Op::kGoto, 0}, {Op::kHalt, 0}, {Op::kHalt, 1}, {Op::kHalt, 1}});
  EXPECT_EQ(m.axisMoving[0], 0);
  EXPECT_EQ(m.gotoActive, 0);
  EXPECT_EQ(m.mountState, MOUNT_STOPPED);
  EXPECT_TRUE(m.idleEvent.IsSet());
}

TEST_F(MotionInterrupt, StopAxisCutsATakeUpShort) {
  ScriptedMount m;
  ASSERT_EQ(m.SetBacklash(0, Deg(1)), kOk);
  EXPECT_EQ(m.MoveAxis(0, -kSiderealRate, 0), kOk);
  ASSERT_TRUE(Eventually([&] { return HasCall(m, Op::kSlew, 0, -kRateScale); }));
  EXPECT_EQ(m.StopAxis(0), kOk);
  ASSERT_TRUE(Eventually([&] { return Idle(m); }));
  ExpectOps(m, {{Op::kSlew, 0}, {Op::kHalt, 0}, {Op::kHalt, 0}, {Op::kHalt, 0}});
}

TEST_F(MotionInterrupt, NewMotionRequestCutsATrackingTakeUpShort) {
  ScriptedMount m(1);
  m.trackingRate = -kSiderealRate;
  ASSERT_EQ(m.SetBacklash(0, Deg(1)), kOk);
  ASSERT_TRUE(m.LaunchTrackingStartThread());
  ASSERT_TRUE(Eventually([&] { return HasCall(m, Op::kSlew, 0, -kRateScale); }));
  m.axisMoving[0] = 1;
  ASSERT_TRUE(Eventually([&] { return Idle(m); }));
  ExpectOps(m, {{Op::kSlew, 0}, {Op::kHalt, 0}});
  EXPECT_EQ(m.mountState & MOUNT_TRACKING, 0u);
}

// Shutdown, as DestroyMount runs it, then delete: every thread is joined
// and none commands the axes afterwards.
void Destroy(ScriptedMount* m) {
  m->Shutdown();
  EXPECT_EQ(m->workers.RunningCount(), 0);
  const size_t calls = m->Calls().size();
  EXPECT_EQ(m->GotoSky(SkyPoint{0.3, 0.0}), kOk);  // starts nothing any more
  EXPECT_EQ(m->Calls().size(), calls);
  delete m;
}

TEST_F(MotionDestroy, DuringAGoto) {
  auto* m = new ScriptedMount;
  m->pollsPerGoto = -1;
  ASSERT_EQ(m->GotoSky(SkyPoint{0.3, 0.1}), kOk);
  ASSERT_TRUE(Eventually([&] { return m->CallsOf(Op::kGoto).size() == 2; }));
  m->Shutdown();
  EXPECT_EQ(m->CallsOf(Op::kHalt).size(), 2u);
  EXPECT_TRUE(m->CallsOf(Op::kStartTracking).empty());
  Destroy(m);
}

TEST_F(MotionDestroy, DuringARateMoveTakeUp) {
  auto* m = new ScriptedMount;
  ASSERT_EQ(m->SetBacklash(1, Deg(1)), kOk);
  ASSERT_EQ(m->MoveAxis(1, -kSiderealRate, 0), kOk);
  ASSERT_TRUE(Eventually([&] { return HasCall(*m, Op::kSlew, 1, -kRateScale); }));
  m->Shutdown();
  EXPECT_FALSE(HasCall(*m, Op::kSlew, 1, -kSiderealRate));
  EXPECT_EQ(m->Calls().back().op, Op::kHalt);
  Destroy(m);
}

TEST_F(MotionDestroy, DuringATrackingStartAndWithAMotionWaitingForTheAxes) {
  auto* m = new ScriptedMount(1);
  m->trackingRate = -kSiderealRate;
  ASSERT_EQ(m->SetBacklash(0, Deg(1)), kOk);
  ASSERT_TRUE(m->LaunchTrackingStartThread());
  ASSERT_TRUE(Eventually([&] { return HasCall(*m, Op::kSlew, 0, -kRateScale); }));
  // A second tracking start waits for the first to release the axes.
  ASSERT_TRUE(m->LaunchTrackingStartThread());
  m->Shutdown();
  EXPECT_FALSE(HasCall(*m, Op::kSlew, 0, -kSiderealRate));
  EXPECT_EQ(m->mountState & MOUNT_TRACKING, 0u);
  Destroy(m);
}

}  // namespace
}  // namespace sidera::testing
