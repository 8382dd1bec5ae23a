#include "sidera/core/transforms.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sidera/core/telescope_mount.h"
#include "tests/core_math/geometry.h"

namespace {

using namespace core_math_test;

double Deg(double d) { return d * kPi / 180.0; }

TEST(HorizontalFrame, LandmarkPositions) {
  const double lat = Deg(30.0);
  EXPECT_NEAR(sidera::AltitudeOf(lat, {0.0, lat}), kPi / 2, 1e-7);       // zenith
  EXPECT_NEAR(sidera::AzimuthOf(lat, {kPi / 2, 0.0}), -kPi / 2, 1e-15);  // due west
  EXPECT_NEAR(sidera::AzimuthOf(lat, {-kPi / 2, 0.0}), kPi / 2, 1e-15);  // due east
  EXPECT_EQ(sidera::AzimuthOf(lat, {0.0, 0.0}), -kPi);                // due south is -pi, not +pi
  EXPECT_NEAR(sidera::AzimuthOf(lat, {kPi, Deg(60.0)}), 0.0, 1e-15);  // due north
  SkyPoint z{};
  sidera::HorizontalToEquatorial(lat, z, {1.0, kPi / 2});
  EXPECT_NEAR(z.hourAngle, 0.0, 1e-12);
  EXPECT_NEAR(z.declination, lat, 1e-7);
}

// Altitude and azimuth agree with a rotation of the equatorial direction
// into the horizon frame, and HorizontalToEquatorial takes them back.
TEST(HorizontalFrame, MatchesRotatedFrameAndRoundTripsOverTheSky) {
  for (double latDeg : {-60.0, -20.0, 0.0, 35.0, 70.0}) {
    const double lat = Deg(latDeg);
    const sidera::Vector3 zenith{std::cos(lat), 0.0, std::sin(lat)};
    const sidera::Vector3 north{-std::sin(lat), 0.0, std::cos(lat)};
    for (double h = -170.0; h <= 170.0; h += 40.0) {
      for (double d = -80.0; d <= 80.0; d += 20.0) {
        const SkyPoint p{Deg(h), Deg(d)};
        const sidera::Vector3 e = Dir(p.hourAngle, p.declination);
        const double alt = std::asin(e.x * zenith.x + e.z * zenith.z);
        if (std::fabs(alt) > Deg(85.0)) continue;  // azimuth ill-defined
        const double az = std::atan2(-e.y, e.x * north.x + e.z * north.z);
        SCOPED_TRACE(testing::Message() << "lat " << latDeg << " H " << h << " dec " << d);
        EXPECT_NEAR(sidera::AltitudeOf(lat, p), alt, 1e-12);
        const double gotAz = sidera::AzimuthOf(lat, p);
        EXPECT_NEAR(AngleDiff(gotAz, az), 0.0, 1e-12);
        EXPECT_TRUE(gotAz >= -kPi && gotAz < kPi);

        SkyPoint back{};
        const double fromSouth = gotAz >= 0.0 ? gotAz - kPi : gotAz + kPi;
        sidera::HorizontalToEquatorial(lat, back, {fromSouth, alt});
        EXPECT_NEAR(AngleDiff(back.hourAngle, p.hourAngle), 0.0, 1e-9);
        EXPECT_NEAR(back.declination, p.declination, 1e-9);
      }
    }
  }
}

TEST(PointingModel, SkyToAxesNormalisesTheCallersHourAngleAndAppliesErrors) {
  sidera::TelescopeMount mount;  // identity model
  mount.axis1IndexError = 0.02;
  mount.collimationError = 0.01;
  SkyPoint in{3 * kPi / 2, 0.3};
  AxisPair out{};
  EXPECT_EQ(mount.SkyToAxes(in, out, 0), 0);
  EXPECT_EQ(in.hourAngle, -kPi / 2);
  EXPECT_NEAR(out.axis0, -kPi / 2, 1e-15);
  EXPECT_NEAR(out.axis1, 0.3, 1e-15);

  SkyPoint p{0.5, 0.3};
  mount.SkyToAxes(p, out, 1);
  EXPECT_NEAR(out.axis0, 0.5 - 0.01 / std::cos(0.3), 1e-15);
  EXPECT_NEAR(out.axis1, 0.3 - 0.02, 1e-15);
}

TEST(PointingModel, AxesToSkyUndoesSkyToAxesWithAllErrorTerms) {
  sidera::TelescopeMount mount;
  const sidera::Matrix3 r = Rotation(0.3, -0.2, 1.0, 0.8);
  mount.skyToAxesMatrix = r;
  mount.axesToSkyMatrix = Transpose(r);
  mount.axis1IndexError = 0.02;
  mount.collimationError = 0.01;
  mount.nonPerpendicularityError = -0.005;
  for (double h = -3.0; h <= 3.0; h += 0.5) {
    for (double d = -1.2; d <= 1.2; d += 0.3) {
      SkyPoint p{h, d};
      AxisPair axes{};
      mount.SkyToAxes(p, axes, 1);
      const sidera::Vector3 expectedAxes = Apply(r, Dir(h, d));
      EXPECT_NEAR(axes.axis1, Lat(expectedAxes) - 0.02, 1e-12);
      const double written = axes.axis1 + 0.02;
      AxisPair in = axes;
      SkyPoint back{};
      mount.AxesToSky(in, back, 1);
      EXPECT_NEAR(in.axis1, written, 1e-15);  // corrected in place
      EXPECT_NEAR(AngleDiff(back.hourAngle, h), 0.0, 1e-12);
      EXPECT_NEAR(back.declination, d, 1e-12);
    }
  }
}

}  // namespace
