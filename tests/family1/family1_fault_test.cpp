// Packet-bus line faults as the host sees them: silent controllers, noise,
// malformed replies and a line that goes dead in the middle of a goto.
#include "family1_fixture.h"

namespace sidera::testing {
namespace {

using Family1FaultTest = Family1Test;

TEST_F(Family1FaultTest, ASilentControllerFailsTheConnectWithItsAxisCode) {
  struct Case {
    int silentAxis, expected;
    size_t requests;  // the connect stops at the first unanswered version query
  } cases[] = {{1, 101, 2}, {0, 100, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.silentAxis);
    emulator::Family1Options o = QuickOptions();
    o.silentAxis = c.silentAxis;
    EXPECT_EQ(Create(0, o), c.expected);
    EXPECT_EQ(emu->Requests().size(), c.requests);
    EXPECT_EQ(Sent(c.silentAxis, 0xFE).size(), 1u);
    uint32_t state = 0;
    EXPECT_EQ(GetMountState(&state), 3) << "a failed connect leaves no mount";
  }
}

TEST_F(Family1FaultTest, NoiseIsSkippedAndMalformedRepliesReportTheAddressedAxis) {
  emulator::Family1Options o = QuickOptions();
  o.noiseBytes = 9;
  o.initialCounts[1] = 0x200000;  // 45 degrees
  ASSERT_EQ(Create(1, o), 0);
  double pos = 0;
  EXPECT_EQ(GetAxisPosition(1, &pos), 0);
  EXPECT_NEAR(pos, Deg(45.0), 1e-12);

  struct Case {
    std::function<void(emulator::Family1Options&)> fault;
    int axis, expected;
  } cases[] = {
      {[](auto& o) { o.badLengthAxis = 0; }, 0, 100},  // length byte 30
      {[](auto& o) { o.badLengthAxis = 1; }, 1, 101},
      {[](auto& o) { o.shortPacketAxis = 0; }, 0, 100},  // packet cut short
      {[](auto& o) { o.shortPacketAxis = 1; }, 1, 101},
  };
  for (const Case& c : cases) {
    emu->UpdateOptions([&](auto& o) {
      o.badLengthAxis = o.shortPacketAxis = -1;
      c.fault(o);
    });
    const double before = g_mount->axisPosition[c.axis].load();
    EXPECT_EQ(GetAxisPosition(c.axis, &pos), c.expected);
    EXPECT_EQ(pos, before) << "a failed read leaves the position as it was";
    EXPECT_EQ(GetAxisPosition(1 - c.axis, &pos), 0) << "the other controller still answers";
  }
  emu->UpdateOptions([](auto& o) { o.badLengthAxis = o.shortPacketAxis = -1; });
  EXPECT_EQ(GetAxisPosition(1, &pos), 0) << "and the link recovers";
}

TEST_F(Family1FaultTest, ALineThatDiesMidGotoFailsPromptlyAndTheMountCanBeDestroyed) {
  ASSERT_EQ(Create(1), 0);
  // A long move: half a turn at 90 degrees per second.
  ASSERT_EQ(GotoAxis(0, 0.0), 0);
  ASSERT_TRUE(WaitFor([&] { return emu->GotoInProgress(0); }));
  emu->CloseLine();

  double pos = 0;
  uint32_t state = 0;
  EXPECT_EQ(GetAxisPosition(0, &pos), 100);
  EXPECT_EQ(GetAxisPosition(1, &pos), 101);
  EXPECT_EQ(SyncAxis(1, 0.0), 101);
  EXPECT_EQ(GetMountState(&state), 0) << "state read-outs ignore the dead line";
  EXPECT_EQ(StopAxis(0), 100);
  // TearDown destroys the mount while the goto thread may still poll.
}

}  // namespace
}  // namespace sidera::testing
