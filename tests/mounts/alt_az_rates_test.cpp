// The alt-azimuth kind's arithmetic: tracking rates and star ratings.
#include <gtest/gtest.h>

#include <cmath>

#include "sidera/core/telescope_mount.h"
#include "sidera/mounts/alt_az_mount.h"
#include "sidera/sim/alt_az_simulator.h"
#include "test_support.h"

namespace sidera {
namespace {

using namespace testing_support;

// Opens the kind's rate helpers to the tests.
struct RateProbe : AltAzMount {
  using AltAzMount::AlignedTrackingRates;
  using AltAzMount::UnalignedTrackingRates;
};

TEST(AltAzTrackingRates, UnalignedRatesFollowTheSkyAtTheAxisAngles) {
  struct Case {
    double latitude, azimuth, altitude;
    double rate0, rate1;  // in units of the sidereal rate
  };
  const double c30 = std::sqrt(3.0) / 2.0;
  const Case cases[] = {
      // Due north on the horizon: azimuth turns at sin(latitude), altitude
      // stands still.
      {Deg(30), 0.0, 0.0, 0.5, 0.0},
      // Due east on the horizon: rising at cos(latitude).
      {Deg(30), Deg(90), 0.0, 0.5, c30},
      // South at 45 degrees: azimuth runs at sin 30 + cos 30 tan 45.
      {Deg(30), kPiValue, Deg(45), 0.5 + c30, 0.0},
  };
  for (const Case& c : cases) {
    const AxisPair r =
        RateProbe::UnalignedTrackingRates(c.latitude, AxisPair{c.azimuth, c.altitude});
    EXPECT_NEAR(r.axis0, c.rate0 * kSidereal, 1e-15) << c.azimuth << "," << c.altitude;
    EXPECT_NEAR(r.axis1, c.rate1 * kSidereal, 1e-15) << c.azimuth << "," << c.altitude;
  }
}

TEST(AltAzTrackingRates, AlignedRatesCatchUpWithoutEverReversing) {
  // The track moves +0.003 rad in azimuth and -0.0015 rad in altitude in
  // 30 s: nominal rates 1e-4 and -5e-5 rad/s.
  const AxisPair onTrack{1.0, 0.5};
  const AxisPair ahead{1.003, 0.4985};
  struct Case {
    const char* what;
    AxisPair current;
    double rate0, rate1;
  };
  const Case cases[] = {
      {"on the track: catch-up equals nominal", {1.0, 0.5}, 1e-4, -5e-5},
      {"behind: faster", {0.997, 0.5015}, 2e-4, -1e-4},
      {"slightly ahead: slower, same direction", {1.0015, 0.49925}, 5e-5, -2.5e-5},
      {"past the 30 s point: 3/4 of nominal", {1.004, 0.4980}, 0.75e-4, -0.375e-4},
  };
  for (const Case& c : cases) {
    const AxisPair r = RateProbe::AlignedTrackingRates(onTrack, ahead, c.current);
    EXPECT_NEAR(r.axis0, c.rate0, 1e-12) << c.what;
    EXPECT_NEAR(r.axis1, c.rate1, 1e-12) << c.what;
  }
}

TEST(AltAzTrackingRates, AzimuthTrackCrossingTheSeamIsFoldedBack) {
  // The track runs from just west of south (+179.9 degrees) to just east of
  // it (-179.8 degrees): +0.3 degrees in 30 s, not -359.7.
  const AxisPair onTrack{Deg(179.9), 0.5};
  const AxisPair ahead{Deg(-179.8), 0.5};
  const double nominal = Deg(0.3) / 30.0;
  AxisPair r = RateProbe::AlignedTrackingRates(onTrack, ahead, onTrack);
  EXPECT_NEAR(r.axis0, nominal, 1e-12);
  // An axis reading that went on past the seam (one turn below the model's
  // value) is folded the same way.
  r = RateProbe::AlignedTrackingRates(onTrack, ahead, AxisPair{Deg(179.9) - 2 * kPiValue, 0.5});
  EXPECT_NEAR(r.axis0, nominal, 1e-12);
}

// Sky position of a north-based azimuth (east positive) and altitude.
SkyPoint FromHorizontal(double latitude, double azimuth, double altitude) {
  const double sinDec = std::sin(latitude) * std::sin(altitude) +
                        std::cos(latitude) * std::cos(altitude) * std::cos(azimuth);
  const double dec = std::asin(sinDec);
  const double y = -std::cos(altitude) * std::sin(azimuth);
  const double x = std::cos(latitude) * std::sin(altitude) -
                   std::sin(latitude) * std::cos(altitude) * std::cos(azimuth);
  return SkyPoint{std::atan2(y, x), dec};
}

class AltAzRatingTest : public ::testing::Test {
 protected:
  static constexpr double kLatitude = Deg(30);
  void SetUp() override { ASSERT_EQ(mount_.SetSite(kLatitude, 0.0), 0); }
  void TearDown() override { mount_.Shutdown(); }
  SkyPoint At(double azimuthDeg, double altitudeDeg) const {
    return FromHorizontal(kLatitude, Deg(azimuthDeg), Deg(altitudeDeg));
  }
  AltAzSimulator mount_;
};

TEST_F(AltAzRatingTest, StarsAbove60DegreesAreNotOffered) {
  struct Case {
    double altitudeDeg;
    int root, altAz;
  };
  for (const Case& c : {Case{10, 0, 0}, Case{30, 5, 5}, Case{65, 5, 0}}) {
    // On the meridian, altitude = 90 - |latitude - declination|.
    const SkyPoint star{0.0, kLatitude - Deg(90 - c.altitudeDeg)};
    EXPECT_EQ(mount_.TelescopeMount::CheckTargetAltitude(star), c.root) << c.altitudeDeg;
    EXPECT_EQ(mount_.CheckTargetAltitude(star), c.altAz) << c.altitudeDeg;
  }
}

TEST_F(AltAzRatingTest, PairsNeedAzimuthSpreadAndSimilarAltitudes) {
  struct Case {
    double az1, alt1, az2, alt2;
    int mode;
    int expected;
  };
  const Case cases[] = {
      {-45, 30, 5, 30, 0, 0},   // 50 degrees apart in azimuth
      {-45, 30, 45, 30, 2, 5},  // 90 apart, equal altitudes
      // |1/cos 30 - 1/cos 50| = 0.401: grade 3 in mode 2, any in mode 0.
      {-45, 30, 45, 50, 2, 3},
      {-45, 30, 45, 50, 0, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mount_.CheckStars2(At(c.az1, c.alt1), At(c.az2, c.alt2), c.mode), c.expected)
        << c.az1 << "/" << c.alt1 << " " << c.az2 << "/" << c.alt2 << " mode " << c.mode;
  }
}

TEST_F(AltAzRatingTest, TriplesAreGradedByTheBestPairAndTheOtherStarsDistance) {
  const SkyPoint third = At(60, 20);
  // Pair (second, third): 60 degrees apart, |1/cos 20 - 1/cos 58| = 0.823
  // grades 3; pair (first, third): 150 apart, 0.091. The first star is far
  // enough from the third.
  EXPECT_EQ(mount_.CheckStars3(At(-90, 30), At(0, 58), third), 3);
  // The same pair with a first star 25 degrees from the third: unusable.
  EXPECT_EQ(mount_.CheckStars3(At(85, 20), At(0, 58), third), 0);
  // A second star 10 degrees from the third ends the search with nothing.
  EXPECT_EQ(mount_.CheckStars3(At(-90, 30), At(70, 40), third), 0);
}

}  // namespace
}  // namespace sidera
