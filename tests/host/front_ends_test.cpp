// The front ends on the equatorial simulator share one sky frame: the INDI
// driver's polls and the Alpaca server's SiderealTime give ERFA's local
// apparent sidereal time (computed here another way, mean sidereal time plus
// the equation of the equinoxes), and for one target, time and site the
// Alpaca server and the host program's catalogue route point the axes alike.
#include <erfa.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "alpaca/telescope.h"
#include "host/sky_coordinates.h"
#include "host/sky_frame.h"
#include "host/targets.h"
#include "indi/mount_session.h"

namespace sidera::host {
namespace {

constexpr int64_t kUtc = 1781500000000;  // 2026-06-15
constexpr double kLatitude = 34.2, kLongitude = -118.1, kElevation = 1700;
// Sidereal seconds of time in a radian.
constexpr double kSecondsPerRadian = 86400.0 / kTwoPi;

double ErfaLast(int64_t utc, double longitudeDegrees) {
  double u1 = 0, u2 = 0, tai1 = 0, tai2 = 0, tt1 = 0, tt2 = 0;
  UtcJulianDate(utc, &u1, &u2);
  eraUtctai(u1, u2, &tai1, &tai2);
  eraTaitt(tai1, tai2, &tt1, &tt2);
  return eraAnp(eraGmst06(u1, u2, tt1, tt2) + eraEe06a(tt1, tt2) + Radians(longitudeDegrees));
}

std::string ConfigPath() {
  return std::string(::testing::TempDir()) + "front_ends_" + std::to_string(getpid()) + ".json";
}

TEST(FrontEnds, SiderealTimeIsErfasLocalApparentOne) {
  // The sky clock at a thousandth of real time: it moves 1 ms a second.
  const SkyClock clock(0.001, kUtc, SkyClock::Steady::now());
  indi::MountSession session;
  indi::ConnectRequest request;
  request.site = {kLatitude, kLongitude, kElevation};
  ASSERT_TRUE(session.Connect(request).outcome.ok());
  const indi::PollResult poll = session.Poll(clock, kLongitude);
  session.Disconnect();
  // 0.01 s of time; the clock moves under 0.001 s while the test runs.
  EXPECT_NEAR(WrapPi(poll.lst - ErfaLast(kUtc, kLongitude)) * kSecondsPerRadian, 0.0, 0.01);

  alpaca::ServerConfig config;
  config.site = alpaca::SiteSetting{kLatitude, kLongitude, kElevation};
  alpaca::Telescope telescope(config, ConfigPath(), 0.001);
  // What the SiderealTime member reports, in radians.
  EXPECT_NEAR(
      WrapPi(telescope.LocalSiderealTime(kUtc) - ErfaLast(kUtc, kLongitude)) * kSecondsPerRadian,
      0.0, 0.01);
  std::remove(ConfigPath().c_str());
}

TEST(FrontEnds, AlpacaAndTheCatalogueRoutePointTheAxesAlike) {
  alpaca::ServerConfig config;
  config.site = alpaca::SiteSetting{kLatitude, kLongitude, kElevation};
  alpaca::Telescope telescope(config, ConfigPath(), 0.001);
  telescope.SetUtc(kUtc);
  telescope.SetConnected(1, true);
  const Observer site{Radians(kLatitude), Radians(kLongitude), kElevation};
  for (const char* name : {"Vega", "Arcturus", "M13"}) {
    NamedTarget target;
    ASSERT_TRUE(FindTarget(name, &target)) << name;
    const int64_t utc = telescope.UtcNow();
    // The host program's route: catalogue place to the local sky.
    const LocalPlace local = LocalOf(target.PlaceAt(utc), site, utc);
    AxisPair catalogueAxes{};
    ASSERT_EQ(SkyToAxes(SkyPoint{local.hourAngle, local.declination}, &catalogueAxes), 0);
    // An Alpaca client's topocentric place of date for the same direction.
    const double raHours =
        RightAscensionHoursOf(local.hourAngle, LocalApparentSiderealTime(site, utc));
    const AxisPair alpacaAxes = telescope.AxesFor(raHours, Degrees(local.declination));
    EXPECT_NEAR(WrapPi(alpacaAxes.axis0 - catalogueAxes.axis0) * kArcsecPerRadian, 0.0, 0.1)
        << name;
    EXPECT_NEAR(WrapPi(alpacaAxes.axis1 - catalogueAxes.axis1) * kArcsecPerRadian, 0.0, 0.1)
        << name;
  }
  telescope.SetConnected(1, false);
  std::remove(ConfigPath().c_str());
}

}  // namespace
}  // namespace sidera::host
