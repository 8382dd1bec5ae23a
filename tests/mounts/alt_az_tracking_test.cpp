// The alt-azimuth tracking threads: hand-over with the other motions,
// re-capture after a hand move, backlash take-up failures, and ending.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "sidera/api/globals.h"
#include "sidera/include/sidera.h"
#include "sidera/mounts/alt_az_mount.h"
#include "sidera/sim/alt_az_simulator.h"
#include "test_support.h"

namespace sidera {
namespace {

using namespace testing_support;

AltAzMount& CurrentAltAz() { return *dynamic_cast<AltAzMount*>(g_mount); }

bool LoopRuns(AltAzMount& m) {
  return m.trackingThread != 0 && (m.mountState & MOUNT_TRACKING) != 0;
}

// The loop is gone and has left the state a later start relies on.
void ExpectTrackingEnded(AltAzMount& m) {
  EXPECT_EQ(m.trackingThread, 0);
  EXPECT_TRUE(m.trackingStoppedEvent.IsSet());
  EXPECT_EQ(m.mountState & MOUNT_TRACKING, 0u);
}

class AltAzTrackingTest : public HostSession {
 protected:
  AltAzTrackingTest() : HostSession(100.0) {}

  void StartTrackingAt(SkyPoint target) {
    ASSERT_EQ(CreateMount(7, Deg(30), 0.0), 0);
    ASSERT_EQ(GotoSky(target.hourAngle, target.declination), 0);
    ASSERT_TRUE(WaitForTrackingRates());
    ASSERT_TRUE(LoopRuns(CurrentAltAz()));
  }
};

TEST_F(AltAzTrackingTest, MoveAxisEndsTheLoopBeforeTheMoveStarts) {
  StartTrackingAt(SkyPoint{Deg(-30), Deg(20)});
  AltAzMount& m = CurrentAltAz();
  ASSERT_EQ(MoveAxis(0, 0.01), 0);
  // The loop ended before MoveAxis returned.
  ExpectTrackingEnded(m);
  ASSERT_TRUE(WaitUntil([] { return MountStateNow() == SIDERA_MOUNT_SLEWING; }));
  // A whole tracking period later nobody has changed the hand rate.
  ASSERT_TRUE(WaitTicks(12000));
  EXPECT_EQ(m.axisRate[0], 0.01);
  EXPECT_EQ(AxisStateNow(0), SIDERA_AXIS_RATE_MOTION | SIDERA_AXIS_POSITIVE);
}

TEST_F(AltAzTrackingTest, ReleasingTheLastMovingAxisResumesTracking) {
  StartTrackingAt(SkyPoint{Deg(-30), Deg(20)});
  AltAzMount& m = CurrentAltAz();
  ASSERT_EQ(MoveAxis(0, 0.01), 0);
  ASSERT_EQ(MoveAxis(1, -0.01), 0);
  ASSERT_TRUE(WaitUntil([] { return g_mount->axisRate[1] == -0.01; }));
  // Axis 1 still moves: no tracking yet.
  ASSERT_EQ(StopAxis(0), 0);
  ASSERT_TRUE(WaitTicks(2000));
  ExpectTrackingEnded(m);
  EXPECT_EQ(AxisStateNow(0), SIDERA_AXIS_STOPPED);
  // Both released: tracking comes back.
  ASSERT_EQ(StopAxis(1), 0);
  ASSERT_TRUE(WaitForTrackingRates());
  EXPECT_TRUE(LoopRuns(m));
}

// Once aligned, an axis found more than 3 degrees off the predicted track
// was moved by other means: the loop takes the new position as the one to
// track instead of pulling the mount back.
TEST_F(AltAzTrackingTest, AHandMoveOfMoreThan3DegreesIsRecaptured) {
  ASSERT_EQ(CreateMount(7, Deg(30), 0.0), 0);
  ASSERT_EQ(GotoSky(Deg(-40), Deg(25)), 0);
  ASSERT_TRUE(WaitForTrackingRates());
  AltAzMount& m = CurrentAltAz();
  // A one-star alignment on the readings the nominal model gives keeps the
  // model and marks the mount aligned; it restarts tracking.
  SkyPoint sky{};
  ASSERT_EQ(GetSkyPosition(&sky), 0);
  AxisPair axes{};
  ASSERT_EQ(GetAxisPositions(&axes), 0);
  const uint32_t referenceBefore = m.trackingReferenceTick;
  ASSERT_EQ(AlignOneStar(AlignStar{sky.hourAngle, sky.declination, axes.axis0, axes.axis1}), 0);
  ASSERT_EQ(m.isAligned, 1);
  // Wait for the cycle the restart triggers: the starter takes a new
  // reference, then the loop sets both rates; it then sleeps for 30 s.
  ASSERT_TRUE(WaitUntil([&] {
    return m.trackingReferenceTick != referenceBefore &&
           static_cast<int32_t>(m.axisStartTick[1] - m.trackingReferenceTick) >= 0;
  }));

  // Turn the azimuth axis 8 degrees behind the library's back.
  double a0 = 0;
  ASSERT_EQ(GetAxisPosition(0, &a0), 0);
  ASSERT_EQ(m.GotoAxisAngle(0, a0 + Deg(8)), 0);
  ASSERT_TRUE(WaitUntil([] {
    double position = 0;
    (void)GetAxisPosition(0, &position);  // a refresh sees the arrival
    return AxisStateNow(0) == SIDERA_AXIS_STOPPED;
  }));
  ASSERT_EQ(GetSkyPosition(&sky), 0);
  ASSERT_GT(SkyDistance(m.trackingReference.Load(), sky), Deg(3));

  m.trackingWakeEvent.Set();  // the next cycle, now
  ASSERT_TRUE(WaitUntil([&] {
    SkyPoint here{};
    (void)GetSkyPosition(&here);
    return SkyDistance(m.trackingReference.Load(), here) < Deg(0.1);
  }));
  // And the mount tracks from there rather than returning.
  ASSERT_TRUE(WaitForTrackingRates());
  double later = 0;
  ASSERT_TRUE(WaitTicks(30000));
  ASSERT_EQ(GetAxisPosition(0, &later), 0);
  EXPECT_NEAR(later, a0 + Deg(8), Deg(1));
}

class AltAzTrackingEndTest : public AltAzTrackingTest {};

TEST_F(AltAzTrackingEndTest, DestroyingTheMountWhileTrackingLeavesNothingRunning) {
  StartTrackingAt(SkyPoint{Deg(-30), Deg(20)});
  EXPECT_EQ(DestroyMount(), 0);
  EXPECT_EQ(ThreadCount(), baselineThreads_);
  // Also with the tracking start still on its way.
  ASSERT_EQ(CreateMount(7, Deg(30), 0.0), 0);
  ASSERT_EQ(SetTracking(1), 0);
  EXPECT_EQ(DestroyMount(), 0);
  EXPECT_EQ(ThreadCount(), baselineThreads_);
}

// A simulator whose rate commands can be made to fail, to see the loop end
// cleanly instead of trapping its thread.
class FailingRatesSimulator : public AltAzSimulator {
 public:
  enum class Fail { kNothing, kTakeUp, kAfterTakeUp };
  using AltAzMount::TrackingActive;
  MountResult SlewAxisAtRate(int axis, double rate) override {
    const bool takeUp = std::fabs(rate) >= rateScale;
    const Fail mode = fail;
    if ((mode == Fail::kTakeUp && takeUp) || (mode == Fail::kAfterTakeUp && !takeUp && axis == 0)) {
      ++failures;
      return NoResponse(axis);
    }
    const MountResult r = AltAzSimulator::SlewAxisAtRate(axis, rate);
    if (takeUp) ++takeUps;
    return r;
  }
  std::atomic<Fail> fail{Fail::kNothing};
  std::atomic<int> failures{0};
  std::atomic<int> takeUps{0};
};

// Drives the simulator object itself on a clock stepped by hand, so that a
// backlash take-up lasts exactly as long as the test lets it.
class AltAzTakeUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mount_.SetSite(Deg(30), 0.0), 0);
    // Pointing north on the horizon the azimuth rate is +0.5 sidereal; the
    // last direction was negative, so the axis reverses: a take-up of
    // 1 degree at the take-up rate (3739 ms) comes first.
    ASSERT_EQ(mount_.SetBacklash(0, Deg(1)), 0);
    ASSERT_EQ(mount_.SlewAxisAtRate(0, -0.001), 0);
    ASSERT_EQ(mount_.HaltAxis(0), 0);
  }
  void TearDown() override { mount_.Shutdown(); }

  platform::ManualTickSource clock_{5000, 1.0};
  platform::ScopedTickSource scoped_{clock_};
  FailingRatesSimulator mount_;
};

