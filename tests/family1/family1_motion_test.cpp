// Packet-bus mounts driven as a host drives them: connect, gotos in both
// frames, rate moves, position syncs, a sky goto that ends in tracking, and
// an alignment.
#include <cmath>

#include "family1_fixture.h"
#include "sidera/link/serial_link.h"

namespace sidera::testing {
namespace {

using Msg = std::pair<int, uint8_t>;  // axis, message id

std::vector<Msg> Messages(const std::vector<emulator::Family1Request>& requests) {
  std::vector<Msg> out;
  for (const auto& r : requests) out.emplace_back(r.axis, r.id);
  return out;
}

TEST_F(Family1Test, ConnectAsksVersionsThenInitialisesBothControllers) {
  struct Case {
    int type;
    std::vector<Msg> expected;
  };
  const std::vector<Msg> family = {{0, 0xFE}, {1, 0xFE}, {0, 0xFD}, {1, 0xFD}, {0, 0x10},
                                   {0, 0x11}, {1, 0x10}, {1, 0x11}, {0, 0x01}, {1, 0x01}};
  std::vector<Msg> altAz = family;
  // The alt-azimuth model then halts both axes (direction memory starts
  // positive) and reads them again.
  for (Msg m : std::vector<Msg>{{0, 0x06}, {1, 0x06}, {0, 0x01}, {1, 0x01}}) altAz.push_back(m);

  for (const Case& c : {Case{0, altAz}, Case{1, family}}) {
    SCOPED_TRACE(c.type);
    emulator::Family1Options o = QuickOptions();
    o.versionMajor = 4;
    o.versionMinor = 7;
    ASSERT_EQ(Create(c.type, o), 0);
    const auto requests = emu->Requests();
    EXPECT_EQ(Messages(requests), c.expected);
    for (const auto& r : requests) {
      if (r.id == 0xFD || r.id == 0x10 || r.id == 0x11) {
        EXPECT_EQ(r.data, std::vector<uint8_t>{0x00});
      }
      if (r.id == 0x06) {
        EXPECT_EQ(r.data, (std::vector<uint8_t>{0, 0, 0}));
      }
    }
    auto* link = dynamic_cast<SerialLink*>(g_mount);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->firmwareVersion.load(), (4u << 16) | (7u << 8));
    EXPECT_EQ(link->noHandshake.load(), 1) << "a terminal without modem lines has no handshake";
    TearDown();
    emu.reset();
  }
}

TEST_F(Family1Test, EquatorialModelReadsAxisZeroHalfATurnOffAndAxisOneAboveMinus90) {
  emulator::Family1Options o = QuickOptions();
  o.initialCounts[0] = 0;
  o.initialCounts[1] = static_cast<int32_t>(CountsOfDeg(-100.0));
  ASSERT_EQ(Create(1, o), 0);
  double a0 = 0, a1 = 0;
  EXPECT_EQ(GetAxisPosition(0, &a0), 0);
  EXPECT_EQ(GetAxisPosition(1, &a1), 0);
  EXPECT_NEAR(a0, -kPi, 1e-12);
  EXPECT_NEAR(a1, Deg(260.0), 1e-6);

  // The alt-azimuth model takes the controllers' angles as they are.
  TearDown();
  emu.reset();
  o.initialCounts[0] = static_cast<int32_t>(CountsOfDeg(-135.0));
  ASSERT_EQ(Create(0, o), 0);
  EXPECT_EQ(GetAxisPosition(0, &a0), 0);
  EXPECT_EQ(GetAxisPosition(1, &a1), 0);
  EXPECT_NEAR(a0, Deg(-135.0), 1e-12);
  EXPECT_NEAR(a1, Deg(-100.0), 1e-6);
}

// One goto through the exported GotoAxis, waited for to the end.
struct GotoCase {
  const char* what;
  int type;
  int axis;
  double startDeg;      // controller frame
  double targetDeg;     // host frame
  double finalWireDeg;  // controller frame: data of the last (slow) goto
  bool expectFast;
  uint8_t approachBeforeFinal;
};

TEST_F(Family1Test, GotosMoveFastThenFinishSlowlyInTheControllersFrame) {
  const GotoCase cases[] = {
      {"alt-az long positive move", 0, 0, 0.0, 45.0, 45.0, true, 0},
      {"alt-az long negative move overshoots, then comes back", 0, 1, 45.0, -22.5, -22.5, true, 0},
      {"alt-az move under 3 degrees stays slow", 0, 0, 0.0, 2.8125, 2.8125, false, 0},
      {"equatorial axis 0 is shifted by half a turn", 1, 0, 0.0, -90.0, 90.0, true, 0},
      {"equatorial axis 1 beyond 180 goes out as its equivalent", 1, 1, 112.5, 202.5, -157.5, true,
       0},
  };
  for (const GotoCase& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::Family1Options o = QuickOptions();
    o.initialCounts[c.axis] = static_cast<int32_t>(CountsOfDeg(c.startDeg));
    ASSERT_EQ(Create(c.type, o), 0);
    emu->ClearRequests();

    ASSERT_EQ(GotoAxis(c.axis, Deg(c.targetDeg)), 0);
    ASSERT_TRUE(WaitFor(MotionFinished));

    const auto fast = Sent(c.axis, 0x02);
    const auto slow = Sent(c.axis, 0x17);
    EXPECT_EQ(!fast.empty(), c.expectFast);
    ASSERT_FALSE(slow.empty());
    EXPECT_NEAR(Wire24(slow.back().data), CountsOfDeg(c.finalWireDeg), 1.0);
    EXPECT_NEAR(emu->PositionCounts(c.axis), CountsOfDeg(c.finalWireDeg), 1.0);
    EXPECT_TRUE(Sent(1 - c.axis, 0x02).empty() && Sent(1 - c.axis, 0x17).empty())
        << "the other axis was already at its target";

    // Every goto is preceded by the approach byte: 1 for a negative move.
    const auto requests = emu->Requests();
    for (size_t i = 1; i < requests.size(); ++i) {
      if (requests[i].id != 0x02 && requests[i].id != 0x17) continue;
      ASSERT_EQ(requests[i - 1].id, 0xFD);
      ASSERT_EQ(requests[i - 1].axis, requests[i].axis);
    }
    EXPECT_EQ(emu->ApproachByte(c.axis), c.approachBeforeFinal);
    if (c.targetDeg < c.startDeg && c.type == 0) {
      // The overshooting first move went out with approach 1.
      bool sawNegative = false;
      for (const auto& r : Sent(c.axis, 0xFD)) sawNegative |= r.data == std::vector<uint8_t>{1};
      EXPECT_TRUE(sawNegative);
    }

    double pos = 0;
    EXPECT_EQ(GetAxisPosition(c.axis, &pos), 0);
    EXPECT_NEAR(pos, Deg(c.targetDeg), Deg(0.001));
    uint32_t state = 0;
    EXPECT_EQ(GetAxisState(c.axis, &state), 0);
    EXPECT_EQ(state, 1u) << "a finished goto leaves the axis stopped";
    TearDown();
    emu.reset();
  }
}

TEST_F(Family1Test, RateMovesGoOutSignedAndAStopKeepsTheLastDirection) {
  ASSERT_EQ(Create(0), 0);
  // Two sidereal rates: r = 120 quarter arc-seconds per second, wire 120 x 256.
  const int32_t wire = 120 * 256;
  struct Step {
    double rate;
    int32_t wire;
    uint32_t state;
    uint8_t stopId;
  };
  const Step steps[] = {{2 * kSidereal, wire, 2 | 8, 0x06}, {-2 * kSidereal, -wire, 2, 0x07}};
  for (const Step& s : steps) {
    ASSERT_EQ(MoveAxis(0, s.rate), 0);
    ASSERT_TRUE(WaitFor([&] { return emu->RateWireValue(0) == s.wire; }));
    uint32_t state = 0;
    EXPECT_EQ(GetAxisState(0, &state), 0);
    EXPECT_EQ(state, s.state);

    ASSERT_EQ(StopAxis(0), 0);
    const auto last = emu->Requests().back();
    EXPECT_EQ(last.axis, 0);
    EXPECT_EQ(last.id, s.stopId) << "zero rate in the direction last moved";
    EXPECT_EQ(last.data, (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(GetAxisState(0, &state), 0);
    EXPECT_EQ(state, 1u);
  }
}

TEST_F(Family1Test, SyncsSetTheControllersPositionInTheirFrame) {
  struct Case {
    int type;
    int32_t home0, home1;  // SetPosition data of SyncHomePosition
  };
  for (const Case& c : {Case{0, 0, 0}, Case{1, 0x400000, 0x400000}}) {
    SCOPED_TRACE(c.type);
    ASSERT_EQ(Create(c.type), 0);
    emu->ClearRequests();
    ASSERT_EQ(SyncHomePosition(), 0);
    auto set0 = Sent(0, 0x04), set1 = Sent(1, 0x04);
    ASSERT_EQ(set0.size(), 1u);
    ASSERT_EQ(set1.size(), 1u);
    EXPECT_EQ(Wire24(set0[0].data), c.home0);
    EXPECT_EQ(Wire24(set1[0].data), c.home1);

    // Sync axis 0 to 0: the equatorial controller takes +pi (80 00 00).
    emu->ClearRequests();
    ASSERT_EQ(SyncAxis(0, 0.0), 0);
    set0 = Sent(0, 0x04);
    ASSERT_EQ(set0.size(), 1u);
    EXPECT_EQ(set0[0].data,
              c.type == 1 ? (std::vector<uint8_t>{0x80, 0, 0}) : (std::vector<uint8_t>{0, 0, 0}));
    double pos = 1.0;
    EXPECT_EQ(GetAxisPosition(0, &pos), 0);
    EXPECT_NEAR(std::remainder(pos, 2 * kPi), 0.0, 1e-9);

    // Sync axis 1 to 22.5 degrees, then read it back.
    ASSERT_EQ(SyncAxis(1, Deg(22.5)), 0);
    EXPECT_EQ(emu->PositionCounts(1), 1048576);
    EXPECT_EQ(GetAxisPosition(1, &pos), 0);
    EXPECT_NEAR(pos, Deg(22.5), 1e-12);
    TearDown();
    emu.reset();
  }
}

TEST_F(Family1Test, SkyGotoEndsTrackingAtTheSiderealRateAndAlignsOnTheStar) {
  ASSERT_EQ(Create(1), 0);
  const double ha = -0.3, dec = 0.3;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(GotoSky(ha, dec), 0);
  ASSERT_TRUE(WaitFor([] { return (g_mount->mountState.load() & 2) != 0; }));

  // Tracking: axis 0 at the sidereal rate, 00 3C 00, positive in the north.
  const auto rates = Sent(0, 0x06);
  ASSERT_FALSE(rates.empty());
  EXPECT_EQ(rates.back().data, (std::vector<uint8_t>{0x00, 0x3C, 0x00}));
  EXPECT_EQ(emu->RateWireValue(0), 60 * 256);

  SkyPoint at{};
  ASSERT_EQ(GetSkyPosition(&at), 0);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(AngularSeparation(at.hourAngle, at.declination, ha + elapsed * kSidereal, dec),
            Deg(0.1));

  // Stop, then tell the mount that the star it points at really is 1 degree
  // further west and half a degree lower: afterwards it reports that place.
  ASSERT_EQ(SetTracking(0), 0);
  AlignStar star{};
  ASSERT_EQ(GetAxisPosition(0, &star.axis0), 0);
  ASSERT_EQ(GetAxisPosition(1, &star.axis1), 0);
  ASSERT_EQ(GetSkyPosition(&at), 0);
  star.hourAngle = at.hourAngle + Deg(1.0);
  star.declination = at.declination - Deg(0.5);
  ASSERT_EQ(AlignOneStar(star), 0);
  SkyPoint after{};
  ASSERT_EQ(GetSkyPosition(&after), 0);
  EXPECT_LT(AngularSeparation(after.hourAngle, after.declination, star.hourAngle, star.declination),
            Deg(0.01));
}

}  // namespace
}  // namespace sidera::testing
