// Angle reduction, degree conversion and great-circle separation.
#include "sidera/core/angles.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sidera/include/sidera.h"

namespace sidera {
namespace {

TEST(NormalizeAngleTest, ReducesToAHalfTurnEitherSideOfZero) {
  struct Case {
    double in;
    double expected;
  } cases[] = {
      {0.0, 0.0},
      {1.0, 1.0},
      {-3.0, -3.0},
      {kPi, kPi},  // the half turn itself is kept on its own side
      {-kPi, -kPi},
      {1.5 * kPi, -0.5 * kPi},
      {-1.5 * kPi, 0.5 * kPi},
      {7.0, 7.0 - kTwoPi},
      {-7.0, kTwoPi - 7.0},
      {kTwoPi, 0.0},
      {100.0, 100.0 - 32.0 * kPi},  // sixteen turns off
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(NormalizeAngle(c.in), c.expected, 1e-13) << c.in;
  }
  EXPECT_EQ(NormalizeAngle(kPi), kPi);
  EXPECT_EQ(NormalizeAngle(-kPi), -kPi);
}

TEST(DegToRadTest, ConvertsDivisionFirst) {
  EXPECT_EQ(DegToRad(180.0), kPi);
  EXPECT_EQ(DegToRad(-90.0), -kPi / 2.0);
  EXPECT_EQ(DegToRad(30.0), 30.0 / 180.0 * kPi);
  EXPECT_EQ(DegToRad(0.0), 0.0);
}

TEST(AngularSeparationTest, GreatCircleAnglesOfKnownPairs) {
  struct Case {
    double lon1, lat1, lon2, lat2, expected;
  } cases[] = {
      {0.0, 0.0, kPi / 2, 0.0, kPi / 2},  // quarter of the equator
      {0.0, 0.0, kPi, 0.0, kPi},          // antipodes
      {0.3, 0.4, 0.3 + kPi, -0.4, kPi},   // antipodes off the equator
      {1.0, kPi / 2, 2.5, 0.0, kPi / 2},  // pole to equator
      {0.0, 0.5, 0.0, 0.2, 0.3},          // along a meridian
      {0.0, 0.0, 0.0, -kPi / 2, kPi / 2}, {0.0, kPi / 4, kPi / 2, kPi / 4, kPi / 3},  // acos(1/2)
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(AngularSeparationOf(c.lon1, c.lat1, c.lon2, c.lat2), c.expected, 1e-7)
        << c.lon1 << " " << c.lat1 << " " << c.lon2 << " " << c.lat2;
  }
}

TEST(AngularSeparationTest, IdenticalAndOppositePointsNeverLeaveTheDomainOfAcos) {
  for (double lat : {0.0, 0.3, 0.7, 1.0, -0.5, 1.5, kPi / 2}) {
    for (double lon : {0.0, 1.3, -2.0}) {
      const double same = AngularSeparationOf(lon, lat, lon, lat);
      EXPECT_FALSE(std::isnan(same));
      EXPECT_LT(same, 1e-7) << lon << " " << lat;
      const double opposite = AngularSeparationOf(lon, lat, lon + kPi, -lat);
      EXPECT_FALSE(std::isnan(opposite));
      EXPECT_NEAR(opposite, kPi, 1e-7);
    }
  }
  EXPECT_EQ(AngularSeparationOf(1.3, 0.0, 1.3, 0.0), 0.0);
  EXPECT_EQ(::AngularSeparation(0.0, 0.0, kPi, 0.0), kPi);
}

}  // namespace
}  // namespace sidera
