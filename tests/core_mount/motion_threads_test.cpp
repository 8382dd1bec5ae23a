// The motion threads against each other and against the host: starting a
// motion, interrupting one, and destroying the mount while one runs.
//
// The clock is a manual one: it stands still unless a test advances it, so a
// backlash take-up lasts until the test lets it end, while the 200 ms goto
// polls and the hand-over waits pass in a tenth (or fortieth) of the time.
// Command traces read "G1 H0": goto on axis 1, halt on axis 0 (S slew, T
// start tracking).
#include <functional>
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

bool Idle(const ScriptedMount& m) { return m.RunningThreads() == 0; }

// A reversal below the take-up rate first crosses the backlash at the take-up
// rate for its full time; a negligible rate halts the axis instead. The clock
// runs and wraps just after the move starts: the wrap neither ends the
// take-up early nor keeps it waiting.
TEST_F(MotionStart, BacklashIsTakenUpOnReversalOnlyAndSurvivesATickWrap) {
  const struct {
    int lastPositive, compensation;
    double rate, takeUpAngle;
    double takeUpRate;  // 0: no take-up
    const char* trace;
  } cases[] = {
      {1, 1, kSiderealRate, Deg(1), 0, "S1"},
      {1, 1, -kSiderealRate, Deg(1), -kRateScale, "S1 H1 S1"},
      {0, 1, kSiderealRate, Deg(1), kRateScale, "S1 H1 S1"},
      {1, 1, -kSiderealRate, Deg(0.005), 0, "S1"},  // 18 ms: not worth it
      {1, 0, -kSiderealRate, Deg(1), 0, "S1"},
      {1, 1, -kRateScale, Deg(1), 0, "S1"},
      {1, 1, -1.1e-6 * kSiderealRate, 0, 0, "S1"},
      {1, 1, 0.0, 0, 0, "H1"},
      {1, 1, 0.9e-6 * kSiderealRate, 0, 0, "H1"},
      {1, 1, -0.9e-6 * kSiderealRate, Deg(1), 0, "H1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    platform::ScaledTickSource clock(100.0, 0xFFFFFFFFu - 300u);
    platform::ScopedTickSource installed(clock);
    ScriptedMount m;
    m.Rates().CompensateBacklash(c.compensation);
    m.Axes().NoteDirection(1, c.lastPositive);
    ASSERT_EQ(m.SetBacklash(1, c.takeUpAngle), kOk);
    EXPECT_EQ(m.MoveAxis(1, c.rate, 0), kOk);
    ASSERT_TRUE(Eventually([&] { return Idle(m); }));
    EXPECT_EQ(m.Trace(), c.trace);
    const std::vector<Call> calls = m.Calls();
    if (c.takeUpRate != 0) {
      EXPECT_EQ(calls[0].value, c.takeUpRate);
      EXPECT_GE(static_cast<uint32_t>(calls[1].tick - calls[0].tick), 3739u);
    }
    if (calls.back().op == Op::kSlew) {
      EXPECT_EQ(calls.back().value, c.rate);
    }
    if (calls.back().op == Op::kHalt) {
      EXPECT_EQ(m.ClaimOn(1), 0);
    }
  }
}

// A take-up that is still running ends with a halt, and the move after it
// never starts, when the host stops the axis (a newer motion cutting a
// tracking start's take-up short is in the table below).
TEST_F(MotionInterrupt, TakeUpIsCutShortByAStop) {
  ScriptedMount m;
  ASSERT_EQ(m.SetBacklash(0, Deg(1)), kOk);
  ASSERT_EQ(m.MoveAxis(0, -kSiderealRate, 0), kOk);
  ASSERT_TRUE(Eventually([&] { return m.Trace() == "S0"; }));
  EXPECT_EQ(m.StopAxis(0), kOk);
  ASSERT_TRUE(Eventually([&] { return Idle(m); }));
  EXPECT_EQ(m.Trace(), "S0 H0 H0 H0");
}

// A command for the right ascension axis given while a tracking start takes
// up its backlash ends the take-up with a halt, and tracking never starts;
// a command for the other axis leaves it alone. The clock then runs past the
// take-up, so a tracking start that missed the command would go on.
TEST_F(MotionInterrupt, ACommandDuringTheTrackingTakeUpWinsOverIt) {
  const struct {
    const char* what;
    std::function<MountResult(ScriptedMount&)> command;
    bool tracks;
  } cases[] = {
      {"StopAxis(0)", [](ScriptedMount& m) { return m.StopAxis(0); }, false},
      {"SetTracking(0)", [](ScriptedMount& m) { return m.SetTracking(0); }, false},
      {"hand move of axis 0", [](ScriptedMount& m) { return m.MoveAxis(0, -kRateScale / 4, 0); },
       false},
      {"a newer motion of axis 0",
       [](ScriptedMount& m) { return (void)m.BeginMotion(kAxis0), kOk; }, false},
      {"StopAxis(1)", [](ScriptedMount& m) { return m.StopAxis(1); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedMount m(1);
    m.Rates().UseTrackingRate(-kSiderealRate);  // southern sky: a reversal
    ASSERT_EQ(m.SetBacklash(0, Deg(1)), kOk);
    ASSERT_TRUE(m.LaunchTrackingStartThread(m.BeginCommand(kAxis0)));
    ASSERT_TRUE(Eventually([&] { return m.Trace() == "S0"; }));
    EXPECT_EQ(c.command(m), kOk);
    clock_.Advance(4000);
    ASSERT_TRUE(Eventually([&] { return Idle(m); }));
    int trackingCommands = 0;
    for (const Call& call : m.Calls()) {
      trackingCommands += call.op == Op::kSlew && call.value == -kSiderealRate;
    }
    EXPECT_EQ(trackingCommands, c.tracks ? 1 : 0) << m.Trace();
    if (!c.tracks) {
      EXPECT_EQ(m.Trace().rfind("S0 H0", 0), 0u) << "the take-up ends with a halt";
    }
    EXPECT_EQ((m.Published().MountState() & MOUNT_TRACKING) != 0, c.tracks);
  }
}

// Starts a sky or axis goto that never arrives on a thread of the test's own,
// so that its result can be read, and waits until it polls.
std::thread StuckGoto(ScriptedMount& m, MountResult& result, bool sky) {
  m.pollsPerGoto = -1;
  const uint32_t command = m.BeginMotion(kBothAxes);
  std::thread t([&m, &result, sky, command] {
    result = sky ? m.GotoSkyThread(command, SkyPoint{0.5, 0.5}, platform::Now())
                 : m.GotoAxesThread(command, AxisPair{0.5, 0.5});
  });
  EXPECT_TRUE(Eventually([&] { return m.Trace() == "G1 G0"; }));
  return t;
}

// The first goto halts both axes and leaves axisMoving set for the second,
// which then drives the axes to its own target and starts tracking.
TEST_F(MotionInterrupt, SecondGotoTakesOverWithinOnePoll) {
  ScriptedMount m;
  MountResult first = -1;
  std::thread t = StuckGoto(m, first, true);
  m.pollsPerGoto = 1;  // the second goto's moves arrive
  EXPECT_EQ(m.GotoSky(SkyPoint{0.3, 0.1}), kOk);
  t.join();
  EXPECT_EQ(first, kUserInterrupt);
  ASSERT_TRUE(Eventually([&] { return Idle(m); }));
  EXPECT_EQ(m.Trace(), "G1 G0 H0 H1 G1 G0 T0");
  EXPECT_NEAR(m.Axes().Position(0), 0.3, 1e-12);
  EXPECT_NEAR(m.Axes().Position(1), 0.1, 1e-12);
  EXPECT_TRUE(m.TrackingRequested());
}

// The stop's own halt goes out first, before the goto gives way.
TEST_F(MotionInterrupt, StopAxisEndsAGotoAndHaltsBothAxes) {
  ScriptedMount m;
  MountResult result = -1;
  std::thread t = StuckGoto(m, result, false);
  EXPECT_EQ(m.StopAxis(1), kOk);
  t.join();
  EXPECT_EQ(result, kUserInterrupt);
  EXPECT_EQ(m.Trace(), "G1 G0 H1 H0 H1");
  EXPECT_EQ(m.ClaimOn(0) + m.ClaimOn(1) + m.Published().GotoActive(), 0);
  EXPECT_EQ(m.Published().MountState(), MOUNT_STOPPED);
  EXPECT_TRUE(m.AxesIdle());
}

// Motions started back to back each wait for the axes and take them in one
// step, so they never own the axes at once (the goto start below counts the
// owners while it holds them).
TEST_F(MotionInterrupt, MotionsStartedBackToBackOwnTheAxesOneAtATime) {
  struct CountingMount : ScriptedMount {
    std::atomic<int> owners{0}, most{0};
    MountResult HaltAxesBeforeGoto(uint32_t) override {
      const int now = ++owners;
      for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
      }
      std::this_thread::sleep_for(std::chrono::microseconds(300));
      --owners;
      return kOk;
    }
  };
  CountingMount m;
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(m.StartAxesGoto(0.1 * (i % 3), 0.2), kOk);
    ASSERT_EQ(m.StartAxesGoto(0.2, 0.1 * (i % 5)), kOk);
  }
  ASSERT_TRUE(Eventually([&] { return Idle(m); }));
  EXPECT_EQ(m.most, 1);
}

// Shutdown, as DestroyMount runs it, then delete, in the middle of each kind
// of motion: every thread is joined, the motion is cut short with a halt and
// never completes, and nothing commands the axes afterwards.
TEST_F(MotionDestroy, InTheMiddleOfEachKindOfMotion) {
  const struct {
    const char* trace;
    std::function<void(ScriptedMount&)> start;
  } cases[] = {
      {"G1 G0 H0 H1",
       [](ScriptedMount& m) {
         m.pollsPerGoto = -1;
         ASSERT_EQ(m.GotoSky(SkyPoint{0.3, 0.1}), kOk);
         ASSERT_TRUE(Eventually([&] { return m.Trace() == "G1 G0"; }));
       }},
      {"S1 H1 H1",  // the take-up ends, then the move is called off
       [](ScriptedMount& m) {
         ASSERT_EQ(m.SetBacklash(1, Deg(1)), kOk);
         ASSERT_EQ(m.MoveAxis(1, -kSiderealRate, 0), kOk);
         ASSERT_TRUE(Eventually([&] { return m.Trace() == "S1"; }));
       }},
      {"S0 H0",  // tracking start, with a second one waiting for the axes
       [](ScriptedMount& m) {
         m.DeclareEquatorial(true);
         m.Rates().UseTrackingRate(-kSiderealRate);
         ASSERT_EQ(m.SetBacklash(0, Deg(1)), kOk);
         const uint32_t command = m.BeginCommand(kAxis0);
         ASSERT_TRUE(m.LaunchTrackingStartThread(command));
         ASSERT_TRUE(Eventually([&] { return m.Trace() == "S0"; }));
         ASSERT_TRUE(m.LaunchTrackingStartThread(command));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trace);
    auto* m = new ScriptedMount;
    c.start(*m);
    m->Shutdown();
    EXPECT_EQ(m->RunningThreads(), 0);
    EXPECT_EQ(m->Trace(), c.trace);
    EXPECT_EQ(m->Published().MountState() & MOUNT_TRACKING, 0u);
    EXPECT_EQ(m->GotoSky(SkyPoint{0.3, 0.0}), kOk);  // starts nothing any more
    EXPECT_EQ(m->Trace(), c.trace);
    delete m;
  }
}

}  // namespace
}  // namespace sidera::testing
