// The arithmetic of the two mount kinds: equatorial axes from the sky (pier
// side, mount errors), alt-azimuth aligned tracking rates, and star ratings.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "sidera/api/globals.h"
#include "sidera/mounts/alt_az_mount.h"
#include "sidera/sim/alt_az_simulator.h"
#include "sidera/sim/equatorial_simulator.h"
#include "test_support.h"

namespace sidera {
namespace {

using namespace testing;

class EquatorialKind : public HostSession {};

// With the nominal model the axes read the sky position itself on the east
// side of the pier (north) and half a turn round, past the pole, on the west
// side; south of the equator the sides swap and declination flips. The
// nominal model leaves the pole in place in either hemisphere: no alignment
// residual.
TEST_F(EquatorialKind, PierSideFollowsTheHourAngleSignAndTheHemisphere) {
  const double hour = Deg(15);
  struct Case {
    double latitude;
    SkyPoint sky;
    double axis0, axis1;
  };
  const Case cases[] = {
      {Deg(40), {-hour, 0.5}, -hour, 0.5},               // east: as it comes
      {Deg(40), {hour, 0.5}, hour - kPi, kPi - 0.5},     // west: flipped
      {Deg(40), {0.0, 0.5}, 0.0, 0.5},                   // meridian: never flips
      {Deg(-35), {hour, -0.5}, -hour, 0.5},              // south, west: as it comes
      {Deg(-35), {-hour, -0.5}, hour - kPi, kPi - 0.5},  // south, east: flipped
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "lat " << c.latitude << " ha " << c.sky.hourAngle);
    ASSERT_EQ(CreateMount(6, c.latitude, 0.0), 0);
    AxisPair axes{};
    ASSERT_EQ(SkyToAxes(c.sky, &axes), 0);
    EXPECT_NEAR(axes.axis0, c.axis0, 1e-12);
    EXPECT_NEAR(axes.axis1, c.axis1, 1e-12);
    EXPECT_NEAR(g_mount->AlignmentAdjust(), 0.0, 1e-12);
    ASSERT_EQ(DestroyMount(), 0);
  }
}

// Opens the aligned rate rule to the tests. (The unaligned rates, from the
// axis angles alone, are held to the sky end to end: the alt-azimuth cases of
// host_session_test and AGotoEndsOnItsTargetAndTrackingStaysThere.)
struct RateProbe : AltAzMount {
  using AltAzMount::AlignedTrackingRates;
};

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
  // A track from +179.9 to -179.8 degrees runs +0.3 degrees, not -359.7; an
  // axis reading one turn below the model's value is folded the same way.
  const AxisPair seam{Deg(179.9), 0.5};
  for (double current : {Deg(179.9), Deg(179.9) - 2 * kPi}) {
    const AxisPair r =
        RateProbe::AlignedTrackingRates(seam, AxisPair{Deg(-179.8), 0.5}, AxisPair{current, 0.5});
    EXPECT_NEAR(r.axis0, Deg(0.3) / 30.0, 1e-12) << current;
  }
}

// Sky position of a north-based azimuth (east positive) and altitude, at
// latitude 30.
SkyPoint At(double azimuthDeg, double altitudeDeg) {
  const double lat = Deg(30), az = Deg(azimuthDeg), alt = Deg(altitudeDeg);
  const double sinDec =
      std::sin(lat) * std::sin(alt) + std::cos(lat) * std::cos(alt) * std::cos(az);
  const double y = -std::cos(alt) * std::sin(az);
  const double x = std::cos(lat) * std::sin(alt) - std::sin(lat) * std::cos(alt) * std::cos(az);
  return SkyPoint{std::atan2(y, x), std::asin(sinDec)};
}

struct Rating {
  std::vector<SkyPoint> stars;  // one, two or three
  int mode;
  int expected;
};

void ExpectRatings(TelescopeMount& m, std::initializer_list<Rating> rows) {
  ASSERT_EQ(m.SetSite(Deg(30), 0.0), 0);
  for (const Rating& r : rows) {
    const std::vector<SkyPoint>& s = r.stars;
    const int got = s.size() == 1   ? m.CheckStars1(s[0])
                    : s.size() == 2 ? m.CheckStars2(s[0], s[1], r.mode)
                                    : m.CheckStars3(s[0], s[1], s[2]);
    EXPECT_EQ(got, r.expected) << s.size() << " stars, first " << s[0].hourAngle << ","
                               << s[0].declination << " mode " << r.mode;
  }
  m.Shutdown();
}

// Equatorial, latitude 30: every star stands between 15 and 75 degrees, so
// the pier side and declination rules decide.
TEST(StarRatings, EquatorialPierSideAndDeclinationRules) {
  const SkyPoint eastA{Deg(-60), Deg(40)}, eastB{Deg(-30), Deg(-10)}, eastC{Deg(-90), Deg(20)};
  const SkyPoint westA{Deg(60), Deg(40)}, westB{Deg(40), Deg(20)};
  EquatorialSimulator m;
  ExpectRatings(m, {
                       {{{Deg(-10), Deg(80)}}, 0, 0},  // near the pole, 40 high
                       {{eastB}, 0, 5},
                       {{eastC, eastB}, 0, 0},  // same side, declinations sum to 10
                       {{eastA, eastB}, 0, 5},  // 30 apart, sum 30
                       {{eastA, eastB}, 2, 4},  // |1/cos 40 - 1/cos 10| = 0.290
                       {{westA, eastB}, 0, 5},  // opposite sides: fine for mode 0
                       {{westA, eastB}, 2, 0},  // and never for mode 2
                       // Pairs with the third give 2.080 and 2.370: the larger grades 3.
                       {{eastA, eastB, westB}, 0, 3},
                       {{westA, eastB, westB}, 0, 0},  // third on the first star's side
                       // The second pair fails the separation test and ends the
                       // search; the first, never examined, counts as 0.
                       {{eastA, {Deg(-150), Deg(-10)}, westB}, 0, 0},
                   });
}

// Alt-azimuth, latitude 30: nothing below 15 or above 60 degrees; pairs
// need azimuth spread and similar altitudes.
TEST(StarRatings, AltAzAltitudeSpreadAndDistanceRules) {
  AltAzSimulator m;
  ExpectRatings(m, {
                       {{At(180, 10)}, 0, 0},
                       {{At(180, 30)}, 0, 5},
                       {{At(180, 65)}, 0, 0},
                       {{At(-45, 30), At(5, 30)}, 0, 0},   // 50 apart in azimuth
                       {{At(-45, 30), At(45, 30)}, 2, 5},  // 90 apart, equal altitudes
                       // |1/cos 30 - 1/cos 50| = 0.401: 3 in mode 2, any in mode 0.
                       {{At(-45, 30), At(45, 50)}, 2, 3},
                       {{At(-45, 30), At(45, 50)}, 0, 5},
                       // (second, third) 60 apart: 0.823 grades 3; (first, third)
                       // 150 apart: 0.091.
                       {{At(-90, 30), At(0, 58), At(60, 20)}, 0, 3},
                       {{At(85, 20), At(0, 58), At(60, 20)}, 0, 0},    // first 25 from third
                       {{At(-90, 30), At(70, 40), At(60, 20)}, 0, 0},  // second 10 from third
                   });
}

}  // namespace
}  // namespace sidera
