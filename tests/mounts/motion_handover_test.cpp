// Commands that meet a motion under way on the simulators: a goto replaced
// while it commands, tracking asked for after a hand move broke off a goto,
// and a stop that outlasts the tracking loop's wait for it.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <utility>

#include "platform/event.h"
#include "sidera/sim/alt_az_simulator.h"
#include "sidera/sim/equatorial_simulator.h"
#include "test_support.h"

namespace sidera {
namespace {

using namespace testing;

// Runs `hook` on the goto thread just before the first goto command goes
// out, as another host thread's call would land.
template <typename Simulator>
struct HookedSimulator : Simulator {
  std::function<void()> hook;
  MountResult GotoAxisAngle(int axis, double angle) override {
    if (hook) std::exchange(hook, nullptr)();
    return Simulator::GotoAxisAngle(axis, angle);
  }
};

template <typename Simulator>
void ExpectTheNewTargetReached() {
  HookedSimulator<Simulator> m;
  m.hook = [&] { EXPECT_EQ(m.GotoAxes(-0.6, 0.4), 0); };
  ASSERT_EQ(m.GotoAxes(0.3, 0.9), 0);
  ASSERT_TRUE(WaitUntil([&] { return m.RunningThreads() == 0; }));
  double at[2] = {};
  for (int axis : {0, 1}) ASSERT_EQ(m.GetAxisPosition(axis, &at[axis]), 0);
  EXPECT_NEAR(at[0], -0.6, m.GetGotoParameters().tolerance);
  EXPECT_NEAR(at[1], 0.4, m.GetGotoParameters().tolerance);
}

TEST(GotoHandOver, AGotoReplacedWhileItCommandsEndsOnTheNewTarget) {
  platform::ScaledTickSource clock(100.0, 1000000);
  platform::ScopedTickSource installed(clock);
  ExpectTheNewTargetReached<EquatorialSimulator>();
  ExpectTheNewTargetReached<AltAzSimulator>();
}

class MotionHandOverTest : public HostSession {};

// A hand move breaks off a goto; once it is stopped, tracking starts on
// request. While the hand move runs, tracking that needs its axis is
// refused with 102.
TEST_F(MotionHandOverTest, TrackingStartsAfterAHandMoveThatBrokeOffAGoto) {
  const struct {
    int model, handAxis, duringHandMove;
  } cases[] = {{6, 0, 102}, {6, 1, 0}, {7, 0, 102}, {7, 1, 102}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "model " << c.model << " hand axis " << c.handAxis);
    ASSERT_NO_FATAL_FAILURE(StartLongGoto(c.model));
    ASSERT_EQ(MoveAxis(c.handAxis, 0.01), 0);
    EXPECT_TRUE(WaitUntil([] { return MountStateNow() == SIDERA_MOUNT_SLEWING; }, 5000));
    EXPECT_EQ(SetTracking(1), c.duringHandMove);
    ASSERT_EQ(StopAxis(c.handAxis), 0);
    EXPECT_EQ(SetTracking(1), 0);
    EXPECT_TRUE(WaitForTrackingRates());
    ASSERT_EQ(DestroyMount(), 0);
  }
}

// Its next position read can be held up, as a slow link holds up a tracking
// cycle for longer than a stop waits for it.
struct HeldReadSimulator : AltAzSimulator {
  using AltAzMount::TrackingActive;
  MountResult ReadAxisPosition(int axis) override {
    if (holdNext.exchange(false)) {
      held = true;
      (void)release.Wait(platform::Event::kInfinite);
    }
    return AltAzSimulator::ReadAxisPosition(axis);
  }
  std::atomic<bool> holdNext{false}, held{false};
  platform::Event release{platform::Event::Mode::kManualReset, false};
};

// The stop gives up waiting for the held cycle and returns; the cycle then
// goes on and commands nothing, so axis 0 stays as the stop (or the hand
// move that came with it) left it.
TEST(AltAzTrackingStop, ACycleHeldUpLongerThanTheStopWaitsCommandsNothingAfterIt) {
  const struct {
    const char* what;
    std::function<MountResult(HeldReadSimulator&)> command;
    double rate0;
  } cases[] = {{"SetTracking(0)", [](auto& m) { return m.SetTracking(0); }, 0.0},
               {"hand move", [](auto& m) { return m.MoveAxis(0, 0.01, 0); }, 0.01}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    platform::ManualTickSource clock(5000, 1000.0);
    platform::ScopedTickSource installed(clock);
    HeldReadSimulator m;
    ASSERT_EQ(m.SetSite(Deg(30), 0.0), 0);
    ASSERT_EQ(m.StartTracking(), 0);
    ASSERT_TRUE(WaitUntil([&] { return (m.Axes().State(0) & AXIS_RATE_MOTION) != 0; }));
    m.holdNext = true;
    m.trackingWakeEvent.Set();
    ASSERT_TRUE(WaitUntil([&] { return m.held.load(); }));
    EXPECT_EQ(c.command(m), 0);
    ASSERT_TRUE(WaitUntil([&] { return m.Axes().Rate(0) == c.rate0; }));
    m.release.Set();
    ASSERT_TRUE(WaitUntil([&] { return !m.TrackingActive(); }));
    EXPECT_EQ(m.Axes().Rate(0), c.rate0);
    m.Shutdown();
  }
}

}  // namespace
}  // namespace sidera
