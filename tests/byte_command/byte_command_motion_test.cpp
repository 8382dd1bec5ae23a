// Byte-command mounts driven as a host drives them, against the controller
// emulator: connect, gotos, halts, rates, syncs, a sky goto that ends in
// tracking, and an alignment carried between the twin model numbers.
#include "byte_command_fixture.h"

namespace sidera::testing {
namespace {

TEST_F(ByteCommandTest, ConnectInitialisesTheControllerAndTheTwinTypesReportTheirModel) {
  struct Case {
    int type, reports;
    uint32_t n, twoDegreeCount;
  } cases[] = {{8, 8, kN8, 4036}, {9, 9, kN9, 5885}, {10, 8, kN8, 4036}, {11, 9, kN9, 5885}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    emulator::ByteCommandOptions o = QuickOptions();
    o.countsPerRevolution = c.n;
    o.initialCounts[0] = 1000;
    o.initialCounts[1] = 2000;
    ASSERT_EQ(Create(c.type, o), 0);
    const std::vector<Bytes> expected = {{0x01},
                                         {0x15},
                                         Req(0x0C, c.n),
                                         Req(0x20, c.n),
                                         Req(0x0A, 0),
                                         Req(0x1E, 0),
                                         Req(0x0E, c.twoDegreeCount)};
    EXPECT_EQ(Sent(expected.size()), expected);
    EXPECT_EQ(emu->PositionCounts(0) + emu->PositionCounts(1), 0u) << "both counts preset to 0";
    EXPECT_EQ(g_mount->Identity().Type(), c.reports);
    // A second CreateMount reuses the mount only for the number it reports.
    EXPECT_EQ(CreateMount(c.type, 0.6, 100.0), c.type == c.reports ? 0 : 2);
    EXPECT_EQ(CreateMount(c.reports, 0.6, 100.0), 0);
  }
}

TEST_F(ByteCommandTest, GotosArriveWithinFiveArcMinutesTheShortWayRound) {
  struct Case {
    double target0, target1;  // degrees
    uint32_t wire1;           // the last axis-1 goto count
  } cases[] = {{30.0, 20.0, CountOf(20.0)}, {-100.0, -10.0, CountOf(350.0)}};
  ASSERT_EQ(Create(8), 0);
  for (const Case& c : cases) {
    ASSERT_EQ(GotoAxes(Deg(c.target0), Deg(c.target1)), 0);
    ASSERT_TRUE(WaitFor(MotionFinished));
    EXPECT_EQ(Last(0x16), Req(0x16, c.wire1));
    const double targets[2] = {c.target0, c.target1};
    for (int axis = 0; axis < 2; ++axis) {
      double pos = 0;
      uint32_t state = 0;
      EXPECT_EQ(GetAxisPosition(axis, &pos), 0);
      EXPECT_NEAR(pos, Deg(targets[axis]), Deg(5.0 / 60));
      EXPECT_EQ(GetAxisState(axis, &state), 0);
      EXPECT_EQ(state, 1u) << "a finished goto leaves the axis stopped";
    }
  }
}

TEST_F(ByteCommandTest, HaltStopsAGotoOrSendsAZeroRateInTheSharedDirection) {
  emulator::ByteCommandOptions o = QuickOptions();
  o.gotoDegPerSec = 2.0;
  ASSERT_EQ(Create(9, o), 0);
  ASSERT_EQ(GotoAxes(Deg(90.0), Deg(60.0)), 0);
  ASSERT_TRUE(WaitFor([&] { return emu->GotoInProgress(0) && emu->GotoInProgress(1); }));
  ASSERT_EQ(StopAxis(0), 0);
  EXPECT_EQ(Last(0x05), Bytes{0x05});
  EXPECT_EQ(Last(0x19), Bytes{0x19});
  EXPECT_FALSE(emu->GotoInProgress(0) || emu->GotoInProgress(1));

  // A rate's sign is its command byte (06/1A up, 07/1B down; the value is
  // its size). One direction flag serves both axes: a zero rate goes out
  // with the command of the last nonzero rate sent on either axis.
  const double rate = 2 * kPi / 86164.09065;
  struct Step {
    int moveAxis;
    double rate;
    uint8_t move;  // the command byte of the move's rate
    int stopAxis;
    Bytes zero;
  } steps[] = {{0, -rate, 0x07, 1, Req(0x1B, 0)},
               {0, -rate, 0x07, 0, Req(0x07, 0)},
               {1, rate, 0x1A, 0, Req(0x06, 0)},
               {1, -rate, 0x1B, 1, Req(0x1B, 0)}};
  const auto isRate = [](const emulator::ByteCommandRequest& r) {
    return r.command == 0x06 || r.command == 0x07 || r.command == 0x1A || r.command == 0x1B;
  };
  for (const Step& s : steps) {
    // The move's own rate is on the wire before the stop (the axis may
    // still be moving from the step before), and the stop's zero, a
    // command without reply, may arrive after StopAxis returns.
    emu->ClearRequests();
    ASSERT_EQ(MoveAxis(s.moveAxis, s.rate), 0);
    ASSERT_TRUE(emu->WaitForRequest(
        [](const emulator::ByteCommandRequest& r) { return r.value != 0; }, 5000));
    for (const auto& r : emu->Requests()) {
      if (isRate(r) && r.value != 0) {
        EXPECT_EQ(r.command, s.move) << "rate " << s.rate;
      }
    }
    emu->ClearRequests();
    ASSERT_EQ(StopAxis(s.stopAxis), 0);
    EXPECT_TRUE(emu->WaitForRequest(
        [&](const emulator::ByteCommandRequest& r) { return r.bytes == s.zero; }, 2000));
    EXPECT_EQ(Last(s.zero[0]), s.zero);
    EXPECT_EQ(emu->RateWireValue(s.stopAxis), 0);
  }
}

TEST_F(ByteCommandTest, SyncShiftsTheAzimuthFrameAndSetsTheAltitudeCount) {
  emulator::ByteCommandOptions o = QuickOptions();
  ASSERT_EQ(Create(8, o), 0);
  emu->SetPositionCounts(0, CountOf(10.0));
  emu->ClearRequests();
  double pos = 0;
  ASSERT_EQ(SyncAxis(0, Deg(30.0)), 0);
  EXPECT_EQ(Sent(), std::vector<Bytes>{{0x01}}) << "the controller is only read";
  EXPECT_EQ(emu->PositionCounts(0), CountOf(10.0));
  ASSERT_EQ(GetAxisPosition(0, &pos), 0);
  EXPECT_NEAR(pos, Deg(30.0), 1e-5);
  // A goto in the shifted frame: the controller goes to 20 degrees less.
  ASSERT_EQ(GotoAxis(0, Deg(-20.0)), 0);
  ASSERT_TRUE(WaitFor(MotionFinished));
  EXPECT_NEAR(emu->PositionRadians(0), Deg(320.0), Deg(5.0 / 60));

  ASSERT_EQ(SyncAxis(1, Deg(-5.0)), 0);
  EXPECT_EQ(Last(0x18), Req(0x18, CountOf(355.0)));
  ASSERT_EQ(GetAxisPosition(1, &pos), 0);
  EXPECT_NEAR(pos, Deg(-5.0), Deg(0.01));
}

TEST_F(ByteCommandTest, SkyGotoEndsInTrackingAndAnAlignmentOfType10LoadsOn8) {
  ASSERT_EQ(Create(10), 0);
  // Hour angle -2 h, declination 20 degrees: about 60 degrees up at 34 north.
  ASSERT_EQ(GotoSky(-kPi / 6, Deg(20.0)), 0);
  ASSERT_TRUE(WaitFor([] { return g_mount->Published().MountState() == 2; }));
  ASSERT_TRUE(WaitFor([&] { return emu->RateWireValue(0) != 0 && emu->RateWireValue(1) != 0; }));
  ASSERT_EQ(SetTracking(0), 0);

  AlignStar star{};
  ASSERT_EQ(GetAxisPosition(0, &star.axis0), 0);
  ASSERT_EQ(GetAxisPosition(1, &star.axis1), 0);
  star.hourAngle = -kPi / 6;
  star.declination = Deg(20.5);
  ASSERT_EQ(AlignOneStar(star), 0);
  AlignmentRecord record{};
  ASSERT_EQ(SaveAlignment(&record), 200);
  EXPECT_EQ(record.mountType, 8);
  ASSERT_EQ(Create(8), 0);
  EXPECT_EQ(LoadAlignment(&record), 0);
  ASSERT_EQ(Create(9), 0);
  EXPECT_EQ(LoadAlignment(&record), 400);
}

}  // namespace
}  // namespace sidera::testing