TEST_F(AltAzTakeUpTest, AFailingTakeUpCommandEndsTrackingCleanly) {
  mount_.fail = FailingRatesSimulator::Fail::kTakeUp;
  ASSERT_EQ(mount_.StartTracking(), 0);
  ASSERT_TRUE(WaitUntil([&] { return mount_.failures > 0 && !mount_.TrackingActive(); }));
  ExpectTrackingEnded(mount_);
  EXPECT_EQ(mount_.failures, 1);
  // A later start works as usual.
  mount_.fail = FailingRatesSimulator::Fail::kNothing;
  ASSERT_EQ(mount_.StartTracking(), 0);
  ASSERT_TRUE(WaitUntil([&] { return mount_.takeUps > 0; }));
  EXPECT_TRUE(LoopRuns(mount_));
}

TEST_F(AltAzTakeUpTest, ARateThatKeepsFailingAfterATakeUpEndsTrackingAfterAFewTries) {
  mount_.fail = FailingRatesSimulator::Fail::kAfterTakeUp;
  ASSERT_EQ(mount_.StartTracking(), 0);
  ASSERT_TRUE(WaitUntil([&] { return mount_.takeUps == 1; }));
  EXPECT_EQ(mount_.axisRate[0], mount_.rateScale.load());
  clock_.Advance(3739);  // the take-up time has passed
  ASSERT_TRUE(WaitUntil([&] { return !mount_.TrackingActive(); }));
  ExpectTrackingEnded(mount_);
  EXPECT_GE(mount_.failures, 2);
  EXPECT_LE(mount_.failures, 5);
  EXPECT_EQ(mount_.axisState[0], AXIS_STOPPED);  // not left at the take-up rate
}

