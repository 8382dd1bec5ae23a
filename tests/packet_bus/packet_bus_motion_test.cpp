// Packet-bus mounts driven as a host drives them: connect, gotos in both
// frames, rate moves, position syncs, a sky goto that ends in tracking, and
// an alignment.
#include <algorithm>
#include <cmath>

#include "packet_bus_fixture.h"
#include "sidera/link/serial_link.h"

namespace sidera::testing {
namespace {

using Msg = std::pair<int, uint8_t>;  // axis, message id

TEST_F(PacketBusTest, ConnectAsksVersionsThenInitialisesBothControllers) {
  const std::vector<Msg> family = {{0, 0xFE}, {1, 0xFE}, {0, 0xFD}, {1, 0xFD}, {0, 0x10},
                                   {0, 0x11}, {1, 0x10}, {1, 0x11}, {0, 0x01}, {1, 0x01}};
  // The alt-azimuth model then halts both axes (direction memory starts
  // positive) and reads them again.
  std::vector<Msg> altAz = family;
  altAz.insert(altAz.end(), {{0, 0x06}, {1, 0x06}, {0, 0x01}, {1, 0x01}});
  for (const auto& [type, expected] : {std::pair{0, altAz}, std::pair{1, family}}) {
    SCOPED_TRACE(type);
    emulator::PacketBusOptions o = QuickOptions();
    o.versionMajor = 4;
    o.versionMinor = 7;
    ASSERT_EQ(Create(type, o), 0);
    std::vector<Msg> sent;
    for (const auto& r : emu->Requests()) {
      sent.emplace_back(r.axis, r.id);
      if (r.id == 0xFD || r.id == 0x10 || r.id == 0x11 || r.id == 0x06) {
        EXPECT_EQ(r.data, Bytes(r.id == 0x06 ? 3 : 1, 0x00)) << "approach, settings, halt: 0";
      }
    }
    EXPECT_EQ(sent, expected);
    auto* link = dynamic_cast<SerialLink*>(g_mount);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->firmwareVersion.load(), (4u << 16) | (7u << 8));
  }
}

TEST_F(PacketBusTest, GotosMoveFastThenFinishSlowlyInTheControllersFrame) {
  struct Case {
    const char* what;
    int type, axis;
    double startDeg;   // controller frame
    double targetDeg;  // host frame
    double wireDeg;    // controller frame: data of the last (slow) goto
    bool fast;
  } cases[] = {
      {"alt-az long positive move", 0, 0, 0.0, 45.0, 45.0, true},
      {"alt-az long negative move overshoots, then comes back", 0, 1, 45.0, -22.5, -22.5, true},
      {"alt-az move under 3 degrees stays slow", 0, 0, 0.0, 2.8125, 2.8125, false},
      {"equatorial axis 0 is shifted by half a turn", 1, 0, 0.0, -90.0, 90.0, true},
      {"equatorial axis 1 beyond 180 goes out as its equivalent", 1, 1, 112.5, 202.5, -157.5, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::PacketBusOptions o = QuickOptions();
    o.initialCounts[c.axis] = static_cast<int32_t>(CountsOfDeg(c.startDeg));
    ASSERT_EQ(Create(c.type, o), 0);
    emu->ClearRequests();
    ASSERT_EQ(GotoAxis(c.axis, Deg(c.targetDeg)), 0);
    ASSERT_TRUE(WaitFor(MotionFinished));

    const auto slow = Sent(c.axis, 0x17);
    EXPECT_EQ(!Sent(c.axis, 0x02).empty(), c.fast);
    ASSERT_FALSE(slow.empty());
    EXPECT_NEAR(Wire24(slow.back().data), CountsOfDeg(c.wireDeg), 1.0);
    EXPECT_NEAR(emu->PositionCounts(c.axis), CountsOfDeg(c.wireDeg), 1.0);
    // Every goto follows its approach byte: 1 before a negative move, so the
    // overshooting first move of a negative goto carries one, the final
    // positive approach 0.
    const auto requests = emu->Requests();
    bool sawNegative = false;
    for (size_t i = 1; i < requests.size(); ++i) {
      if (requests[i].id != 0x02 && requests[i].id != 0x17) continue;
      EXPECT_EQ(requests[i - 1].id, 0xFD);
      EXPECT_EQ(requests[i - 1].axis, requests[i].axis);
      sawNegative |= requests[i - 1].data == Bytes{1};
    }
    EXPECT_EQ(sawNegative, c.type == 0 && c.targetDeg < c.startDeg);
    EXPECT_EQ(emu->ApproachByte(c.axis), 0);

    double pos = 0;
    uint32_t state = 0;
    EXPECT_EQ(GetAxisPosition(c.axis, &pos), 0);
    EXPECT_NEAR(pos, Deg(c.targetDeg), Deg(0.001));
    EXPECT_EQ(GetAxisState(c.axis, &state), 0);
    EXPECT_EQ(state, 1u) << "a finished goto leaves the axis stopped";
  }
}

TEST_F(PacketBusTest, RateMovesGoOutSignedAndAStopKeepsTheLastDirection) {
  ASSERT_EQ(Create(0), 0);
  // Two sidereal rates: 120 quarter arc-seconds per second, wire 120 x 256.
  struct Step {
    double rate;
    int32_t wire;
    uint32_t state;
    uint8_t stopId;
  } steps[] = {{2 * kSidereal, 120 * 256, 2 | 8, 0x06}, {-2 * kSidereal, -120 * 256, 2, 0x07}};
  for (const Step& s : steps) {
    uint32_t state = 0;
    ASSERT_EQ(MoveAxis(0, s.rate), 0);
    ASSERT_TRUE(WaitFor([&] { return emu->RateWireValue(0) == s.wire; }));
    EXPECT_EQ(GetAxisState(0, &state), 0);
    EXPECT_EQ(state, s.state);
    ASSERT_EQ(StopAxis(0), 0);
    const auto last = emu->Requests().back();
    EXPECT_EQ(last.axis, 0);
    EXPECT_EQ(last.id, s.stopId) << "zero rate in the direction last moved";
    EXPECT_EQ(last.data, (Bytes{0, 0, 0}));
    EXPECT_EQ(GetAxisState(0, &state), 0);
    EXPECT_EQ(state, 1u);
  }
}

TEST_F(PacketBusTest, SyncsSetTheControllersPositionInTheirFrame) {
  // SetPosition data of SyncHomePosition, and of SyncAxis(0, 0): the
  // equatorial controller is half a turn off on axis 0 (80 00 00 is +pi).
  struct Case {
    int type;
    int32_t home0, home1;
    Bytes zero0;
  } cases[] = {{0, 0, 0, {0, 0, 0}}, {1, 0x400000, 0x400000, {0x80, 0, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    ASSERT_EQ(Create(c.type), 0);
    emu->ClearRequests();
    ASSERT_EQ(SyncHomePosition(), 0);
    ASSERT_EQ(Sent(0, 0x04).size(), 1u);
    ASSERT_EQ(Sent(1, 0x04).size(), 1u);
    EXPECT_EQ(Wire24(Sent(0, 0x04)[0].data), c.home0);
    EXPECT_EQ(Wire24(Sent(1, 0x04)[0].data), c.home1);

    emu->ClearRequests();
    double pos = 1.0;
    ASSERT_EQ(SyncAxis(0, 0.0), 0);
    ASSERT_EQ(Sent(0, 0x04).size(), 1u);
    EXPECT_EQ(Sent(0, 0x04)[0].data, c.zero0);
    EXPECT_EQ(GetAxisPosition(0, &pos), 0);
    EXPECT_NEAR(std::remainder(pos, 2 * kPi), 0.0, 1e-9);
    ASSERT_EQ(SyncAxis(1, Deg(22.5)), 0);
    EXPECT_EQ(emu->PositionCounts(1), 1048576);
    EXPECT_EQ(GetAxisPosition(1, &pos), 0);
    EXPECT_NEAR(pos, Deg(22.5), 1e-12);
  }
}

TEST_F(PacketBusTest, SkyGotoEndsTrackingAtTheSiderealRateAndAlignsOnTheStar) {
  ASSERT_EQ(Create(1), 0);
  const double ha = -0.3, dec = 0.3;
  const uint32_t start = platform::Now();
  ASSERT_EQ(GotoSky(ha, dec), 0);
  ASSERT_TRUE(WaitFor([] { return (g_mount->Published().MountState() & 2) != 0; }));
  // Tracking: axis 0 at the sidereal rate, 00 3C 00, positive in the north;
  // the follower then runs it a step faster or slower at times (60 steps of
  // 1/4"/s are 15.000"/s against the sky's 15.041"/s).
  const auto rates = Sent(0, 0x06);
  const auto plain = std::find_if(rates.begin(), rates.end(), [](const auto& r) {
    return r.data == Bytes{0x00, 0x3C, 0x00};
  });
  ASSERT_NE(plain, rates.end());
  for (auto r = plain; r != rates.end(); ++r) {
    EXPECT_EQ(r->data[0], 0x00);
    EXPECT_NEAR(r->data[1], 0x3C, 2);
  }
  EXPECT_NEAR(emu->RateWireValue(0), 60 * 256, 2 * 256);
  EXPECT_LT(DistanceFromTarget({ha, dec}, start), Deg(0.1));

  ASSERT_EQ(SetTracking(0), 0);
  ExpectOneStarAlignmentMovesTheSky();
}

}  // namespace
}  // namespace sidera::testing
