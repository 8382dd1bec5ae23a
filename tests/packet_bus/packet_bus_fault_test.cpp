// Packet-bus line faults as the host sees them: silent controllers, noise,
// malformed replies and a line that goes dead in the middle of a goto.
#include <cmath>
#include <string>
#include <utility>

#include "packet_bus_fixture.h"
#include "sidera/drivers/packet_bus/packet_bus_alt_az_mount.h"

namespace sidera::testing {
namespace {

using PacketBusFaultTest = PacketBusTest;

TEST_F(PacketBusFaultTest, ASilentControllerFailsTheConnectWithItsAxisCode) {
  struct Case {
    int silentAxis, expected;
    size_t requests;  // the connect stops at the first unanswered version query
  } cases[] = {{1, 101, 2}, {0, 100, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.silentAxis);
    emulator::PacketBusOptions o = QuickOptions();
    o.silentAxis = c.silentAxis;
    EXPECT_EQ(Create(0, o), c.expected);
    EXPECT_EQ(emu->Requests().size(), c.requests);
    EXPECT_EQ(Sent(c.silentAxis, 0xFE).size(), 1u);
    uint32_t state = 0;
    EXPECT_EQ(GetMountState(&state), 3) << "a failed connect leaves no mount";
  }
}

TEST_F(PacketBusFaultTest, NoiseIsSkippedAndMalformedRepliesReportTheAddressedAxis) {
  emulator::PacketBusOptions o = QuickOptions();
  o.noiseBytes = 9;
  o.initialCounts[1] = 0x200000;  // 45 degrees
  ASSERT_EQ(Create(1, o), 0);
  double pos = 0;
  EXPECT_EQ(GetAxisPosition(1, &pos), 0);
  EXPECT_NEAR(pos, Deg(45.0), 1e-12);

  using Options = emulator::PacketBusOptions;
  const std::pair<const char*, int Options::*> faults[] = {
      {"length byte 30", &Options::badLengthAxis}, {"packet cut short", &Options::shortPacketAxis}};
  for (const auto& fault : faults) {
    for (int axis : {0, 1}) {
      SCOPED_TRACE(std::string(fault.first) + " on axis " + std::to_string(axis));
      emu->UpdateOptions([&](auto& o) {
        o.badLengthAxis = o.shortPacketAxis = -1;
        o.*fault.second = axis;
      });
      const double before = g_mount->Axes().Position(axis);
      EXPECT_EQ(GetAxisPosition(axis, &pos), 100 + axis);
      EXPECT_EQ(pos, before) << "a failed read leaves the position as it was";
      EXPECT_EQ(GetAxisPosition(1 - axis, &pos), 0) << "the other controller still answers";
    }
  }
  emu->UpdateOptions([](auto& o) { o.badLengthAxis = o.shortPacketAxis = -1; });
  EXPECT_EQ(GetAxisPosition(1, &pos), 0) << "and the link recovers";
}

// A reply that comes after its request gave up waiting is recognised by
// its sender and message id: it is never read as another request's answer.
TEST_F(PacketBusFaultTest, AReplyThatComesAfterItsTimeOutIsNeverTakenForAnotherRequests) {
  emulator::PacketBusOptions o = QuickOptions();
  o.initialCounts[0] = 0x100000;
  o.initialCounts[1] = 0x200000;
  ASSERT_EQ(Create(1, o), 0);
  double truth[2] = {0, 0};
  ASSERT_EQ(GetAxisPosition(0, &truth[0]), 0);
  ASSERT_EQ(GetAxisPosition(1, &truth[1]), 0);
  ASSERT_GT(std::abs(truth[0] - truth[1]), Deg(1));
  const auto readsTrue = [&](int axis) {
    double pos = 0;
    EXPECT_EQ(GetAxisPosition(axis, &pos), 0) << "axis " << axis;
    EXPECT_EQ(pos, truth[axis]) << "axis " << axis;
  };
  for (int late : {0, 1}) {
    SCOPED_TRACE("axis " + std::to_string(late) + " read late");
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 800; });
    double pos = 0;
    EXPECT_EQ(GetAxisPosition(late, &pos), 100 + late);
    // Due after the late one: this read would take it for its own.
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 400; });
    readsTrue(1 - late);
    readsTrue(late);
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 0; });
  }
}

