// The alt-azimuth tracking threads: hand-over with the other motions,
// re-capture after a hand move, backlash take-up and its failures, ending.
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

using namespace testing;

AltAzMount& CurrentAltAz() { return *dynamic_cast<AltAzMount*>(g_mount); }

bool LoopRuns(AltAzMount& m) {
  return m.trackingThread && (m.Published().MountState() & MOUNT_TRACKING) != 0;
}

// The loop is gone and has left the state a later start relies on.
void ExpectTrackingEnded(AltAzMount& m) {
  EXPECT_EQ(m.trackingThread, 0);
  EXPECT_TRUE(m.trackingStoppedEvent.IsSet());
  EXPECT_EQ(m.Published().MountState() & MOUNT_TRACKING, 0u);
}

class AltAzTrackingTest : public HostSession {
 protected:
  static AltAzMount& StartTrackingAt(SkyPoint target) {
    EXPECT_EQ(CreateMount(7, Deg(30), 0.0), 0);
    EXPECT_EQ(GotoSky(target.hourAngle, target.declination), 0);
    EXPECT_TRUE(WaitForTrackingRates());
    EXPECT_TRUE(LoopRuns(CurrentAltAz()));
    return CurrentAltAz();
  }
};

TEST_F(AltAzTrackingTest, HandMovesEndTheLoopFirstAndReleasingBothAxesResumesIt) {
  AltAzMount& m = StartTrackingAt(SkyPoint{Deg(-30), Deg(20)});
  ASSERT_EQ(MoveAxis(0, 0.01), 0);
  ExpectTrackingEnded(m);  // before MoveAxis returned
  ASSERT_TRUE(WaitUntil([] { return MountStateNow() == SIDERA_MOUNT_SLEWING; }));
  // A whole tracking period later nobody has changed the hand rate.
  ASSERT_TRUE(WaitTicks(12000));
  EXPECT_EQ(m.Axes().Rate(0), 0.01);
  EXPECT_EQ(AxisStateNow(0), SIDERA_AXIS_RATE_MOTION | SIDERA_AXIS_POSITIVE);

  ASSERT_EQ(MoveAxis(1, -0.01), 0);
  ASSERT_TRUE(WaitUntil([] { return g_mount->Axes().Rate(1) == -0.01; }));
  ASSERT_EQ(StopAxis(0), 0);
  ASSERT_TRUE(WaitTicks(2000));
  ExpectTrackingEnded(m);  // axis 1 still moves
  EXPECT_EQ(AxisStateNow(0), SIDERA_AXIS_STOPPED);
  ASSERT_EQ(StopAxis(1), 0);
  ASSERT_TRUE(WaitForTrackingRates());
  EXPECT_TRUE(LoopRuns(m));
}

