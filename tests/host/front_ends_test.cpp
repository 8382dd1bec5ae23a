// The front ends on the equatorial simulator share one sky frame: the shared
// snapshot's readings and the Alpaca server's SiderealTime give ERFA's local
// apparent sidereal time (computed here another way, mean sidereal time plus
// the equation of the equinoxes), and for one target, time and site the
// three front ends command the same axes.
#include <erfa.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "alpaca/telescope.h"
#include "host/mount_snapshot.h"
#include "host/mount_worker.h"
#include "host/sky_coordinates.h"
#include "host/sky_frame.h"
#include "host/targets.h"
#include "indi/mount_session.h"
#include "sidera/api/mount_access.h"
#include "sidera/core/telescope_mount.h"

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
  // The shared snapshot, which times the INDI driver's polls and the Alpaca
  // server's readings.
  const MountSnapshot poll = ReadMount(clock, kLongitude, true);
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

// The sky target the library was last given a goto to, on the axes.
AxisPair CommandedAxes() {
  const CurrentMount mount;
  AxisPair axes{};
  EXPECT_EQ(SkyToAxes(mount->Published().GotoTarget(), &axes), 0);
  return axes;
}

double ArcsecApart(const AxisPair& a, const AxisPair& b) {
  return std::max(std::fabs(WrapPi(a.axis0 - b.axis0)), std::fabs(WrapPi(a.axis1 - b.axis1))) *
         kArcsecPerRadian;
}

// For one target, time and site: the host program's route (catalogue place
// to the local sky, GotoSky), the INDI driver's (EQUATORIAL_EOD_COORD) and
// the Alpaca server's (SlewToCoordinates, topocentric) command the same
// axes. The INDI and Alpaca clients send the target's topocentric place of
// date, as a planetarium program does.
TEST(FrontEnds, TheThreeCommandTheSameAxes) {
  const Observer site{Radians(kLatitude), Radians(kLongitude), kElevation};
  // Sky clocks that move a thousandth of real time: 1 ms of sky a second.
  const SkyClock clock(0.001, kUtc, SkyClock::Steady::now());
  alpaca::ServerConfig config;
  config.site = alpaca::SiteSetting{kLatitude, kLongitude, kElevation};
  alpaca::Telescope telescope(config, ConfigPath(), 0.001);
  telescope.SetUtc(kUtc);
  telescope.SetConnected(1, true);
  indi::MountSession indiSession;  // drives the same library mount once connected
  int checked = 0;
  for (const char* name : {"Vega", "Arcturus", "Deneb", "Altair", "Spica", "M13", "Antares"}) {
    NamedTarget target;
    ASSERT_TRUE(FindTarget(name, &target)) << name;
    const LocalPlace local = LocalOf(target.PlaceAt(kUtc), site, kUtc);
    if (HorizontalOf(local.hourAngle, local.declination, site.latitude).altitude < Radians(20)) {
      continue;
    }
    const double raHours =
        RightAscensionHoursOf(local.hourAngle, LocalApparentSiderealTime(site, kUtc));
    const double decDegrees = Degrees(local.declination);

    ASSERT_EQ(GotoSky(local.hourAngle, local.declination), 0) << name;
    const AxisPair catalogue = CommandedAxes();
    ASSERT_EQ(host::StopEverything(), 0);

    telescope.SlewToSky(raHours, decDegrees);
    const AxisPair alpacaAxes = CommandedAxes();
    telescope.AbortSlew();

    const indi::GotoStart started = indiSession.Goto(clock, kLongitude, raHours, decDegrees);
    ASSERT_TRUE(started.outcome.ok()) << started.outcome.text;
    const AxisPair indiAxes = CommandedAxes();
    ASSERT_EQ(host::StopEverything(), 0);

    EXPECT_LT(ArcsecApart(alpacaAxes, catalogue), 0.1) << name;
    EXPECT_LT(ArcsecApart(indiAxes, catalogue), 0.1) << name;
    ++checked;
  }
  EXPECT_GE(checked, 2) << "targets above 20 degrees";
  telescope.SetConnected(1, false);
  std::remove(ConfigPath().c_str());
}

}  // namespace
}  // namespace sidera::host
