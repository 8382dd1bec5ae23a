// Matrix inversion, spherical coordinates, the horizon frame and the
// pointing model's conversions between sky and axis angles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "sidera/core/telescope_mount.h"
#include "sidera/core/transforms.h"
#include "sidera/core/vector_matrix.h"
#include "tests/core_math/geometry.h"
#include "tests/support/model_edit.h"

namespace {

using sidera::Matrix3;
using namespace core_math_test;

void ExpectInverse(const Matrix3& a, const Matrix3& b, double tol) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double sum = 0.0;
      for (int k = 0; k < 3; ++k) sum += a.At(i, k) * b.At(k, j);
      EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, tol) << i << "," << j;
    }
}

// The result is the product of the pivots, or 0 once a pivot is 1e-6 or less.
// Row swaps do not change its sign, so the sign shows the pivot choice: a tie
// keeps the earlier row, a strictly larger one moves up.
TEST(InvertMatrix, ReturnsPivotProductAndInverseOrRejectsSingularUnchanged) {
  const struct {
    Matrix3 a;
    double pivots;
  } cases[] = {
      {{{2, 0, 0, 0, 4, 0, 0, 0, 8}}, 64.0},
      {{{1, 0, 0, 0, 1, 0, 0, 0, 1e-5}}, 1e-5},  // just above the threshold
      {{{1, 0, 0, -1, 1, 0, 0, 0, 1}}, 1.0},     // tie in column 0: no swap
      {{{1, 0, 0, -2, 1, 0, 0, 0, 1}}, -1.0},    // row 1 larger: swapped
      {{{1, 0, 0, 0, 1, 0, 0, 3, 1}}, -1.0},     // column 1: rows 1, 2 swapped
      {{{0, 1, 2, 0, 3, 4, 0, 5, 6}}, 0.0},      // first column zero
      {{{1, 2, 3, 2, 4, 6, 0, 0, 1}}, 0.0},      // rows 0 and 1 dependent
      {{{1, 0, 1, 0, 1, 1, 1, 1, 2}}, 0.0},      // row 2 = row 0 + row 1
      {{{1, 0, 0, 0, 1, 0, 0, 0, 1e-7}}, 0.0},   // below the threshold
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pivots);
    Matrix3 b{{1, 0, 0, 0, 1, 0, 0, 0, 1}}, m = c.a;
    const double pivots = sidera::InvertMatrix(c.a, b);
    const int status = sidera::InvertInPlace(m);
    EXPECT_NEAR(pivots, c.pivots, 1e-15);
    EXPECT_EQ(status, c.pivots == 0.0 ? 1 : 0);
    // A singular matrix is left as it was.
    EXPECT_EQ(std::memcmp(m.m, c.pivots == 0.0 ? c.a.m : b.m, sizeof m.m), 0);
    if (c.pivots != 0.0) ExpectInverse(c.a, b, 1e-15);
  }
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n = 0; n < 50; ++n) {
    Matrix3 a;
    for (double& e : a.m) e = u(rng);
    for (int i = 0; i < 3; ++i) a.At(i, i) += 3.5 * (i % 2 ? -1 : 1);  // diagonally dominant
    Matrix3 inverse = a;
    ASSERT_EQ(sidera::InvertInPlace(inverse), 0);
    ExpectInverse(a, inverse, 1e-12);
  }
}

// A vector of any length gives its direction.
TEST(VectorToSpherical, TakesTheDirectionOfAVectorOfAnyLength) {
  sidera::Vector3 v{-3, -4, 0}, up{0, 0, 5};
  EXPECT_NEAR(sidera::VectorToSpherical(v).hourAngle, std::atan2(-4.0, -3.0), 1e-15);
  EXPECT_NEAR(sidera::VectorToSpherical(up).declination, kPi / 2, 1e-15);
}

