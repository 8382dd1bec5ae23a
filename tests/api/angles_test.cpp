// Angle reduction and great-circle separation.
#include "sidera/core/angles.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sidera/include/sidera.h"

namespace sidera {
namespace {

// Seven radians either way are also reduced by the exports' wrapping test.
TEST(NormalizeAngleTest, ReducesToAHalfTurnEitherSideOfZero) {
  const struct {
    double in, expected;
  } cases[] = {{-3.0, -3.0},
               {1.5 * kPi, -0.5 * kPi},
               {kTwoPi, 0.0},
               {100.0, 100.0 - 32.0 * kPi}};  // the last is sixteen turns off
  for (const auto& c : cases) EXPECT_NEAR(NormalizeAngle(c.in), c.expected, 1e-13) << c.in;
  // The half turn itself is kept on its own side.
  EXPECT_EQ(NormalizeAngle(kPi), kPi);
  EXPECT_EQ(NormalizeAngle(-kPi), -kPi);
}

TEST(AngularSeparationTest, GreatCircleAnglesOfKnownPairs) {
  const struct {
    double lon1, lat1, lon2, lat2, expected;
  } cases[] = {
      {0.0, 0.0, kPi / 2, 0.0, kPi / 2},          // quarter of the equator
      {0.3, 0.4, 0.3 + kPi, -0.4, kPi},           // antipodes off the equator
      {1.0, kPi / 2, 2.5, 0.0, kPi / 2},          // pole to equator
      {0.0, 0.5, 0.0, 0.2, 0.3},                  // along a meridian
      {0.0, kPi / 4, kPi / 2, kPi / 4, kPi / 3},  // acos(1/2)
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(::AngularSeparation(c.lon1, c.lat1, c.lon2, c.lat2), c.expected, 1e-7)
        << c.lon1 << " " << c.lat1 << " " << c.lon2 << " " << c.lat2;
  }
  // Rounding must never push the cosine outside acos's domain.
  for (double lat : {0.0, 0.3, 0.7, 1.0, -0.5, 1.5, kPi / 2}) {
    for (double lon : {0.0, 1.3, -2.0}) {
      EXPECT_LT(AngularSeparationOf(lon, lat, lon, lat), 1e-7) << lon << " " << lat;
      EXPECT_NEAR(AngularSeparationOf(lon, lat, lon + kPi, -lat), kPi, 1e-7) << lon << " " << lat;
    }
  }
}

}  // namespace
}  // namespace sidera
