// Commands that meet a motion already under way on the simulators: a goto
// replaced while it commands, tracking asked for after a hand move broke off
// a goto, and a stop that outlasts the tracking loop's wait for it.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "sidera/api/globals.h"
#include "sidera/include/sidera.h"
#include "sidera/platform/event.h"
#include "sidera/sim/alt_az_simulator.h"
#include "sidera/sim/equatorial_simulator.h"
#include "test_support.h"

namespace sidera {
namespace {

using namespace testing_support;

// A simulator that runs `beforeFirstGoto` on the goto thread just before the
// first goto command goes out, as another host thread's call would land.
template <typename Simulator>
class InterleavingSimulator : public Simulator {
 public:
  std::function<void()> beforeFirstGoto;
  MountResult GotoAxisAngle(int axis, double angle) override {
    if (beforeFirstGoto) {
      const std::function<void()> hook = std::move(beforeFirstGoto);
      beforeFirstGoto = nullptr;
      hook();
    }
    return Simulator::GotoAxisAngle(axis, angle);
  }
};

template <typename Simulator>
void ExpectReplacedGotoEndsOnTheNewTarget() {
  InterleavingSimulator<Simulator> m;
  const AxisPair first{0.3, 0.9}, second{-0.6, 0.4};
  m.beforeFirstGoto = [&] { EXPECT_EQ(m.GotoAxes(second.axis0, second.axis1), 0); };
  ASSERT_EQ(m.GotoAxes(first.axis0, first.axis1), 0);
  ASSERT_TRUE(WaitUntil([&] { return m.workers.RunningCount() == 0; }));
  double at0 = 0, at1 = 0;
  ASSERT_EQ(m.GetAxisPosition(0, &at0), 0);
  ASSERT_EQ(m.GetAxisPosition(1, &at1), 0);
  EXPECT_NEAR(at0, second.axis0, m.gotoTolerance);
  EXPECT_NEAR(at1, second.axis1, m.gotoTolerance);
}

TEST(GotoHandOver, AGotoReplacedWhileItCommandsEndsOnTheNewTarget) {
  platform::ScaledTickSource clock(100.0, 1000000);
  platform::ScopedTickSource installed(clock);
  ExpectReplacedGotoEndsOnTheNewTarget<EquatorialSimulator>();
  ExpectReplacedGotoEndsOnTheNewTarget<AltAzSimulator>();
}

class MotionHandOverTest : public HostSession {};

// A hand move breaks off a goto; once it is stopped, tracking starts on
// request and the mount reports tracking. While the hand move runs, a
// tracking that needs its axis is refused with 102.
TEST_F(MotionHandOverTest, TrackingStartsAfterAHandMoveThatBrokeOffAGoto) {
  const struct {
    int model, handAxis;
    int duringHandMove;  // SetTracking(1) while the hand move runs
  } cases[] = {{6, 0, 102}, {6, 1, 0}, {7, 0, 102}, {7, 1, 102}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "model " << c.model << " hand axis " << c.handAxis);
    ASSERT_EQ(CreateMount(c.model, Deg(30), 0.0), 0);
    ASSERT_EQ(GotoSky(Deg(60), Deg(-10)), 0);
    ASSERT_TRUE(WaitUntil([] { return (AxisStateNow(0) | AxisStateNow(1)) & SIDERA_AXIS_GOTO; }));
    ASSERT_EQ(MoveAxis(c.handAxis, 0.01), 0);
    EXPECT_TRUE(WaitUntil([] { return MountStateNow() == SIDERA_MOUNT_SLEWING; }, 5000));
    EXPECT_EQ(SetTracking(1), c.duringHandMove);
    ASSERT_EQ(StopAxis(c.handAxis), 0);
    EXPECT_EQ(SetTracking(1), 0);
    EXPECT_TRUE(WaitForTrackingRates());
    ASSERT_EQ(DestroyMount(), 0);
  }
}

// An alt-azimuth simulator whose next position read can be held up, as a
// slow link holds up a tracking cycle for longer than a stop waits for it.
class HeldReadSimulator : public AltAzSimulator {
 public:
  using AltAzMount::TrackingActive;
  MountResult ReadAxisPosition(int axis) override {
    if (holdNext.exchange(false)) {
      held = true;
      (void)release.Wait(platform::Event::kInfinite);
    }
    return AltAzSimulator::ReadAxisPosition(axis);
  }
  MountResult SlewAxisAtRate(int axis, double rate) override {
    ++rateCommands;
    return AltAzSimulator::SlewAxisAtRate(axis, rate);
  }
  std::atomic<bool> holdNext{false}, held{false};
  std::atomic<int> rateCommands{0};
  platform::Event release{platform::Event::Mode::kManualReset, false};
};

// The stop gives up waiting for the held cycle and returns; when the cycle
// goes on, it commands nothing: the axes stay as the stop (or the hand move
// that came with it) left them.
TEST(AltAzTrackingStop, ACycleHeldUpLongerThanTheStopWaitsCommandsNothingAfterIt) {
  const struct {
    const char* what;
    std::function<MountResult(HeldReadSimulator&)> command;
    uint32_t state0;
    double rate0;
  } cases[] = {
      {"SetTracking(0)", [](HeldReadSimulator& m) { return m.SetTracking(0); }, AXIS_STOPPED, 0.0},
      {"hand move", [](HeldReadSimulator& m) { return m.MoveAxis(0, 0.01, 0); },
       AXIS_RATE_MOTION | AXIS_POSITIVE, 0.01},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    platform::ManualTickSource clock(5000, 1000.0);
    platform::ScopedTickSource installed(clock);
    HeldReadSimulator m;
    ASSERT_EQ(m.SetSite(Deg(30), 0.0), 0);
    ASSERT_EQ(m.StartTracking(), 0);
    ASSERT_TRUE(WaitUntil([&] { return m.trackingThread != 0 && m.rateCommands >= 2; }));
    m.holdNext = true;
    m.trackingWakeEvent.Set();
    ASSERT_TRUE(WaitUntil([&] { return m.held.load(); }));
    EXPECT_EQ(c.command(m), 0);
    ASSERT_TRUE(WaitUntil([&] { return m.axisRate[0] == c.rate0; }));
    m.release.Set();
    ASSERT_TRUE(WaitUntil([&] { return !m.TrackingActive(); }));
    EXPECT_EQ(m.axisState[0], c.state0);
    EXPECT_EQ(m.axisRate[0], c.rate0);
    m.Shutdown();
  }
}

}  // namespace
}  // namespace sidera