// Once aligned, an axis found more than 3 degrees off the predicted track
// was moved by other means: the loop tracks from the new position instead
// of pulling the mount back.
TEST_F(AltAzTrackingTest, AHandMoveOfMoreThan3DegreesIsRecaptured) {
  AltAzMount& m = StartTrackingAt(SkyPoint{Deg(-40), Deg(25)});
  // A one-star alignment on the nominal readings keeps the model, marks the
  // mount aligned and restarts tracking.
  SkyPoint sky{};
  AxisPair axes{};
  ASSERT_EQ(GetSkyPosition(&sky), 0);
  ASSERT_EQ(GetAxisPositions(&axes), 0);
  const uint32_t referenceBefore = m.TrackingReference().Load().tick;
  ASSERT_EQ(AlignOneStar(AlignStar{sky.hourAngle, sky.declination, axes.axis0, axes.axis1}), 0);
  ASSERT_TRUE(m.Model().Aligned());
  // The restart takes a new reference, then the loop sets both rates and
  // sleeps for 30 s.
  ASSERT_TRUE(WaitUntil([&] {
    return m.TrackingReference().Load().tick != referenceBefore &&
           static_cast<int32_t>(m.Axes().SegmentStartTick(1) - m.TrackingReference().Load().tick) >=
               0;
  }));

  // Turn the azimuth axis 8 degrees behind the library's back.
  const double moved = axes.axis0 + Deg(8);
  ASSERT_EQ(m.GotoAxisAngle(0, moved), 0);
  ASSERT_TRUE(WaitUntil([] { return AxisStateNow(0) == SIDERA_AXIS_STOPPED; }));
  ASSERT_EQ(GetSkyPosition(&sky), 0);
  ASSERT_GT(SkyDistance(m.TrackingReference().Load().point, sky), Deg(3));

  m.trackingWakeEvent.Set();  // the next cycle, now
  ASSERT_TRUE(WaitUntil([&] {
    SkyPoint here{};
    (void)GetSkyPosition(&here);
    return SkyDistance(m.TrackingReference().Load().point, here) < Deg(0.1);
  }));
  ASSERT_TRUE(WaitForTrackingRates());
  ASSERT_TRUE(WaitTicks(30000));
  ASSERT_EQ(GetAxisPositions(&axes), 0);
  EXPECT_NEAR(axes.axis0, moved, Deg(1));
}

// Sky time moves only when the test moves it, so that each tracking cycle
// covers exactly its period and a backlash take-up lasts exactly its time,
// however loaded the machine (a scaled clock lets a late wake-up stretch
// both). Tick waits take a fifth of their sky time in real time.
class AltAzGotoTrackingTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(DestroyMount(), 0); }

  // A running take-up is let end exactly on time; otherwise the clock
  // moves `step` ticks. The loop times a take-up from a tick it reads just
  // after the command, so if this thread moved the clock in between, the
  // take-up ends a step after its segment's end: one still running 50 polls
  // after that end gets a tick at a time until it ends.
  void Step(uint32_t step) {
    const TelescopeMount& m = *g_mount;
    for (int i : {0, 1}) {
      if ((m.Axes().State(i) & AXIS_RATE_MOTION) != 0 &&
          std::fabs(m.Axes().Rate(i)) >= m.Rates().TakeUpRate()) {
        const uint32_t end = m.Axes().SegmentStartTick(i) + m.Rates().TakeUpTicks(i);
        if (static_cast<int32_t>(end - clock_.Now()) > 0) {
          clock_.Set(end);
          heldAtEnd_ = 0;
        } else if (++heldAtEnd_ > 50) {
          clock_.Advance(1);
        }
        return;
      }
    }
    heldAtEnd_ = 0;
    clock_.Advance(step);
  }
  bool RunSkyUntil(const std::function<bool()>& done, uint32_t step) {
    return WaitUntil([&] { return done() || (Step(step), false); });
  }
  // Wakes the loop one period after it last set the rates and waits until
  // it has set both again.
  bool Cycle(uint32_t period) {
    const TelescopeMount& m = *g_mount;
    const uint32_t last = m.Axes().SegmentStartTick(0);
    clock_.Set(last + period);
    CurrentAltAz().trackingWakeEvent.Set();
    return RunSkyUntil(
        [&] {
          const uint32_t t = m.Axes().SegmentStartTick(0);
          return t != last && m.Axes().SegmentStartTick(1) == t &&
                 std::fabs(m.Axes().Rate(0)) < m.Rates().TakeUpRate() &&
                 std::fabs(m.Axes().Rate(1)) < m.Rates().TakeUpRate();
        },
        0);
  }

  platform::ManualTickSource clock_{1000000, 5.0};
  platform::ScopedTickSource scoped_{clock_};
  int heldAtEnd_ = 0;  // polls the clock has stood at a running take-up's end
};