// A controller that stops answering during a goto: within a few seconds the
// goto ends, what can be halted is halted, and the state read-outs report
// the silent axis until it answers again.
TEST_F(PacketBusFaultTest, AGotoOnAControllerThatStopsAnsweringEndsAndTheStateSaysWhy) {
  const struct {
    const char* what;
    std::function<void(emulator::PacketBusEmulator&)> silence, revive;
    int silentAxis;
    int tracking;  // SetTracking(1) afterwards: it needs the right ascension axis only
  } cases[] = {
      {"the line hangs up", [](auto& e) { e.CloseLine(); }, nullptr, 0, 100},
      {"axis 1 falls silent", [](auto& e) { e.UpdateOptions([](auto& o) { o.silentAxis = 1; }); },
       [](auto& e) { e.UpdateOptions([](auto& o) { o.silentAxis = -1; }); }, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::PacketBusOptions o = QuickOptions();
    o.fastDegPerSec = 20.0;  // long enough to be cut off half-way
    ASSERT_EQ(Create(1, o), 0);
    ASSERT_EQ(GotoAxes(Deg(-60), Deg(150)), 0);
    ASSERT_TRUE(WaitFor([&] { return emu->GotoInProgress(0) && emu->GotoInProgress(1); }));
    c.silence(*emu);
    ASSERT_TRUE(WaitFor(MotionFinished, 8000)) << "the goto ends";
    uint32_t state = 0;
    EXPECT_EQ(GetAxisState(c.silentAxis, &state), 100 + c.silentAxis);
    EXPECT_EQ(GetMountState(&state), 100 + c.silentAxis);
    EXPECT_EQ(state, SIDERA_MOUNT_STOPPED);
    EXPECT_EQ(SetTracking(1), c.tracking);
    if (c.revive) {
      EXPECT_FALSE(emu->GotoInProgress(0)) << "the axis that answered was halted";
      c.revive(*emu);
      EXPECT_EQ(StopAxis(c.silentAxis), 0) << "the first command after the line answers works";
      EXPECT_EQ(GetAxisState(c.silentAxis, &state), 0);
      EXPECT_EQ(GetMountState(&state), 0);
    }
  }
}

// A "goto done" answer reports on the goto whose state was read; when a new
// goto of the axis was commanded while the answer was on its way (here with
// the same fast-goto state as before), the new goto's state stands.
TEST_F(PacketBusFaultTest, AStaleGotoDoneAnswerLeavesANewerGotoRunning) {
  struct AnswerHookMount : PacketBusAltAzMount {
    using PacketBusMount::SetAxisState;
    std::function<void()> afterReply;
    LineResult ReadReply(uint8_t* reply) override {
      const LineResult r = PacketBusAltAzMount::ReadReply(reply);
      if (afterReply) std::exchange(afterReply, nullptr)();
      return r;
    }
  };
  ASSERT_TRUE(StartEmulator(QuickOptions()));
  AnswerHookMount m;
  ASSERT_EQ(m.Connect(), 0);
  ASSERT_EQ(m.GotoAxisAngle(0, Deg(30)), 0);
  ASSERT_EQ(m.Axes().State(0), AXIS_GOTO | AXIS_HIGH_SPEED);
  ASSERT_TRUE(WaitFor([&] { return !emu->GotoInProgress(0); }));
  m.afterReply = [&] { m.SetAxisState(0, AXIS_GOTO | AXIS_HIGH_SPEED); };
  EXPECT_EQ(m.ReadAxisState(0), 0);
  EXPECT_EQ(m.Axes().State(0), AXIS_GOTO | AXIS_HIGH_SPEED);
  EXPECT_EQ(m.ReadAxisState(0), 0);
  EXPECT_EQ(m.Axes().State(0), AXIS_STOPPED) << "an answer about the current goto ends it";
  m.Shutdown();
}

}  // namespace
}  // namespace sidera::testing
