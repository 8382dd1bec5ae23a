// End to end through INDI: indiserver runs indi_sidera_telescope on a loopback
// port and the tests speak INDI's XML protocol to it, as KStars, Ekos or PHD2
// would: connecting models, gotos, syncs, tracking, parking, guide pulses,
// refusals, a controller that dies mid-goto, and a chained second server.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "indi/sky_clock.h"
#include "indi/sky_coordinates.h"
#include "tests/indi/indi_client.h"
#include "tests/indi/test_processes.h"

namespace sidera::indi::test {
namespace {

using Steady = std::chrono::steady_clock;

constexpr double kLatitude = 34.2;
constexpr double kLongitude = 241.94;  // degrees east
constexpr double kScale = 10.0;        // sky seconds per real second
constexpr const char* kUtc = "2026-03-20T06:00:00";
const int64_t kUtcMillis = UtcMillisOf(2026, 3, 20, 6, 0, 0.0);
constexpr double kArcsecPerHour = 15.0 * 3600.0;
const double kSiderealArcsecPerSecond = kSiderealRate * kArcsecPerRadian;

// Greenwich mean sidereal time in hours: the linear form of the IAU 1982
// expression, good to a fraction of a second this century.
double GmstHours(int64_t utcMillis) {
  const double days = static_cast<double>(utcMillis) / 86400000.0 - 10957.5;  // from J2000.0
  const double h = std::fmod(18.697374558 + 24.06570982441908 * days, 24.0);
  return h < 0 ? h + 24.0 : h;
}

double Wrap24(double h) { return h - 24.0 * std::floor(h / 24.0); }

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// Arc-seconds between two positions in hours and degrees.
double ApartArcsec(double ra1, double dec1, double ra2, double dec2) {
  return Separation(ra1 / 12 * kPi, Radians(dec1), ra2 / 12 * kPi, Radians(dec2)) *
         kArcsecPerRadian;
}

// A sanitizer report from the driver (in an ASan+UBSan build) in a server's log.
bool SanitizerReport(const std::string& log) {
  return log.find("Sanitizer") != std::string::npos ||
         log.find("runtime error:") != std::string::npos;
}

class DriverTest : public ::testing::Test {
 protected:
  void TearDown() override {
    client_.Close();
    server_.Stop();
    const std::string log = server_.Log();
    EXPECT_FALSE(SanitizerReport(log)) << log;
  }
  void StartServer() {
    ASSERT_TRUE(server_.Start({DRIVER_PROGRAM}, Environment(), home_.path()));
    ASSERT_TRUE(client_.Connect(server_.port()));
    ASSERT_TRUE(client_.WaitFor(
        "CONNECTION", [](const IndiUpdate&) { return true; }, 5, 0));
  }
  std::vector<std::string> Environment() const {
    return {"HOME=" + home_.path(), "SIDERA_CLOCK_SCALE=" + std::to_string(kScale), "LC_ALL=C"};
  }

  // Chooses `model` (and `device`), connects, and gives the site and time.
  IndiUpdate ConnectMount(int model, const std::string& device = "") {
    client_.SetSwitch("MOUNT_MODEL", {{"MODEL_" + std::to_string(model), true}});
    client_.SetText("DEVICE_PORT", {{"PORT", device}});
    const size_t mark = client_.Mark();
    client_.SetSwitch("CONNECTION", {{"CONNECT", true}});
    const auto done = client_.WaitFor(
        "CONNECTION", [](const IndiUpdate& u) { return u.state == "Ok" || u.state == "Alert"; }, 15,
        mark);
    if (!done) return IndiUpdate{};
    if (done->state == "Ok") {
      client_.SetNumber("POLLING_PERIOD", {{"PERIOD_MS", 100}});
      client_.SetNumber("GEOGRAPHIC_COORD",
                        {{"LAT", kLatitude}, {"LONG", kLongitude}, {"ELEV", 1700}});
      client_.SetText("TIME_UTC", {{"UTC", kUtc}, {"OFFSET", "0"}});
      timeSet_ = Steady::now();
      client_.WaitFor("TIME_UTC", StateIs("Ok"), 5, mark);
    }
    return *done;
  }
  void Disconnect() {
    const size_t mark = client_.Mark();
    client_.SetSwitch("CONNECTION", {{"DISCONNECT", true}});
    ASSERT_TRUE(client_.WaitFor(
        "CONNECTION", [](const IndiUpdate& u) { return u.On("DISCONNECT"); }, 10, mark));
  }

