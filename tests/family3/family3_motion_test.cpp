// Hex-command mounts driven as a host drives them: the connect sequence and
// its branches, relative gotos in both frames, rate motions and their
// preparation, halts by model code, the short way round in azimuth, and a
// sky goto that ends in tracking, followed by an alignment.
#include "family3_fixture.h"

namespace sidera::testing {
namespace {

TEST_F(Family3Test, ConnectLearnsTheControllerAndInitialisesItsAxes) {
  const std::vector<std::string> query = {"e1", "a1", "a2", "b1", "g1", "g2"};
  const std::vector<std::string> positions = {"j1", "j2"};
  // Fresh equatorial controllers are set to the home position first.
  const std::vector<std::string> equatorialInit = {"f1", "E1", "f2", "E2", "F1", "F2"};
  const std::vector<std::string> altAzInit = {"F1", "F2"};
  auto join = [](std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  struct Case {
    const char* what;
    int type, reportedType;
    std::string version;
    bool echo, ignoreFirstVersion;
    uint32_t emulatorCounts, driverCounts;
    std::vector<std::string> sequence;
    uint32_t firmware;
    int32_t echoes, instantStop;
    double toleranceDeg;
  } cases[] = {
      {"model code 0x01, no echo: the s figures are read", 3, 3, "031001", false, false, kCounts,
       kCounts, join({query, {"s1", "s2"}, positions, equatorialInit}), 0x031001, 0, 0, 1 / 30.0},
      {"model code 0x80, early firmware: counts replaced, wider tolerance", 2, 2, "000180", false,
       false, 2000000, 1452951, join({query, positions, altAzInit}), 0x000180, 1, 1, 0.1},
      {"model code 0x82, firmware 1.16", 5, 2, "011082", true, false, 2000000, 2118424,
       join({query, positions, altAzInit}), 0x011082, 1, 1, 1 / 12.0},
      {"model code 0x92: halts brake", 4, 3, "031092", true, false, kCounts, kCounts,
       join({query, positions, equatorialInit}), 0x031092, 1, 0, 1 / 30.0},
      {"first version query unanswered", 3, 3, "031001", true, true, kCounts, kCounts,
       join({{"e1"}, query, positions, equatorialInit}), 0x031001, 1, 0, 1 / 30.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::Family3Options o = QuickOptions();
    o.version = c.version;
    o.echo = c.echo;
    o.ignoreFirstVersion = c.ignoreFirstVersion;
    o.countsPerRevolution = c.emulatorCounts;
    ASSERT_EQ(Create(c.type, o), 0);
    EXPECT_EQ(Letters(), c.sequence);
    EXPECT_EQ(Refusals(), 0u);
    HexCommandMount* m = Mount();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->mountType, c.reportedType);
    EXPECT_EQ(m->firmwareVersion.load(), c.firmware);
    EXPECT_EQ(m->lineEchoes, c.echoes);
    EXPECT_EQ(m->useInstantStop, c.instantStop);
    EXPECT_NEAR(m->gotoTolerance.load(), Deg(c.toleranceDeg), 1e-15);
    EXPECT_NEAR(m->countsPerRadian[1], c.driverCounts / (2 * kPi), 1e-9);
    EXPECT_EQ(m->brakeSteps[0], 3500u);
    // 640 s of sidereal motion: 10792 steps at 1452951 per revolution.
    if (c.driverCounts == 1452951) {
      EXPECT_EQ(m->shortGotoLimit[1], 10792u);
    }
    if (c.type == 3 || c.type == 4) {
      EXPECT_EQ(Sent("E1")[0].data, "000080");  // -90 degrees is count 0
      EXPECT_EQ(Sent("E2")[0].data, "E58A85");  // +90 degrees: 363237 counts
      double a0 = 0, a1 = 0;
      EXPECT_EQ(GetAxisPosition(0, &a0), 0);
      EXPECT_EQ(GetAxisPosition(1, &a1), 0);
      EXPECT_NEAR(a0, Deg(-90), Deg(0.001));
      EXPECT_NEAR(a1, Deg(90), Deg(0.001));
    }
    EXPECT_TRUE(emu->Initialised(0) && emu->Initialised(1));
  }
}

TEST_F(Family3Test, GotosAreRelativeStepCountsOfTheRightTypeAndDirection) {
  struct Case {
    const char* what;
    int type;
    double latitude;
    int axis;
    double targetDeg;   // host frame
    std::string mode;   // the first SetMotionMode of the axis
    std::string steps;  // its goto increment ("" : not checked)
    double finalDeg;    // controller frame
    bool offPole;       // equatorial: start initialised with axis 1 at 45 degrees
  } cases[] = {
      {"1 degree: 4035 steps, short goto", 2, 0.6, 0, 1.0, "20", "C30F00", 1.0, false},
      {"10 degrees: 40359 steps, long goto", 2, 0.6, 1, 10.0, "00", "A79D00", 10.0, false},
      {"a negative move overshoots first", 2, 0.6, 0, -5.0, "01", "A65A00", -5.0, false},
      {"equatorial axis 0 reads a quarter turn low", 3, 0.6, 0, 0.0, "00", "E58A05", 90.0, true},
      {"southern site: direction characters get 2", 3, -0.6, 1, 100.0, "02", "", 100.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::Family3Options o = QuickOptions();
    o.initialised = c.offPole;
    if (c.offPole) o.initialCounts[1] = CountsOfDeg(45);
    ASSERT_EQ(Create(c.type, o, c.latitude), 0);
    emu->ClearRequests();
    ASSERT_EQ(GotoAxis(c.axis, Deg(c.targetDeg)), 0);
    ASSERT_TRUE(WaitFor(MotionFinished));
    const std::string digit = c.axis == 0 ? "1" : "2";
    const auto modes = Sent("G" + digit);
    const auto increments = Sent("H" + digit);
    ASSERT_FALSE(modes.empty());
    ASSERT_FALSE(increments.empty());
    EXPECT_EQ(modes[0].data, c.mode);
    if (!c.steps.empty()) {
      EXPECT_EQ(increments[0].data, c.steps);
    }
    EXPECT_EQ(Sent("M" + digit)[0].data, "AC0D00");  // brake 3500
    EXPECT_TRUE(Sent(std::string(c.axis == 0 ? "G2" : "G1")).empty()) << "the other axis stays";
    EXPECT_EQ(Refusals(), 0u);
    EXPECT_NEAR(emu->PositionDegrees(c.axis), c.finalDeg, 0.001);
    uint32_t state = 0;
    EXPECT_EQ(GetAxisState(c.axis, &state), 0);
    EXPECT_EQ(state, 9u) << "stopped after a positive final approach";
  }

  // The equatorial model takes an axis-1 angle below -90 degrees a turn up:
  // from +90 to +260 degrees is 686116 steps.
  ASSERT_EQ(Create(3), 0);
  emu->ClearRequests();
  EXPECT_EQ(Mount()->GotoAxisAngle(1, Deg(-100)), 0);
  EXPECT_EQ(Letters(), (std::vector<std::string>{"j2", "G2", "H2", "M2", "J2"}));
  EXPECT_EQ(Sent("G2")[0].data, "00");
  EXPECT_EQ(Sent("H2")[0].data, "24780A");
  ASSERT_TRUE(WaitFor([&] { return !emu->Running(1); }));
  EXPECT_NEAR(emu->PositionDegrees(1), 260.0, 0.001);

  // A goto of less than one step sends nothing and leaves the state alone.
  ASSERT_EQ(Create(2), 0);
  double here = 0;
  ASSERT_EQ(GetAxisPosition(0, &here), 0);
  emu->ClearRequests();
  g_mount->axisState[0] = AXIS_RATE_MOTION;
  EXPECT_EQ(Mount()->GotoAxisAngle(0, here + 0.5 / Mount()->countsPerRadian[0]), 0);
  EXPECT_EQ(Letters(), std::vector<std::string>{"j1"});
  EXPECT_EQ(g_mount->axisState[0].load(), AXIS_RATE_MOTION);
}

TEST_F(Family3Test, RatesBecomeStepPeriodsInTheSlowOrFastMode) {
  // Step period = timer frequency / (rate x counts per radian), the rate
  // divided by the high-speed ratio (16) in the fast mode, truncated.
  struct Case {
    const char* what;
    std::string version;
    double latitude, rate;
    std::string mode, period;  // mode "" : the axis is halted instead
    double storedRate;
  } cases[] = {
      {"5 deg/s is held at 3.4", "031001", 0.6, Deg(5), "30", "480000", Deg(3.4)},  // 72
      {"1 deg/s runs fast", "031001", 0.6, Deg(1), "30", "F70000", Deg(1)},         // 247
      {"0.1 deg/s runs slow", "031001", 0.6, Deg(0.1), "10", "9A0000", Deg(0.1)},   // 154
      {"negative", "031001", 0.6, -Deg(0.1), "11", "9A0000", -Deg(0.1)},
      {"sidereal", "031001", 0.6, kSidereal, "10", "7A0E00", kSidereal},  // 3706
      {"firmware 1.6.0 runs 3 ticks short", "010600", 0.6, kSidereal, "10", "770E00", kSidereal},
      {"southern direction characters", "031001", -0.6, Deg(0.1), "12", "9A0000", Deg(0.1)},
      {"below sidereal / 1000 halts", "031001", 0.6, kSidereal / 2000, "", "", 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::Family3Options o = QuickOptions();
    o.version = c.version;
    ASSERT_EQ(Create(3, o, c.latitude), 0);
    emu->ClearRequests();
    ASSERT_EQ(MoveAxis(0, c.rate), 0);
    ASSERT_TRUE(WaitFor(RateMoveDone(c.mode.empty() ? "K1" : "J1")));
    if (c.mode.empty()) {
      EXPECT_EQ(Letters(), std::vector<std::string>{"K1"});
      continue;
    }
    EXPECT_EQ(Letters(), (std::vector<std::string>{"f1", "G1", "I1", "J1"}));
    EXPECT_EQ(Sent("G1")[0].data, c.mode);
    EXPECT_EQ(Sent("I1")[0].data, c.period);
    EXPECT_NEAR(g_mount->axisRate[0].load(), c.storedRate, 1e-15);
    EXPECT_TRUE(emu->Running(0));
    uint32_t state = 0;
    EXPECT_EQ(GetAxisState(0, &state), 0);
    // Running at a rate, positive unless the rate is negative, high speed in
    // the fast mode.
    EXPECT_EQ(state, 2u | (c.rate > 0 ? 8u : 0u) | (c.mode[0] == '3' ? 16u : 0u));
  }
}

TEST_F(Family3Test, ASpeedChangeOnlyRetimesButAReversalWaitsForTheStop) {
  ASSERT_EQ(Create(2), 0);
  ASSERT_EQ(MoveAxis(0, Deg(0.1)), 0);
  ASSERT_TRUE(WaitFor(RateMoveDone("J1")));
  ASSERT_TRUE(emu->Running(0));

  emu->ClearRequests();
  ASSERT_EQ(MoveAxis(0, Deg(0.2)), 0);
  ASSERT_TRUE(WaitFor(RateMoveDone("J1")));
  EXPECT_EQ(Letters(), (std::vector<std::string>{"f1", "I1", "J1"}));
  EXPECT_EQ(emu->StepPeriod(0), 77u);

  emu->ClearRequests();
  ASSERT_EQ(MoveAxis(0, -Deg(0.1)), 0);
  ASSERT_TRUE(WaitFor(RateMoveDone("J1")));
  const auto requests = emu->Requests();
  const std::vector<std::string> letters = Letters();
  ASSERT_GE(letters.size(), 6u);
  EXPECT_EQ(letters[0], "f1");
  EXPECT_EQ(letters[1], "K1");
  const std::vector<std::string> tail(letters.end() - 3, letters.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"G1", "I1", "J1"}));
  for (size_t i = 2; i + 3 < letters.size(); ++i) EXPECT_EQ(letters[i], "f1");
  EXPECT_EQ(requests[letters.size() - 4].reply[2], '0') << "the mode changes only once stopped";
  EXPECT_EQ(Refusals(), 0u);
  EXPECT_EQ(emu->Direction(0), '1');
}

TEST_F(Family3Test, HaltsStopInstantlyOnlyForModelCodesFrom0x80Outside0x9X) {
  const std::pair<std::string, std::string> cases[] = {
      {"000180", "L1"}, {"031092", "K1"}, {"031001", "K1"}};
  for (const auto& [version, halt] : cases) {
    SCOPED_TRACE(version);
    emulator::Family3Options o = QuickOptions();
    o.version = version;
    ASSERT_EQ(Create(3, o), 0);
    emu->ClearRequests();
    EXPECT_EQ(StopAxis(0), 0);
    EXPECT_EQ(Letters(), std::vector<std::string>{halt});
  }
}

TEST_F(Family3Test, TheAzimuthTargetIsTakenTheShortWayRound) {
  const struct {
    double startDeg, targetDeg, expectedDeg;
  } cases[] = {{170, -170, 190}, {-170, 170, -190}, {0, -170, -170}, {170, 10, 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.startDeg);
    emulator::Family3Options o = QuickOptions();
    o.initialCounts[0] = CountsOfDeg(c.startDeg);
    ASSERT_EQ(Create(2, o), 0);
    double here = 0;
    ASSERT_EQ(GetAxisPosition(0, &here), 0);
    AxisPair wanted{Deg(c.targetDeg), Deg(30)};
    SkyPoint sky{};
    ASSERT_EQ(g_mount->AxesToSky(wanted, sky, 1), 0);
    AxisPair axes{};
    ASSERT_EQ(SkyToAxes(sky, &axes), 0);
    EXPECT_NEAR(axes.axis0, Deg(c.expectedDeg), 1e-9);
  }
}

TEST_F(Family3Test, SkyGotoEndsTrackingAndAnAlignmentMovesTheModelOntoTheStar) {
  for (int type : {3, 2}) {
    SCOPED_TRACE(type);
    ASSERT_EQ(Create(type), 0);
    const double ha = -0.3, dec = 0.3;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(GotoSky(ha, dec), 0);
    ASSERT_TRUE(WaitFor([] { return (g_mount->mountState.load() & 2) != 0; }));
    if (type == 3) {
      // Equatorial tracking: axis 0 at the sidereal rate, slow and positive.
      ASSERT_TRUE(WaitFor([&] { return emu->Running(0); }));
      EXPECT_EQ(Sent("G1").back().data, "10");
      EXPECT_EQ(Sent("I1").back().data, "7A0E00");
    }
    SkyPoint at{};
    ASSERT_EQ(GetSkyPosition(&at), 0);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(AngularSeparation(at.hourAngle, at.declination, ha + elapsed * kSidereal, dec),
              Deg(0.2));
    EXPECT_EQ(Refusals(), 0u);

    ASSERT_EQ(SetTracking(0), 0);
    ASSERT_TRUE(WaitFor([&] { return !emu->Running(0) && !emu->Running(1); }));
    AlignStar star{};
    ASSERT_EQ(GetAxisPosition(0, &star.axis0), 0);
    ASSERT_EQ(GetAxisPosition(1, &star.axis1), 0);
    ASSERT_EQ(GetSkyPosition(&at), 0);
    star.hourAngle = at.hourAngle + Deg(1.0);
    star.declination = at.declination - Deg(0.5);
    ASSERT_EQ(AlignOneStar(star), 0);
    ASSERT_EQ(GetSkyPosition(&at), 0);
    EXPECT_LT(AngularSeparation(at.hourAngle, at.declination, star.hourAngle, star.declination),
              Deg(0.01));
  }
}

}  // namespace
}  // namespace sidera::testing