// The goto stops within its 3' tolerance of a point it aimed 2 s ahead;
// the tracking then closes the rest and holds the star, unaligned (the
// first cycles follow the target, then the rates come from the axis angles)
// and aligned. It starts with a backlash take-up of 1' (the star sinks, so
// the altitude axis turns back from the goto's last direction), which turns
// the axis part of the way and does not move the reference.
TEST_F(AltAzGotoTrackingTest, AGotoEndsOnItsTargetAndTrackingStaysThere) {
  for (bool aligned : {false, true}) {
    SCOPED_TRACE(aligned ? "aligned" : "unaligned");
    ASSERT_EQ(CreateMount(7, Deg(30), 0.0), 0);
    ASSERT_EQ(SetBacklash(0, Deg(1.0 / 60)), 0);
    ASSERT_EQ(SetBacklash(1, Deg(1.0 / 60)), 0);
    if (aligned) {
      // An exact one-star alignment keeps the model and marks it aligned.
      AxisPair axes{};
      ASSERT_EQ(SkyToAxes(SkyPoint{Deg(-20), Deg(20)}, &axes), 0);
      ASSERT_EQ(AlignOneStar(AlignStar{Deg(-20), Deg(20), axes.axis0, axes.axis1}), 0);
      ASSERT_EQ(SetTracking(0), 0);
    }
    const uint32_t period = aligned ? 30000 : 10000;
    const SkyPoint target{Deg(40), Deg(10)};
    const uint32_t start = platform::Now();
    ASSERT_EQ(GotoSky(target.hourAngle, target.declination), 0);
    ASSERT_TRUE(RunSkyUntil(TracksAtTrackingRates, 20));
    for (uint32_t t = 0; t < 60000; t += period) ASSERT_TRUE(Cycle(period));  // the settle
    for (int minute = 0; minute <= 10; ++minute) {
      for (uint32_t t = 0; minute > 0 && t < 60000; t += period) ASSERT_TRUE(Cycle(period));
      EXPECT_LT(DistanceFromTarget(target, start), Deg(15.0 / 3600)) << minute << " min";
    }
    EXPECT_EQ(g_mount->Axes().LastDirectionPositive(1), 0);  // it turned back
    ASSERT_EQ(DestroyMount(), 0);
  }
}

// Tracking that the host starts (SetTracking, or the resume after a hand
// move) follows where the mount points, not an earlier goto's target.
TEST_F(AltAzTrackingTest, TrackingTheHostStartsFollowsWhereTheMountPoints) {
  ASSERT_EQ(CreateMount(7, Deg(30), 0.0), 0);
  const SkyPoint target{Deg(-40), Deg(25)};
  const uint32_t start = platform::Now();
  ASSERT_EQ(GotoSky(target.hourAngle, target.declination), 0);
  ASSERT_TRUE(WaitForTrackingRates());
  double from = 0.0;
  ASSERT_EQ(GetAxisPosition(0, &from), 0);
  ASSERT_EQ(MoveAxis(0, Deg(1)), 0);  // a hand move of a degree or so
  ASSERT_TRUE(WaitUntil([from] {
    double at = 0.0;
    return GetAxisPosition(0, &at) == 0 && at - from > Deg(1);
  }));
  ASSERT_EQ(StopAxis(0), 0);  // tracking resumes: it was requested by the goto
  for (bool restart : {false, true}) {
    if (restart) {
      ASSERT_EQ(SetTracking(0), 0);
      ASSERT_EQ(SetTracking(1), 0);
    }
    ASSERT_TRUE(WaitForTrackingRates());
    SkyPoint here{};
    ASSERT_EQ(GetSkyPosition(&here), 0);
    const uint32_t resumed = platform::Now();
    ASSERT_TRUE(WaitTicks(30000));
    EXPECT_LT(DistanceFromTarget(here, resumed), Deg(15.0 / 3600));
    EXPECT_GT(DistanceFromTarget(target, start), Deg(0.5));
  }
}

