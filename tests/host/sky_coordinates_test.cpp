// The sky frame and the rules every front end shares: apparent sidereal
// time and the way between J2000 and places of date (against ERFA's
// equinox-based routines, computed another way), right ascension and hour
// angle, horizontal coordinates, pier side, target checks, and the rates of
// direction buttons and guide pulses.
#include "host/sky_coordinates.h"

#include <erfa.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "host/motion_rates.h"
#include "host/sky_angles.h"
#include "host/sky_frame.h"

namespace sidera::host {
namespace {

constexpr double kOmega = kSiderealRate;
constexpr double kArcsec = kPi / 180.0 / 3600.0;

// 2026-03-20T21:30:00Z and 1999-12-31T12:00:00Z: one date near now, one at J2000.
constexpr int64_t kInstants[] = {1774042200000, 946641600000};

// The local apparent sidereal time is Greenwich mean sidereal time plus the
// equation of the equinoxes (IAU 2006/2000A) plus the longitude.
TEST(SkyFrame, LocalApparentSiderealTimeIsTheEquinoxBasedOne) {
  for (const int64_t when : kInstants) {
    for (const double longitude : {-122.4, 0.0, 7.5, 151.2}) {
      double u1 = 0, u2 = 0, tai1 = 0, tai2 = 0, tt1 = 0, tt2 = 0;
      UtcJulianDate(when, &u1, &u2);
      eraUtctai(u1, u2, &tai1, &tai2);
      eraTaitt(tai1, tai2, &tt1, &tt2);
      const double want =
          eraAnp(eraGmst06(u1, u2, tt1, tt2) + eraEe06a(tt1, tt2) + Radians(longitude));
      const double got = LocalApparentSiderealTimeAt(longitude, when);
      // 0.001 s of time.
      EXPECT_NEAR(WrapPi(got - want), 0.0, 0.001 * kTwoPi / 86400.0) << when << " " << longitude;
      EXPECT_GE(got, 0.0);
      EXPECT_LT(got, kTwoPi);
    }
  }
}

// The frames meet: an apparent right ascension of date with the local
// apparent sidereal time gives the hour angle that the catalogue route to the
// local sky gives (they differ only by the diurnal aberration, under 0.35"),
// and the way back to J2000 undoes the way there.
TEST(SkyFrame, J2000AndApparentPlacesOfDateMeetTheLocalSky) {
  const IcrsDirection stars[] = {{Radians(279.2347), Radians(38.7837)},  // Vega
                                 {Radians(37.9529), Radians(89.2641)},   // Polaris
                                 {Radians(95.9880), Radians(-52.6957)},  // Canopus
                                 {Radians(359.9), Radians(-0.5)}};
  const Observer site{Radians(48.2), Radians(16.4), 180.0};
  for (const int64_t when : kInstants) {
    const double lst = LocalApparentSiderealTime(site, when);
    for (const IcrsDirection& star : stars) {
      const IcrsDirection apparent = ApparentOfJ2000(star, when);
      const LocalPlace local =
          LocalOf(CataloguePlace{star.rightAscension, star.declination, 0, 0, 0}, site, when);
      EXPECT_NEAR(Separation(lst - apparent.rightAscension, apparent.declination, local.hourAngle,
                             local.declination),
                  0.0, 0.35 * kArcsec);
      // Precession alone moves a star by 20" a year: the two frames differ.
      if (when != kInstants[1]) {
        EXPECT_GT(Separation(apparent.rightAscension, apparent.declination, star.rightAscension,
                             star.declination),
                  100 * kArcsec);
      }
      const IcrsDirection back = J2000OfApparent(apparent, when);
      EXPECT_NEAR(
          Separation(back.rightAscension, back.declination, star.rightAscension, star.declination),
          0.0, 0.001 * kArcsec);
    }
  }
}

TEST(SkyHelpers, HorizontalConversionsGoBothWays) {
  // East of the meridian is azimuth 90 degrees; the celestial equator
  // crosses the meridian at 90 - latitude in the south.
  const Horizontal east = HorizontalOf(-kPi / 2, 0, Radians(40));
  EXPECT_NEAR(Degrees(east.azimuth), 90, 1e-9);
  EXPECT_NEAR(Degrees(HorizontalOf(0, 0, Radians(40)).altitude), 50, 1e-9);
  for (double az : {10.0, 95.0, 200.0, 350.0}) {
    for (double alt : {-20.0, 5.0, 60.0}) {
      const HourAngleDec e = EquatorialOfHorizontal(Radians(az), Radians(alt), Radians(-33));
      const Horizontal h = HorizontalOf(e.hourAngle, e.declination, Radians(-33));
      EXPECT_NEAR(Degrees(WrapTwoPi(h.azimuth)), az, 1e-9);
      EXPECT_NEAR(Degrees(h.altitude), alt, 1e-9);
    }
  }
}

// Hour angles, right ascensions and azimuths are checked through the INDI
// server against places the test computes itself; arrival checks also need
// arc-second separations to stay exact.
TEST(SkyCoordinates, SeparationsStayExactAtArcSeconds) {
  EXPECT_NEAR(Separation(0.0, 0.0, 1e-7, 0.0), 1e-7, 1e-16);
  EXPECT_NEAR(
      Separation(0.0, 1.0, 2.0, 1.0),
      std::acos(std::sin(1.0) * std::sin(1.0) + std::cos(1.0) * std::cos(1.0) * std::cos(2.0)),
      1e-12);
}

// What the client is told is checked through the INDI server.
TEST(SkyCoordinates, TargetsOutsideTheSkyAreRefused) {
  const struct {
    double ra, dec;
    bool ok;
  } cases[] = {{0, -90, true},      {24, 90, true},   {12.5, 41.2, true},
               {25, 0, false},      {-0.1, 0, false}, {12, 100, false},
               {12, -90.01, false}, {NAN, 0, false},  {1, NAN, false}};
  for (const auto& c : cases) {
    const std::string problem = TargetProblem(c.ra, c.dec);
    EXPECT_EQ(problem.empty(), c.ok) << c.ra << " " << c.dec << ": " << problem;
  }
}

TEST(SkyCoordinates, PierSideFollowsTheDeclinationAxisAndHemisphere) {
  const struct {
    double axis1, latitude;
    PierSide side;
  } cases[] = {{0.3, 0.6, PierSide::West},
               {kPi - 0.3, 0.6, PierSide::East},
               {-3.0, 0.6, PierSide::East},
               {0.3, -0.6, PierSide::East},
               {kPi - 0.3, -0.6, PierSide::West}};
  for (const auto& c : cases) EXPECT_EQ(PierSideOf(c.axis1, c.latitude), c.side) << c.axis1;
}

TEST(MotionRates, DirectionButtonsPickAxisAndSign) {
  const MountGeometry north{true, false, false}, northFar{true, false, true};
  const MountGeometry south{true, true, false}, southFar{true, true, true};
  const MountGeometry altAz{false, false, false};
  const struct {
    MountGeometry g;
    Direction d;
    double tracking;  // multiples of the sidereal rate
    int axis;
    double rate;  // multiples of the sidereal rate
  } cases[] = {
      {north, Direction::North, 0, 1, 8},   {northFar, Direction::North, 0, 1, -8},
      {south, Direction::North, 0, 1, -8},  {southFar, Direction::North, 0, 1, 8},
      {north, Direction::South, 1, 1, -8},  {north, Direction::West, 1, 0, 9},
      {north, Direction::East, 1, 0, -7},   {south, Direction::West, 1, 0, -9},
      {southFar, Direction::East, 0, 0, 8}, {altAz, Direction::North, 1, 1, 8},
      {altAz, Direction::West, 1, 0, 8},    {altAz, Direction::East, 0, 0, -8},
  };
  for (const auto& c : cases) {
    const AxisRate r = ManualMotion(c.g, c.d, 8 * kOmega, c.tracking * kOmega);
    EXPECT_EQ(r.axis, c.axis);
    EXPECT_NEAR(r.rate / kOmega, c.rate, 1e-9) << static_cast<int>(c.d);
  }
  EXPECT_NEAR(ManualMotion(north, Direction::West, 1e4 * kOmega, 0).rate, kMaxAxisRate, 1e-15);
}

TEST(MotionRates, GuidePulsesBecomeAxisRates) {
  const MountGeometry north{true, false, false}, northFar{true, false, true};
  const MountGeometry altAz{false, false, false};
  const Jacobian tilted{{{2.0, 0.5}, {0.1, 1.0}}};
  const struct {
    MountGeometry g;
    Jacobian j;
    GuideOffsets o;  // multiples of the sidereal rate
    double tracking;
    bool drive0, drive1;
    double rate0, rate1;
  } cases[] = {
      {north, EquatorialJacobian(north), {0.5, 0}, 1, true, false, 1.5, 0},
      {north, EquatorialJacobian(north), {-0.5, 0}, 1, true, false, 0.5, 0},
      {northFar, EquatorialJacobian(northFar), {0, 0.5}, 1, false, true, 0, -0.5},
      {north, EquatorialJacobian(north), {0.5, -0.5}, 0, true, true, 0.5, -0.5},
      {altAz, tilted, {0.5, 0}, 1, true, true, 3.0, 0.15},
      {altAz, tilted, {0, 0.5}, 1, true, true, 2.25, 0.6},
      {altAz, tilted, {0, 0}, 1, false, false, 0, 0},
  };
  for (const auto& c : cases) {
    const GuidePlan p =
        PlanGuide(c.g, c.j, {c.o.west * kOmega, c.o.north * kOmega}, c.tracking * kOmega);
    EXPECT_EQ(p.drive, (std::array<bool, 2>{c.drive0, c.drive1}));
    EXPECT_NEAR(p.rate[0] / kOmega, c.rate0, 1e-9);
    EXPECT_NEAR(p.rate[1] / kOmega, c.rate1, 1e-9);
  }
}

TEST(MotionRates, NumericJacobianFoldsTheAzimuthSeam) {
  // Axis 0 crosses +-pi at this point; the fold keeps the derivative at 2.
  const auto model = [](SkyPoint p) {
    return AxisPair{WrapPi(3.0 + 2.0 * p.hourAngle + p.declination), 0.5 * p.declination};
  };
  const Jacobian j = NumericJacobian(model, SkyPoint{0.0708, 0.0});
  EXPECT_NEAR(j.m[0][0], 2.0, 1e-6);
  EXPECT_NEAR(j.m[0][1], 1.0, 1e-6);
  EXPECT_NEAR(j.m[1][0], 0.0, 1e-6);
  EXPECT_NEAR(j.m[1][1], 0.5, 1e-6);
}

}  // namespace
}  // namespace sidera::host
