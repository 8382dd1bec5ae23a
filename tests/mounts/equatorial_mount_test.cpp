// The equatorial kind: pier side, mount-error correction, axis-1 range,
// nominal matrices and star ratings, through the host interface of model 6.
#include <gtest/gtest.h>

#include <cmath>

#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "test_support.h"

namespace sidera {
namespace {

using namespace testing_support;

class EquatorialKindTest : public HostSession {};

double Wrap(double a) {
  while (a > kPiValue) a -= 2 * kPiValue;
  while (a < -kPiValue) a += 2 * kPiValue;
  return a;
}

// With the nominal model the axes read the sky position itself on the east
// side of the pier (north) and half a turn round, past the pole, on the
// west side; south of the equator the sides swap and declination flips.
TEST_F(EquatorialKindTest, PierSideFollowsTheHourAngleSignAndTheHemisphere) {
  const double hour = Deg(15);
  struct Case {
    double latitude;
    SkyPoint sky;
    double axis0, axis1;
  };
  const Case cases[] = {
      {Deg(40), {-hour, 0.5}, -hour, 0.5},                               // east: as it comes
      {Deg(40), {hour, 0.5}, Wrap(kPiValue + hour), kPiValue - 0.5},     // west: flipped
      {Deg(40), {0.0, 0.5}, 0.0, 0.5},                                   // meridian: never flips
      {Deg(-35), {hour, -0.5}, -hour, 0.5},                              // south, west: as it comes
      {Deg(-35), {-hour, -0.5}, Wrap(kPiValue + hour), kPiValue - 0.5},  // south, east: flipped
  };
  for (const Case& c : cases) {
    ASSERT_EQ(CreateMount(6, c.latitude, 0.0), 0);
    AxisPair axes{};
    ASSERT_EQ(SkyToAxes(c.sky, &axes), 0);
    EXPECT_NEAR(axes.axis0, c.axis0, 1e-12) << "lat " << c.latitude << " ha " << c.sky.hourAngle;
    EXPECT_NEAR(axes.axis1, c.axis1, 1e-12) << "lat " << c.latitude << " ha " << c.sky.hourAngle;
    ASSERT_EQ(DestroyMount(), 0);
  }
}

TEST_F(EquatorialKindTest, MountErrorsCorrectTheAxesAfterThePierSide) {
  ASSERT_EQ(CreateMount(6, Deg(40), 0.0), 0);
  ASSERT_EQ(SetMountErrors(0.01, 0.02), 0);
  AxisPair axes{};
  ASSERT_EQ(SkyToAxes(SkyPoint{Deg(-15), 0.5}, &axes), 0);
  EXPECT_NEAR(axes.axis0, Deg(-15) - (0.01 / std::cos(0.5) + 0.02 * std::tan(0.5)), 1e-12);
  EXPECT_NEAR(axes.axis1, 0.5, 1e-12);
  // On the flipped side the correction uses the flipped axis-1 angle.
  ASSERT_EQ(SkyToAxes(SkyPoint{Deg(15), 0.5}, &axes), 0);
  const double a1 = kPiValue - 0.5;
  EXPECT_NEAR(axes.axis0, Wrap(kPiValue + Deg(15) - (0.01 / std::cos(a1) + 0.02 * std::tan(a1))),
              1e-12);
}

// The residual an alignment reports: how far the model moves the visible
// pole on the declination axis; a pure index error moves it by itself, and
// the nominal model leaves it in place in either hemisphere.
TEST_F(EquatorialKindTest, AlignmentAdjustMeasuresTheIndexErrorAtThePole) {
  for (double latitude : {Deg(40), Deg(-40)}) {
    ASSERT_EQ(CreateMount(6, latitude, 0.0), 0);
    EXPECT_NEAR(g_mount->AlignmentAdjust(), 0.0, 1e-12);
    {
      std::lock_guard<std::recursive_mutex> lock(g_mount->modelMutex);
      g_mount->axis1IndexError = 0.01;
    }
    EXPECT_NEAR(g_mount->AlignmentAdjust(), 0.01, 1e-12) << latitude;
    ASSERT_EQ(DestroyMount(), 0);
  }
}

// Ratings at latitude 30: the stars below all stand between 15 and 75
// degrees, so only the equatorial rules decide.
TEST_F(EquatorialKindTest, StarRatingsFollowThePierSideAndDeclinationRules) {
  ASSERT_EQ(CreateMount(6, Deg(30), 0.0), 0);
  const SkyPoint eastA{Deg(-60), Deg(40)};
  const SkyPoint eastB{Deg(-30), Deg(-10)};
  const SkyPoint eastC{Deg(-90), Deg(20)};
  const SkyPoint westA{Deg(60), Deg(40)};
  const SkyPoint westB{Deg(40), Deg(20)};
  const SkyPoint nearPole{Deg(-10), Deg(80)};  // about 40 degrees high

  EXPECT_EQ(CheckStars1(nearPole), 0);
  EXPECT_EQ(CheckStars1(eastB), 5);

  struct Pair {
    SkyPoint s1, s2;
    int mode;
    int expected;
  };
  const Pair pairs[] = {
      // Same side, declinations +20 and -10: their sum is 10 degrees.
      {eastC, eastB, 0, 0},
      // Same side, 30 degrees apart, sum of declinations 30: usable.
      {eastA, eastB, 0, 5},
      // Mode 2 grades |1/cos 40 - 1/cos 10| = 0.290: 4.
      {eastA, eastB, 2, 4},
      // Opposite sides are fine for mode 0 and never for mode 2.
      {westA, eastB, 0, 5},
      {westA, eastB, 2, 0},
  };
  for (const Pair& p : pairs) {
    EXPECT_EQ(CheckStars2(p.s1, p.s2, p.mode), p.expected)
        << p.s1.hourAngle << "," << p.s1.declination << " / " << p.s2.hourAngle << " mode "
        << p.mode;
  }

  // Third star west of the meridian: pairs give |1/cos 200 - 1/cos(-10)| =
  // 2.080 and |1/cos 200 - 1/cos 40| = 2.370; the larger grades 3.
  EXPECT_EQ(CheckStars3(eastA, eastB, westB), 3);
  // On the same side as the first star it is unusable.
  EXPECT_EQ(CheckStars3(westA, eastB, westB), 0);
  // A second star whose pair fails the separation test ends the search; the
  // first pair, never examined, counts as 0 (it alone would grade 3).
  const SkyPoint oppositeOfThird{Deg(-150), Deg(-10)};
  EXPECT_EQ(CheckStars3(eastA, oppositeOfThird, westB), 0);
}

}  // namespace
}  // namespace sidera