// A simulator whose rate commands can be made to fail: the take-up (rates
// of the take-up rate and above) or, after it, the tracking rate of axis 0.
class FailingRatesSimulator : public AltAzSimulator {
 public:
  using AltAzMount::TrackingActive;
  MountResult SlewAxisAtRate(int axis, double rate) override {
    const bool takeUp = std::fabs(rate) >= Rates().TakeUpRate();
    if (takeUp ? failTakeUp.load() : (failTracking && axis == 0)) {
      ++failures;
      return NoResponse(axis);
    }
    const MountResult r = AltAzSimulator::SlewAxisAtRate(axis, rate);
    if (takeUp) ++takeUps;  // counted once the take-up rate is set
    return r;
  }
  std::atomic<bool> failTakeUp{false}, failTracking{false};
  std::atomic<int> failures{0}, takeUps{0};
};

// The simulator object itself on a clock stepped by hand, so that a backlash
// take-up lasts exactly as long as the test lets it. Pointing north on the
// horizon the azimuth rate is +0.5 sidereal; after a negative motion a
// take-up of 1 degree at the take-up rate (3739 ms) comes first.
class AltAzTakeUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mount_.SetSite(Deg(30), 0.0), 0);
    ASSERT_EQ(mount_.SetBacklash(0, Deg(1)), 0);
    LastMotionNegative();
  }
  void TearDown() override { mount_.Shutdown(); }
  void LastMotionNegative() {
    ASSERT_EQ(mount_.SlewAxisAtRate(0, -0.001), 0);
    ASSERT_EQ(mount_.HaltAxis(0), 0);
  }

  platform::ManualTickSource clock_{5000, 1.0};
  platform::ScopedTickSource scoped_{clock_};
  FailingRatesSimulator mount_;
};

TEST_F(AltAzTakeUpTest, FailuresAndStopsDuringATakeUpEndTrackingCleanly) {
  // The take-up command fails: tracking ends at once.
  mount_.failTakeUp = true;
  ASSERT_EQ(mount_.StartTracking(), 0);
  ASSERT_TRUE(WaitUntil([&] { return mount_.failures > 0 && !mount_.TrackingActive(); }));
  ExpectTrackingEnded(mount_);
  EXPECT_EQ(mount_.failures, 1);

  // A later start works. Stopped while its take-up runs (the clock stands
  // still, so the take-up would never end by itself), it halts both axes.
  mount_.failTakeUp = false;
  ASSERT_EQ(mount_.StartTracking(), 0);
  ASSERT_TRUE(WaitUntil([&] { return mount_.takeUps == 1 && LoopRuns(mount_); }));
  clock_.Advance(3000);
  EXPECT_EQ(mount_.Axes().Rate(0), mount_.Rates().TakeUpRate());  // still taking up
  mount_.StopTrackingThread();
  ExpectTrackingEnded(mount_);
  // The loop reports its end first and halts what it left at the take-up
  // rate just after, with no lock held (a host's SetTracking(0) halts the
  // axes itself as well).
  EXPECT_TRUE(WaitUntil([&] {
    return mount_.Axes().State(0) == AXIS_STOPPED && mount_.Axes().State(1) == AXIS_STOPPED;
  }));

  // The tracking rate keeps failing after a take-up: a few tries, then the
  // end, with no axis left at the take-up rate.
  LastMotionNegative();
  mount_.failTracking = true;
  ASSERT_EQ(mount_.StartTracking(), 0);
  ASSERT_TRUE(WaitUntil([&] { return mount_.takeUps == 2; }));
  clock_.Advance(3739);
  ASSERT_TRUE(WaitUntil([&] { return !mount_.TrackingActive(); }));
  ExpectTrackingEnded(mount_);
  EXPECT_GE(mount_.failures, 1 + 2);
  EXPECT_LE(mount_.failures, 1 + 5);
  EXPECT_TRUE(WaitUntil([&] { return mount_.Axes().State(0) == AXIS_STOPPED; }));
}

}  // namespace
}  // namespace sidera