  // Local sidereal time now on the driver's sky clock, hours.
  double LstHours() const {
    const std::chrono::duration<double, std::milli> real = Steady::now() - timeSet_;
    return Wrap24(GmstHours(kUtcMillis + std::llround(real.count() * kScale)) + kLongitude / 15);
  }
  double RaAt(double hourAngleHours) const { return Wrap24(LstHours() - hourAngleHours); }

  // Sends a goto (or sync, with ON_COORD_SET at SYNC) and waits for its end.
  IndiUpdate Send(double ra, double dec, const std::string& ends, double seconds = 40) {
    const size_t mark = client_.Mark();
    client_.SetNumber("EQUATORIAL_EOD_COORD", {{"RA", ra}, {"DEC", dec}});
    const auto done = client_.WaitFor(
        "EQUATORIAL_EOD_COORD",
        [&](const IndiUpdate& u) {
          return u.state == "Alert" || u.message.find(ends) != std::string::npos;
        },
        seconds, mark);
    return done ? *done : IndiUpdate{};
  }
  IndiUpdate Goto(double ra, double dec) { return Send(ra, dec, "Goto complete"); }
  IndiUpdate Position() { return client_.Latest("EQUATORIAL_EOD_COORD"); }
  // Waits out a few polls, so the latest position is fresh.
  IndiUpdate SettledPosition() {
    Sleep(0.4);
    return Position();
  }
  // How fast the reported right ascension changes, arc-seconds per sky second.
  double RaDrift(double realSeconds) {
    const IndiUpdate a = SettledPosition();
    const auto t0 = Steady::now();
    Sleep(realSeconds);
    const IndiUpdate b = Position();
    const double sky = std::chrono::duration<double>(Steady::now() - t0).count() * kScale;
    double hours = b.Number("RA") - a.Number("RA");
    if (hours < -12) hours += 24;
    return hours * kArcsecPerHour / sky;
  }
  bool SetAndWait(const std::string& property, const std::map<std::string, bool>& elements,
                  const std::function<bool(const IndiUpdate&)>& done, double seconds = 40) {
    const size_t mark = client_.Mark();
    client_.SetSwitch(property, elements);
    return client_.WaitFor(property, done, seconds, mark).has_value();
  }

