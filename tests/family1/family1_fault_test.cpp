// Packet-bus line faults as the host sees them: silent controllers, noise,
// malformed replies and a line that goes dead in the middle of a goto.
#include "family1_fixture.h"

namespace sidera::testing {
namespace {

class Family1FaultTest : public Family1Test {};

TEST_F(Family1FaultTest, ASilentControllerFailsTheConnectWithItsAxisCode) {
  struct Case {
    int silentAxis;
    int expected;
    size_t versionQueries;  // how far the connect got
  };
  for (const Case& c : {Case{1, 101, 2}, Case{0, 100, 1}}) {
    SCOPED_TRACE(c.silentAxis);
    emulator::Family1Options o = QuickOptions();
    o.silentAxis = c.silentAxis;
    EXPECT_EQ(Create(0, o), c.expected);
    size_t versions = 0;
    for (const auto& r : emu->Requests()) versions += r.id == 0xFE ? 1 : 0;
    EXPECT_EQ(versions, c.versionQueries) << "the connect stops at the first silent axis";
    EXPECT_EQ(emu->Requests().size(), c.versionQueries);
    uint32_t state = 0;
    EXPECT_EQ(GetMountState(&state), 3) << "a failed connect leaves no mount";
    emu.reset();
  }
}

TEST_F(Family1FaultTest, NoiseBeforeEveryReplyIsSkipped) {
  emulator::Family1Options o = QuickOptions();
  o.noiseBytes = 9;
  o.initialCounts[1] = 0x200000;  // 45 degrees
  ASSERT_EQ(Create(0, o), 0);
  double pos = 0;
  EXPECT_EQ(GetAxisPosition(1, &pos), 0);
  EXPECT_NEAR(pos, Deg(45.0), 1e-12);
}

TEST_F(Family1FaultTest, MalformedRepliesReportTheAddressedAxis) {
  ASSERT_EQ(Create(1), 0);
  struct Case {
    const char* what;
    std::function<void(emulator::Family1Options&)> fault;
    int axis;
    int expected;
  };
  const Case cases[] = {
      {"length 30 from axis 0", [](auto& o) { o.badLengthAxis = 0; }, 0, 100},
      {"length 30 from axis 1", [](auto& o) { o.badLengthAxis = 1; }, 1, 101},
      {"packet cut short from axis 0", [](auto& o) { o.shortPacketAxis = 0; }, 0, 100},
      {"packet cut short from axis 1", [](auto& o) { o.shortPacketAxis = 1; }, 1, 101},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emu->UpdateOptions(c.fault);
    double before = 0, pos = 0;
    before = g_mount->axisPosition[c.axis].load();
    EXPECT_EQ(GetAxisPosition(c.axis, &pos), c.expected);
    EXPECT_EQ(pos, before) << "a failed read leaves the position as it was";
    EXPECT_EQ(GetAxisPosition(1 - c.axis, &pos), 0) << "the other controller still answers";
    emu->UpdateOptions([](auto& o) {
      o.badLengthAxis = -1;
      o.shortPacketAxis = -1;
    });
    EXPECT_EQ(GetAxisPosition(c.axis, &pos), 0) << "and the link recovers";
  }
}

TEST_F(Family1FaultTest, ALineThatDiesMidGotoFailsPromptlyAndTheMountCanBeDestroyed) {
  ASSERT_EQ(Create(1), 0);
  // A long move: half a turn at 90 degrees per second.
  ASSERT_EQ(GotoAxis(0, 0.0), 0);
  ASSERT_TRUE(WaitFor([&] { return emu->GotoInProgress(0); }));
  emu->CloseLine();

  double pos = 0;
  EXPECT_EQ(GetAxisPosition(0, &pos), 100);
  EXPECT_EQ(GetAxisPosition(1, &pos), 101);
  EXPECT_EQ(SyncAxis(1, 0.0), 101);
  uint32_t state = 0;
  EXPECT_EQ(GetMountState(&state), 0) << "state read-outs ignore the dead line";
  EXPECT_EQ(StopAxis(0), 100);
  // TearDown destroys the mount while the goto thread may still poll.
}

}  // namespace
}  // namespace sidera::testing
