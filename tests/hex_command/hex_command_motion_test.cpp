// Hex-command mounts driven as a host drives them: the connect sequence and
// its branches, relative gotos in both frames, rate motions and their
// preparation, halts by model code, the short way round in azimuth, and a
// sky goto that ends in tracking, followed by an alignment.
#include "hex_command_fixture.h"

namespace sidera::testing {
namespace {

using Letters = std::vector<std::string>;

TEST_F(HexCommandTest, ConnectLearnsTheControllerAndInitialisesItsAxes) {
  // Queries, positions, then the initialisation; fresh equatorial
  // controllers are first set to the home position (E1 count 0 for -90
  // degrees, E2 363237 counts for +90).
  const std::string query = "e1 a1 a2 b1 g1 g2 ", figures = "s1 s2 ", read = "j1 j2 ";
  const std::string equatorial = "f1 E1 f2 E2 F1 F2", altAz = "F1 F2";
  struct Case {
    const char* what;
    int type;
    std::string version;
    bool echo, ignoreFirst;
    uint32_t emulatorCounts, driverCounts;
    std::string sequence;
    double toleranceDeg;
  } cases[] = {
      // clang-format off
      {"0x01, no echo: the s figures are read", 3, "031001", false, false, kCounts, kCounts,
       query + figures + read + equatorial, 1 / 30.0},
      {"0x80, firmware 0.1: counts replaced, wider tolerance", 2, "000180", false, false,
       2000000, 1452951, query + read + altAz, 0.1},
      {"0x82, firmware 1.16", 5, "011082", true, false, 2000000, 2118424,
       query + read + altAz, 1 / 12.0},
      {"first version query unanswered", 4, "031001", true, true, kCounts, kCounts,
       "e1 " + query + read + equatorial, 1 / 30.0},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::HexCommandOptions o = QuickOptions();
    o.version = c.version;
    o.echo = c.echo;
    o.ignoreFirstVersion = c.ignoreFirst;
    o.countsPerRevolution = c.emulatorCounts;
    ASSERT_EQ(Create(c.type, o), 0);
    std::string sent;
    for (const std::string& l : Sent()) sent += (sent.empty() ? "" : " ") + l;
    EXPECT_EQ(sent, c.sequence);
    EXPECT_EQ(Refusals(), 0u);
    HexCommandMount* m = Mount();
    EXPECT_EQ(m->firmwareVersion.load(), std::stoul(c.version, nullptr, 16));
    EXPECT_NEAR(m->GetGotoParameters().tolerance, Deg(c.toleranceDeg), 1e-15);
    EXPECT_NEAR(m->countsPerRadian[1], c.driverCounts / (2 * kPi), 1e-9);
    if (c.type == 3 || c.type == 4) {
      EXPECT_EQ(Sent("E1")[0].data + Sent("E2")[0].data, "000080E58A85");
    }
  }
}

TEST_F(HexCommandTest, GotosAreRelativeStepCountsOfTheRightTypeAndDirection) {
  struct Case {
    const char* what;
    int type;
    double latitude;
    int axis;
    double targetDeg;  // host frame
    std::string sent;  // first SetMotionMode and goto increment of the axis
    double finalDeg;   // controller frame
    bool offPole;      // start initialised with axis 1 at 45 degrees
  } cases[] = {
      // clang-format off
      {"1 degree: 4035 steps, short", 2, 0.6, 0, 1.0, "20C30F00", 1.0, false},
      {"10 degrees: 40359 steps, long", 2, 0.6, 1, 10.0, "00A79D00", 10.0, false},
      {"negative: 5.75 degrees past, then back", 2, 0.6, 0, -5.0, "01A65A00", -5.0, false},
      {"equatorial axis 0 reads a quarter turn low", 3, 0.6, 0, 0.0, "00E58A05", 90.0, true},
      // from home (+90 degrees written as 363237 counts) to 100: 40360 steps
      {"southern site: direction characters get 2", 3, -0.6, 1, 100.0, "02A89D00", 100.0, false},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::HexCommandOptions o = QuickOptions();
    o.initialised = c.offPole;
    if (c.offPole) o.initialCounts[1] = CountsOfDeg(45);
    ASSERT_EQ(Create(c.type, o, c.latitude), 0);
    emu->ClearRequests();
    ASSERT_EQ(GotoAxis(c.axis, Deg(c.targetDeg)), 0);
    ASSERT_TRUE(WaitFor(MotionFinished));
    const std::string digit = c.axis == 0 ? "1" : "2";
    ASSERT_FALSE(Sent("H" + digit).empty());
    EXPECT_EQ(Sent("G" + digit)[0].data + Sent("H" + digit)[0].data, c.sent);
    EXPECT_EQ(Sent("M" + digit)[0].data, "AC0D00");  // brake 3500
    EXPECT_TRUE(Sent(c.axis == 0 ? "G2" : "G1").empty()) << "the other axis stays";
    EXPECT_EQ(Refusals(), 0u);
    EXPECT_NEAR(emu->PositionDegrees(c.axis), c.finalDeg, 0.001);
    uint32_t state = 0;
    EXPECT_EQ(GetAxisState(c.axis, &state), 0);
    EXPECT_EQ(state, 9u) << "stopped after a positive final approach";
  }

  // Equatorial axis-1 angles below -90 degrees go a turn up: from +90 to
  // +260 degrees is 686116 steps.
  ASSERT_EQ(Create(3), 0);
  emu->ClearRequests();
  EXPECT_EQ(Mount()->GotoAxisAngle(1, Deg(-100)), 0);
  // The axis's state is read first: a running axis is stopped before its
  // mode changes.
  EXPECT_EQ(Sent(), (Letters{"j2", "f2", "G2", "H2", "M2", "J2"}));
  EXPECT_EQ(Sent("H2")[0].data, "24780A");

  // A goto of less than one step sends nothing and leaves the state alone.
  double here = 0;
  ASSERT_EQ(GetAxisPosition(0, &here), 0);
  emu->ClearRequests();
  g_mount->Axes().NoteState(0, AXIS_RATE_MOTION);
  EXPECT_EQ(Mount()->GotoAxisAngle(0, here + 0.5 / Mount()->countsPerRadian[0]), 0);
  EXPECT_EQ(Sent(), Letters{"j1"});
  EXPECT_EQ(g_mount->Axes().State(0), AXIS_RATE_MOTION);
}

// An axis goto on the equatorial model ends with each axis on its target:
// a declination below -90 degrees is reached a turn up (after a negative
// overshoot), and parking finishes axis 0 although axis 1 reached the pole
// first.
TEST_F(HexCommandTest, EquatorialAxisGotosArriveOnEachAxis) {
  const struct {
    const char* what;
    double start0, start1;  // controller degrees
    double to0, to1;        // host degrees; NAN: GotoAxis of the other axis
    double end0, end1;      // controller degrees
  } cases[] = {
      {"declination -100", 30, 45, NAN, -100, 30, 260},
      {"park", 30, 89.9, -90, 90, 0, 90},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::HexCommandOptions o = QuickOptions();
    o.timeScale = 4.0;  // the controllers' own motion; the library's clock is real
    o.initialised = true;
    o.initialCounts[0] = CountsOfDeg(c.start0);
    o.initialCounts[1] = CountsOfDeg(c.start1);
    ASSERT_EQ(Create(3, o), 0);
    ASSERT_EQ(std::isnan(c.to0) ? GotoAxis(1, Deg(c.to1)) : GotoAxes(Deg(c.to0), Deg(c.to1)), 0);
    ASSERT_TRUE(WaitFor(MotionFinished));
    const double tolerance = 1 / 30.0;
    EXPECT_NEAR(emu->PositionDegrees(0), c.end0, tolerance);
    EXPECT_NEAR(emu->PositionDegrees(1), c.end1, tolerance);
  }
}

// Step period = timer frequency / (rate x counts per radian), the rate
// divided by the high-speed ratio (16) in the fast mode, truncated; the
// period's six digits follow the mode's two. Each mount connects at the
// other hemisphere's latitude and is then given its site, as an INDI client
// does after the connect: the southern bit of the direction characters
// follows every SetSite, both ways.
TEST_F(HexCommandTest, RatesBecomeStepPeriodsAndSlowRatesHalt) {
  struct Case {
    const char* what;
    std::string version;
    double latitude, rate;
    std::string sent;  // "" : halted instead
    double storedRate;
    std::string halt;  // the halt a too slow rate sends
  } cases[] = {
      // clang-format off
      {"5 deg/s is held at 3.4: period 72", "031001", 0.6, Deg(5), "30480000", Deg(3.4), ""},
      {"1 deg/s runs fast: 247", "031001", 0.6, Deg(1), "30F70000", Deg(1), ""},
      {"0.1 deg/s runs slow: 154", "031001", 0.6, Deg(0.1), "109A0000", Deg(0.1), ""},
      {"sidereal: 3706", "031001", 0.6, kSidereal, "107A0E00", kSidereal, ""},
      {"firmware 1.6.0 runs 3 ticks short", "010600", 0.6, kSidereal, "10770E00", kSidereal, ""},
      {"southern direction characters", "031001", -0.6, Deg(0.1), "129A0000", Deg(0.1), ""},
      {"below sidereal / 1000: stop", "031001", 0.6, kSidereal / 2000, "", 0.0, "K1"},
      {"model code 0x80 stops instantly", "000180", 0.6, kSidereal / 2000, "", 0.0, "L1"},
      {"model code 0x92 does not", "031092", 0.6, kSidereal / 2000, "", 0.0, "K1"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::HexCommandOptions o = QuickOptions();
    o.version = c.version;
    ASSERT_EQ(Create(3, o, -c.latitude), 0);
    ASSERT_EQ(SetSite(c.latitude, 100.0), 0);
    emu->ClearRequests();
    ASSERT_EQ(MoveAxis(0, c.rate), 0);
    ASSERT_TRUE(WaitFor(RateMoveDone(c.sent.empty() ? c.halt : "J1")));
    if (c.sent.empty()) {
      EXPECT_EQ(Sent(), Letters{c.halt});
      continue;
    }
    EXPECT_EQ(Sent(), (Letters{"f1", "G1", "I1", "J1"}));
    EXPECT_EQ(Sent("G1")[0].data + Sent("I1")[0].data, c.sent);
    EXPECT_NEAR(g_mount->Axes().Rate(0), c.storedRate, 1e-15);
    uint32_t state = 0;
    EXPECT_EQ(GetAxisState(0, &state), 0);
    // Rate motion, positive unless negative, high speed in the fast mode.
    EXPECT_EQ(state, 2u | (c.rate > 0 ? 8u : 0u) | (c.sent[0] == '3' ? 16u : 0u));
  }
}

TEST_F(HexCommandTest, ASpeedChangeOnlyRetimesButAReversalWaitsForTheStop) {
  ASSERT_EQ(Create(2), 0);
  ASSERT_EQ(MoveAxis(0, Deg(0.1)), 0);
  ASSERT_TRUE(WaitFor(RateMoveDone("J1")));
  emu->ClearRequests();
  ASSERT_EQ(MoveAxis(0, Deg(0.2)), 0);
  ASSERT_TRUE(WaitFor(RateMoveDone("J1")));
  EXPECT_EQ(Sent(), (Letters{"f1", "I1", "J1"}));
  EXPECT_EQ(emu->StepPeriod(0), 77u);

  emu->ClearRequests();
  ASSERT_EQ(MoveAxis(0, -Deg(0.1)), 0);
  ASSERT_TRUE(WaitFor(RateMoveDone("J1")));
  // Status, stop, status until it reads stopped, then the new mode.
  Letters sent = Sent();
  const auto requests = emu->Requests();
  ASSERT_GE(sent.size(), 6u);
  EXPECT_EQ(Letters(sent.begin(), sent.begin() + 2), (Letters{"f1", "K1"}));
  EXPECT_EQ(Letters(sent.end() - 3, sent.end()), (Letters{"G1", "I1", "J1"}));
  EXPECT_EQ(Letters(sent.begin() + 2, sent.end() - 3), Letters(sent.size() - 5, "f1"));
  EXPECT_EQ(requests[sent.size() - 4].reply[2], '0') << "the mode changes only once stopped";
  EXPECT_EQ(Refusals(), 0u);
  EXPECT_EQ(emu->Direction(0), '1');
}

TEST_F(HexCommandTest, TheAzimuthTargetIsTakenTheShortWayRound) {
  const struct {
    double startDeg, targetDeg, expectedDeg;
  } cases[] = {{170, -170, 190}, {-170, 170, -190}, {0, -170, -170}, {170, 10, 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.startDeg);
    emulator::HexCommandOptions o = QuickOptions();
    o.initialCounts[0] = CountsOfDeg(c.startDeg);
    ASSERT_EQ(Create(2, o), 0);
    double here = 0;
    ASSERT_EQ(GetAxisPosition(0, &here), 0);
    AxisPair wanted{Deg(c.targetDeg), Deg(30)}, axes{};
    SkyPoint sky{};
    ASSERT_EQ(g_mount->AxesToSky(wanted, sky, 1), 0);
    ASSERT_EQ(SkyToAxes(sky, &axes), 0);
    EXPECT_NEAR(axes.axis0, Deg(c.expectedDeg), 1e-9);
  }
}

TEST_F(HexCommandTest, SkyGotoEndsTrackingAndAnAlignmentMovesTheModelOntoTheStar) {
  for (int type : {3, 2}) {
    SCOPED_TRACE(type);
    ASSERT_EQ(Create(type), 0);
    const double ha = -0.3, dec = 0.3;
    const uint32_t start = platform::Now();
    ASSERT_EQ(GotoSky(ha, dec), 0);
    ASSERT_TRUE(WaitFor([] { return (g_mount->Published().MountState() & 2) != 0; }));
    if (type == 3) {
      // Equatorial tracking: axis 0 at the sidereal rate, slow and positive.
      ASSERT_TRUE(WaitFor([&] { return emu->Running(0); }));
      EXPECT_EQ(Sent("G1").back().data + Sent("I1").back().data, "107A0E00");
    }
    EXPECT_LT(DistanceFromTarget({ha, dec}, start), Deg(0.2));
    EXPECT_EQ(Refusals(), 0u);

    ASSERT_EQ(SetTracking(0), 0);
    ASSERT_TRUE(WaitFor([&] { return !emu->Running(0) && !emu->Running(1); }));
    ExpectOneStarAlignmentMovesTheSky();
  }
}

}  // namespace
}  // namespace sidera::testing