  TempDir home_;
  IndiServer server_;
  IndiClient client_;
  Steady::time_point timeSet_ = Steady::now();
};

class SimulatorTest : public DriverTest, public ::testing::WithParamInterface<int> {};

// Model 6 (equatorial) and 7 (alt-azimuth) through a night's basic steps.
TEST_P(SimulatorTest, GotoTrackParkAndReconnect) {
  const int model = GetParam();
  const bool equatorial = model == 6;
  StartServer();
  const size_t start = client_.Mark();
  ASSERT_EQ(ConnectMount(model).state, "Ok") << client_.Messages(start);
  EXPECT_TRUE(client_.WaitForMessage(
      equatorial ? "Connected to EQ Mount Simulator" : "Connected to Alt/Az Mount Simulator", 2,
      start));

  // A goto to a star's JNow place lands within the goto tolerance and tracks.
  const double ra = RaAt(-2.0);
  const IndiUpdate arrived = Goto(ra, 20.0);
  ASSERT_EQ(arrived.state, "Ok") << client_.Messages(start);
  IndiUpdate p = SettledPosition();
  EXPECT_LT(ApartArcsec(p.Number("RA"), p.Number("DEC"), ra, 20.0), 3.5 * 60);
  EXPECT_TRUE(client_.Latest("TELESCOPE_TRACK_STATE").On("TRACK_ON"));

  // The horizontal readout agrees with the equatorial one.
  const double h = Radians((LstHours() - p.Number("RA")) * 15);
  const double d = Radians(p.Number("DEC"));
  const double phi = Radians(kLatitude);
  const double alt =
      std::asin(std::sin(phi) * std::sin(d) + std::cos(phi) * std::cos(d) * std::cos(h));
  const double az =
      std::atan2(-std::cos(d) * std::sin(h),
                 std::sin(d) * std::cos(phi) - std::cos(d) * std::cos(h) * std::sin(phi));
  const IndiUpdate horizontal = client_.Latest("HORIZONTAL_COORD");
  EXPECT_NEAR(horizontal.Number("ALT"), Degrees(alt), 0.1);
  EXPECT_NEAR(horizontal.Number("AZ"), Degrees(WrapTwoPi(az)), 0.1);
  EXPECT_EQ(client_.Latest("TELESCOPE_PIER_SIDE").On("PIER_WEST"), equatorial);

  EXPECT_NEAR(RaDrift(2.0), 0.0, equatorial ? 0.2 : 1.0);
  ASSERT_TRUE(SetAndWait("TELESCOPE_TRACK_STATE", {{"TRACK_OFF", true}}, StateIs("Idle")));
  EXPECT_NEAR(RaDrift(3.0), kSiderealArcsecPerSecond, 0.1 * kSiderealArcsecPerSecond);
  if (equatorial) {
    // Lunar tracking leaves the stars behind at the Moon's pace.
    ASSERT_TRUE(SetAndWait("TELESCOPE_TRACK_MODE", {{"TRACK_LUNAR", true}}, StateIs("Ok")));
    ASSERT_TRUE(SetAndWait("TELESCOPE_TRACK_STATE", {{"TRACK_ON", true}}, StateIs("Busy")));
    EXPECT_NEAR(RaDrift(4.0), (1 - 86164.09065 / 89460.0) * kSiderealArcsecPerSecond, 0.1);
    ASSERT_TRUE(SetAndWait("TELESCOPE_TRACK_MODE", {{"TRACK_SIDEREAL", true}}, StateIs("Ok")));
  }

  // Abort stops a goto half way, tracking included.
  size_t mark = client_.Mark();
  client_.SetNumber("EQUATORIAL_EOD_COORD", {{"RA", RaAt(3.0)}, {"DEC", -10.0}});
  ASSERT_TRUE(client_.WaitFor("EQUATORIAL_EOD_COORD", StateIs("Busy"), 5, mark));
  Sleep(0.5);
  mark = client_.Mark();
  client_.SetSwitch("TELESCOPE_ABORT_MOTION", {{"ABORT", true}});
  EXPECT_TRUE(client_.WaitFor("TELESCOPE_ABORT_MOTION", StateIs("Ok"), 5, mark));
  EXPECT_TRUE(client_.WaitFor("EQUATORIAL_EOD_COORD", StateIs("Idle"), 5, mark))
      << client_.Messages(mark);
  EXPECT_TRUE(client_.Latest("TELESCOPE_TRACK_STATE").On("TRACK_OFF"));
  p = SettledPosition();
  EXPECT_GT(ApartArcsec(p.Number("RA"), p.Number("DEC"), RaAt(3.0), -10.0), 5 * 3600.0);

  // Park at the home position; motion is refused until unparked.
  ASSERT_TRUE(SetAndWait("TELESCOPE_PARK", {{"PARK", true}}, [](const IndiUpdate& u) {
    return u.state == "Ok" && u.On("PARK");
  })) << client_.Messages(mark);
  Sleep(0.3);
  if (equatorial) {
    EXPECT_NEAR(Position().Number("DEC"), 90.0, 0.01);
  } else {
    EXPECT_NEAR(client_.Latest("HORIZONTAL_COORD").Number("ALT"), 0.0, 0.01);
    EXPECT_NEAR(std::remainder(client_.Latest("HORIZONTAL_COORD").Number("AZ"), 360.0), 0.0, 0.01);
  }
  EXPECT_NE(Goto(RaAt(-1.0), 10.0).message.find("parked"), std::string::npos);
  ASSERT_TRUE(SetAndWait("TELESCOPE_PARK", {{"UNPARK", true}},
                         [](const IndiUpdate& u) { return u.On("UNPARK"); }));

  // Disconnect and connect again; a goto with ON_COORD_SET at SLEW leaves
  // tracking off.
  Disconnect();
  mark = client_.Mark();
  ASSERT_EQ(ConnectMount(model).state, "Ok") << client_.Messages(mark);
  client_.SetSwitch("ON_COORD_SET", {{"SLEW", true}});
  EXPECT_EQ(Goto(RaAt(-1.0), 10.0).state, "Idle") << client_.Messages(mark);
  EXPECT_TRUE(client_.Latest("TELESCOPE_TRACK_STATE").On("TRACK_OFF"));
  EXPECT_NEAR(RaDrift(1.5), kSiderealArcsecPerSecond, 0.15 * kSiderealArcsecPerSecond);
}

INSTANTIATE_TEST_SUITE_P(Models, SimulatorTest, ::testing::Values(6, 7));

// Two syncs make a two-star alignment, which a later goto uses and a later
// connection (even of a restarted driver) reloads.
TEST_F(DriverTest, SyncsBuildAnAlignmentThatIsKept) {
  StartServer();
  const size_t start = client_.Mark();
  ASSERT_EQ(ConnectMount(6).state, "Ok");
  const struct {
    double ha, dec;    // where to go
    double dRa, dDec;  // where the star really is, hours and degrees from there
  } stars[] = {{-2.0, 20.0, 0.02, 0.3}, {1.5, -5.0, -0.015, -0.2}};
  double syncRa[2], syncDec[2];
  for (int i = 0; i < 2; ++i) {
    const double ra = RaAt(stars[i].ha);
    ASSERT_EQ(Goto(ra, stars[i].dec).state, "Ok") << client_.Messages(start);
    syncRa[i] = Wrap24(ra + stars[i].dRa);
    syncDec[i] = stars[i].dec + stars[i].dDec;
    client_.SetSwitch("ON_COORD_SET", {{"SYNC", true}});
    const IndiUpdate synced = Send(syncRa[i], syncDec[i], "Synced on");
    client_.SetSwitch("ON_COORD_SET", {{"TRACK", true}});
    ASSERT_EQ(synced.state, "Ok") << client_.Messages(start);
    EXPECT_NE(synced.message.find(std::to_string(i + 1) + "-star alignment"), std::string::npos)
        << synced.message;
    const IndiUpdate p = SettledPosition();
    EXPECT_LT(ApartArcsec(p.Number("RA"), p.Number("DEC"), syncRa[i], syncDec[i]), 5.0);
  }
  IndiUpdate alignment = client_.Latest("SIDERA_ALIGNMENT");
  EXPECT_EQ(alignment.Number("STARS"), 2);
  EXPECT_EQ(alignment.Number("QUALITY"), 100);

  // The aligned model brings the first star back within the goto tolerance.
  ASSERT_EQ(Goto(syncRa[0], syncDec[0]).state, "Ok");
  IndiUpdate p = SettledPosition();
  EXPECT_LT(ApartArcsec(p.Number("RA"), p.Number("DEC"), syncRa[0], syncDec[0]), 2.5 * 60);

  // The alignment comes back with the next connection and the next driver.
  for (bool restart : {false, true}) {
    Disconnect();
    if (restart) {
      server_.Stop();
      StartServer();
    }
    const size_t mark = client_.Mark();
    ASSERT_EQ(ConnectMount(6).state, "Ok");
    EXPECT_TRUE(client_.WaitForMessage("saved alignment is in use", 3, mark))
        << client_.Messages(mark);
    EXPECT_TRUE(client_.WaitFor(
        "SIDERA_ALIGNMENT", [](const IndiUpdate& u) { return u.Number("QUALITY") == 100; }, 3,
        mark));
  }
}

class GuideTest : public DriverTest, public ::testing::WithParamInterface<int> {};

// Guide pulses move the reported position by guide rate times duration, on
// an equatorial mount and on an alt-azimuth one (which moves both axes).
TEST_P(GuideTest, PulsesMoveByTheGuideRate) {
  StartServer();
  const size_t start = client_.Mark();
  ASSERT_EQ(ConnectMount(GetParam()).state, "Ok");
  ASSERT_EQ(Goto(RaAt(-1.0), 10.0).state, "Ok") << client_.Messages(start);
  const struct {
    const char* property;
    const char* element;
    double ms;
    double dRa, dDec;  // expected arc-seconds on the sky, at half the sidereal rate
  } pulses[] = {
      {"TELESCOPE_TIMED_GUIDE_WE", "TIMED_GUIDE_W", 2000, -1, 0},
      {"TELESCOPE_TIMED_GUIDE_WE", "TIMED_GUIDE_E", 1000, 0.5, 0},
      {"TELESCOPE_TIMED_GUIDE_NS", "TIMED_GUIDE_N", 2000, 0, 1},
      {"TELESCOPE_TIMED_GUIDE_NS", "TIMED_GUIDE_S", 1000, 0, -0.5},
  };
  const double unit = 0.5 * kSiderealArcsecPerSecond * 2.0;  // 2 s at 0.5x
  for (const auto& pulse : pulses) {
    const IndiUpdate before = SettledPosition();
    const size_t mark = client_.Mark();
    client_.SetNumber(pulse.property, {{pulse.element, pulse.ms}});
    ASSERT_TRUE(client_.WaitFor(pulse.property, StateIs("Idle"), 5, mark))
        << client_.Messages(mark);
    const IndiUpdate after = SettledPosition();
    const double dRa = (after.Number("RA") - before.Number("RA")) * kArcsecPerHour *
                       std::cos(Radians(after.Number("DEC")));
    const double dDec = (after.Number("DEC") - before.Number("DEC")) * 3600.0;
    std::printf("pulse %s %.0f ms: RA %+.2f\" Dec %+.2f\" (expected %+.2f\", %+.2f\")\n",
                pulse.element, pulse.ms, dRa, dDec, pulse.dRa * unit, pulse.dDec * unit);
    EXPECT_NEAR(dRa, pulse.dRa * unit, 0.15 * unit) << pulse.element;
    EXPECT_NEAR(dDec, pulse.dDec * unit, 0.15 * unit) << pulse.element;
  }
}

INSTANTIATE_TEST_SUITE_P(Models, GuideTest, ::testing::Values(6, 7));

// Refused values put the property in Alert with a message saying why, and the
// driver goes on serving.
TEST_F(DriverTest, BadValuesAlertAndTheDriverKeepsServing) {
  StartServer();
  size_t mark = client_.Mark();
  IndiUpdate c = ConnectMount(1);
  EXPECT_EQ(c.state, "Alert");
  EXPECT_NE(c.message.find("DEVICE_PORT"), std::string::npos) << c.message;
  c = ConnectMount(1, "/dev/sidera-absent-port");
  EXPECT_EQ(c.state, "Alert");
  EXPECT_NE(c.message.find("No such file or directory"), std::string::npos) << c.message;
  EXPECT_NE(c.message.find("(code "), std::string::npos) << c.message;

  ASSERT_EQ(ConnectMount(6).state, "Ok") << client_.Messages(mark);
  const struct {
    double ra, dec;
    const char* says;
  } targets[] = {{25.0, 10.0, "right ascension 25 h"},
                 {10.0, 100.0, "declination 100"},
                 {RaAt(0.0), kLatitude - 2.0, "Target position too high (code 103)"},
                 {RaAt(-5.0), -40.0, "Target position too low (code 104)"}};
  for (const auto& t : targets) {
    const IndiUpdate u = Goto(t.ra, t.dec);
    EXPECT_EQ(u.state, "Alert");
    EXPECT_NE(u.message.find(t.says), std::string::npos) << u.message;
  }
  mark = client_.Mark();
  client_.SetSwitch("MOUNT_MODEL", {{"MODEL_7", true}});
  EXPECT_TRUE(client_.WaitFor("MOUNT_MODEL", StateIs("Alert"), 5, mark));
  EXPECT_EQ(Goto(RaAt(-1.0), 10.0).state, "Ok") << client_.Messages(mark);
}

// Model 1 on the packet-bus controller emulator, including a controller that
// dies in the middle of a goto.
TEST_F(DriverTest, PacketBusMountOnTheEmulator) {
  StartServer();
  for (int round = 0; round < 2; ++round) {
    Process emulator;
    ASSERT_TRUE(
        emulator.Start({EMULATOR_PROGRAM, "--time-scale", std::to_string(kScale)}, {}, true));
    const std::string device = emulator.ReadLine(5000);
    ASSERT_FALSE(device.empty());
    size_t mark = client_.Mark();
    ASSERT_EQ(ConnectMount(1, device).state, "Ok") << client_.Messages(mark);
    const double ra = RaAt(-2.0);
    ASSERT_EQ(Goto(ra, 20.0).state, "Ok") << client_.Messages(mark);
    const IndiUpdate p = SettledPosition();
    EXPECT_LT(ApartArcsec(p.Number("RA"), p.Number("DEC"), ra, 20.0), 3.5 * 60);
    if (round == 1) break;

    // The controller goes away half way through a goto.
    mark = client_.Mark();
    client_.SetNumber("EQUATORIAL_EOD_COORD", {{"RA", RaAt(2.5)}, {"DEC", -15.0}});
    ASSERT_TRUE(client_.WaitFor("EQUATORIAL_EOD_COORD", StateIs("Busy"), 5, mark));
    Sleep(0.5);
    emulator.Signal(SIGKILL);
    const auto alert = client_.WaitFor("EQUATORIAL_EOD_COORD", StateIs("Alert"), 20, mark);
    ASSERT_TRUE(alert) << client_.Messages(mark);
    std::printf("controller lost: %s\n", alert->message.c_str());
    EXPECT_NE(alert->message.find("(code 10"), std::string::npos) << alert->message;
    // The driver still answers, and lets go of the dead mount.
    const auto t0 = Steady::now();
    Disconnect();
    EXPECT_LT(std::chrono::duration<double>(Steady::now() - t0).count(), 10.0);
  }
}

// A second indiserver chains the first; a client of the second drives the
// mount through both.
TEST_F(DriverTest, ChainedServerRelaysGotoSyncAndGuide) {
  StartServer();
  IndiServer chained;
  ASSERT_TRUE(chained.Start({"Sidera Mount@localhost:" + std::to_string(server_.port())},
                            Environment(), home_.path()));
  ASSERT_TRUE(client_.Connect(chained.port()));
  ASSERT_TRUE(client_.WaitFor(
      "CONNECTION", [](const IndiUpdate&) { return true; }, 5, 0))
      << chained.Log();
  const size_t start = client_.Mark();
  ASSERT_EQ(ConnectMount(6).state, "Ok") << client_.Messages(start);

  const double ra = RaAt(-1.5);
  const IndiUpdate arrived = Goto(ra, 25.0);
  ASSERT_EQ(arrived.state, "Ok") << client_.Messages(start);
  IndiUpdate p = SettledPosition();
  const double off = ApartArcsec(p.Number("RA"), p.Number("DEC"), ra, 25.0);
  std::printf("chained goto: %s; reported %.1f\" from the target\n", arrived.message.c_str(), off);
  EXPECT_LT(off, 3.5 * 60);

  client_.SetSwitch("ON_COORD_SET", {{"SYNC", true}});
  const IndiUpdate synced = Send(Wrap24(ra + 0.01), 25.2, "Synced on");
  client_.SetSwitch("ON_COORD_SET", {{"TRACK", true}});
  ASSERT_EQ(synced.state, "Ok") << client_.Messages(start);
  p = SettledPosition();
  std::printf("chained sync: %s; reported %.2f\" from the synced place\n", synced.message.c_str(),
              ApartArcsec(p.Number("RA"), p.Number("DEC"), Wrap24(ra + 0.01), 25.2));

  const IndiUpdate before = SettledPosition();
  const size_t mark = client_.Mark();
  client_.SetNumber("TELESCOPE_TIMED_GUIDE_NS", {{"TIMED_GUIDE_N", 2000}});
  ASSERT_TRUE(client_.WaitFor("TELESCOPE_TIMED_GUIDE_NS", StateIs("Idle"), 5, mark));
  const IndiUpdate after = SettledPosition();
  const double dDec = (after.Number("DEC") - before.Number("DEC")) * 3600.0;
  std::printf("chained pulse N 2000 ms: Dec %+.2f\" (expected %+.2f\")\n", dDec,
              kSiderealArcsecPerSecond);
  EXPECT_NEAR(dDec, kSiderealArcsecPerSecond, 0.15 * kSiderealArcsecPerSecond);
  chained.Stop();
  EXPECT_FALSE(SanitizerReport(chained.Log())) << chained.Log();
}

}  // namespace
}  // namespace sidera::indi::test