// Azimuth runs from north through east in [-pi, pi); HorizontalToEquatorial
// takes its azimuth from south and undoes AltitudeOf and AzimuthOf.
TEST(HorizontalFrame, LandmarksAndRoundTripOverTheSky) {
  const double lat30 = Deg(30.0);
  EXPECT_NEAR(sidera::AltitudeOf(lat30, {0.0, lat30}), kPi / 2, 1e-7);     // zenith
  EXPECT_NEAR(sidera::AzimuthOf(lat30, {kPi / 2, 0.0}), -kPi / 2, 1e-15);  // due west
  EXPECT_NEAR(sidera::AzimuthOf(lat30, {-kPi / 2, 0.0}), kPi / 2, 1e-15);  // due east
  EXPECT_EQ(sidera::AzimuthOf(lat30, {0.0, 0.0}), -kPi);  // due south is -pi, not +pi
  SkyPoint zenith{};
  sidera::HorizontalToEquatorial(lat30, zenith, {1.0, kPi / 2});
  EXPECT_NEAR(zenith.hourAngle, 0.0, 1e-12);
  EXPECT_NEAR(zenith.declination, lat30, 1e-7);

  for (double lat : {Deg(-60.0), 0.0, Deg(35.0), Deg(70.0)}) {
    for (double h = -170.0; h <= 170.0; h += 40.0) {
      for (double d = -80.0; d <= 80.0; d += 20.0) {
        const SkyPoint p{Deg(h), Deg(d)};
        const double alt = sidera::AltitudeOf(lat, p), az = sidera::AzimuthOf(lat, p);
        if (std::fabs(alt) > Deg(85.0)) continue;  // azimuth ill-defined
        EXPECT_TRUE(az >= -kPi && az < kPi);
        SkyPoint back{};
        sidera::HorizontalToEquatorial(lat, back, {az >= 0.0 ? az - kPi : az + kPi, alt});
        EXPECT_NEAR(AngleDiff(back.hourAngle, p.hourAngle), 0.0, 1e-9) << lat << " " << h;
        EXPECT_NEAR(back.declination, p.declination, 1e-9) << lat << " " << d;
      }
    }
  }
}

// With the nominal model the error terms shift the axes directly; with any
// model AxesToSky undoes SkyToAxes, and both write the normalised or
// corrected input back to the caller.
TEST(PointingModel, SkyToAxesAppliesErrorTermsAndAxesToSkyUndoesThem) {
  sidera::TelescopeMount mount;  // identity model
  sidera::EditModel(mount, [](sidera::PointingValues& m) {
    m.axis1Index = 0.02;
    m.collimation = 0.01;
  });
  SkyPoint in{3 * kPi / 2, 0.3};
  AxisPair out{};
  EXPECT_EQ(mount.SkyToAxes(in, out, 1), 0);
  EXPECT_EQ(in.hourAngle, -kPi / 2);  // normalised in place
  EXPECT_NEAR(out.axis0, -kPi / 2 - 0.01 / std::cos(0.3), 1e-15);
  EXPECT_NEAR(out.axis1, 0.3 - 0.02, 1e-15);

  const Matrix3 r = Rotation(0.3, -0.2, 1.0, 0.8);
  sidera::EditModel(mount, [&](sidera::PointingValues& m) {
    m.skyToAxes = r;
    m.axesToSky = Rotation(0.3, -0.2, 1.0, -0.8);
    m.nonPerpendicularity = -0.005;
  });
  for (double h = -3.0; h <= 3.0; h += 0.5) {
    for (double d = -1.2; d <= 1.2; d += 0.3) {
      SkyPoint p{h, d};
      AxisPair axes{};
      mount.SkyToAxes(p, axes, 1);
      EXPECT_NEAR(axes.axis1, Lat(Apply(r, Dir(h, d))) - 0.02, 1e-12);
      AxisPair corrected = axes;
      SkyPoint back{};
      mount.AxesToSky(corrected, back, 1);
      EXPECT_NEAR(corrected.axis1, axes.axis1 + 0.02, 1e-15);  // corrected in place
      EXPECT_NEAR(AngleDiff(back.hourAngle, h), 0.0, 1e-12);
      EXPECT_NEAR(back.declination, d, 1e-12);
    }
  }
}

}  // namespace