TEST_F(AltAzTakeUpTest, StoppingDuringATakeUpHaltsTheAxesAndEndsTheLoop) {
  ASSERT_EQ(mount_.StartTracking(), 0);
  ASSERT_TRUE(WaitUntil([&] { return mount_.takeUps == 1; }));
  // The clock stands still, so the take-up would never end by itself.
  mount_.StopTrackingThread();
  ExpectTrackingEnded(mount_);
  EXPECT_EQ(mount_.axisState[0], AXIS_STOPPED);
  EXPECT_EQ(mount_.axisState[1], AXIS_STOPPED);
}

TEST_F(AltAzTakeUpTest, ACompletedTakeUpHandsOverToTheTrackingRate) {
  ASSERT_EQ(mount_.StartTracking(), 0);
  ASSERT_TRUE(WaitUntil([&] { return mount_.takeUps == 1; }));
  clock_.Advance(3000);
  EXPECT_EQ(mount_.axisRate[0], mount_.rateScale.load());  // still taking up
  clock_.Advance(739);
  ASSERT_TRUE(WaitUntil([&] {
    return mount_.axisState[0] == (AXIS_RATE_MOTION | AXIS_POSITIVE) &&
           mount_.axisRate[0] < mount_.rateScale;
  }));
  // The rate worked out at the start of the cycle, due north on the
  // horizon: half the sidereal rate.
  EXPECT_NEAR(mount_.axisRate[0], 0.5 * kSidereal, 1e-12);
  // The axis crossed 1 degree of backlash meanwhile.
  double position = 0;
  ASSERT_EQ(mount_.GetAxisPosition(0, &position), 0);
  EXPECT_NEAR(position, 64 * kSidereal * 3.739, 1e-9);
  EXPECT_EQ(mount_.axisState[0], AXIS_RATE_MOTION | AXIS_POSITIVE);
  EXPECT_TRUE(LoopRuns(mount_));
}

}  // namespace
}  // namespace sidera
