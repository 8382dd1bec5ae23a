#include "tools/sidera/astro.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sidera::tool {
namespace {

constexpr double kHour = kPi / 12.0;
constexpr double kArcsec = kPi / 180.0 / 3600.0;

TEST(HourAngle, FollowsSiderealTimeAcrossMidnight) {
  struct Case {
    double ra, lst, hourAngle;
  } cases[] = {
      {6 * kHour, 8 * kHour, 2 * kHour},    // two hours west of the meridian
      {23 * kHour, 1 * kHour, 2 * kHour},   // across 0h of sidereal time
      {1 * kHour, 23 * kHour, -2 * kHour},  // east of the meridian, the other way round
      {12 * kHour, 12 * kHour, 0.0},        // on the meridian
      {0.0, 12 * kHour, kPi},               // lower culmination: +pi, not -pi
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(HourAngleOf(c.ra, c.lst), c.hourAngle, 1e-12) << c.ra << " " << c.lst;
    EXPECT_NEAR(RightAscensionOf(c.hourAngle, c.lst), WrapTwoPi(c.ra), 1e-12);
  }
}

TEST(HourAngle, LocalSiderealTimeAddsEastLongitudeAndReducesAnyTurn) {
  EXPECT_NEAR(LocalSiderealTime(-0.5, 0.0), kTwoPi - 0.5, 1e-12);
  EXPECT_NEAR(LocalSiderealTime(7.0, -1.0), 6.0, 1e-12);
  EXPECT_NEAR(LocalSiderealTime(3 * kTwoPi + 1.0, 0.25), 1.25, 1e-9);
  const double tiny = LocalSiderealTime(-1e-18, 0.0);
  EXPECT_GE(tiny, 0.0);
  EXPECT_LT(tiny, kTwoPi);
}

TEST(Horizontal, KnownDirectionsAtMidLatitude) {
  const double lat = Radians(40.0);
  struct Case {
    const char* what;
    double ha, dec, az, alt;
  } cases[] = {
      {"zenith", 0, lat, NAN, kPi / 2},
      {"south meridian", 0, lat - Radians(30), kPi, Radians(60)},
      {"north meridian", kPi, Radians(80), 0.0, Radians(30)},
      {"west point", kPi / 2, 0, -kPi / 2, 0},
      {"east point", -kPi / 2, 0, kPi / 2, 0},
      {"celestial pole", 1.234, kPi / 2, 0.0, lat},
  };
  for (const Case& c : cases) {
    const Horizontal h = HorizontalOf(c.ha, c.dec, lat);
    EXPECT_NEAR(h.altitude, c.alt, 1e-9) << c.what;
    if (!std::isnan(c.az)) {
      EXPECT_NEAR(h.azimuth, c.az, 1e-9) << c.what;
    }
  }
}

TEST(Separation, ExactAtBothEndsAndAccurateAtOneArcSecond) {
  EXPECT_EQ(Separation(1.0, 0.5, 1.0, 0.5), 0.0);
  EXPECT_NEAR(Separation(0.0, 0.0, kPi, 0.0), kPi, 1e-12);
  EXPECT_NEAR(Separation(0.3, kPi / 2, 2.0, kPi / 2), 0.0, 1e-12);  // any longitude at the pole
  EXPECT_NEAR(Separation(0.0, 0.0, kPi / 2, 0.0), kPi / 2, 1e-12);
  // One arc-second in declination, and one in right ascension at 60 degrees
  // where it shrinks by cos 60.
  EXPECT_NEAR(Separation(1.0, 0.2, 1.0, 0.2 + kArcsec) / kArcsec, 1.0, 1e-6);
  EXPECT_NEAR(Separation(1.0, Radians(60), 1.0 + kArcsec, Radians(60)) / kArcsec, 0.5, 1e-6);
}

TEST(CivilTime, SplitsInstantsIncludingLeapDaysAndBeforeTheEpoch) {
  struct Case {
    int64_t millis;
    int year, month, day, hour, minute, second, ms, weekday;
  } cases[] = {
      {0, 1970, 1, 1, 0, 0, 0, 0, 4},                        // a Thursday
      {946728000000, 2000, 1, 1, 12, 0, 0, 0, 6},            // J2000.0, a Saturday
      {951782400000 + 3723004, 2000, 2, 29, 1, 2, 3, 4, 2},  // leap day, a Tuesday
      {-1, 1969, 12, 31, 23, 59, 59, 999, 3},                // one millisecond before
      {1774065600000 - 86400000 * 10, 2026, 3, 11, 4, 0, 0, 0, 3},
  };
  for (const Case& c : cases) {
    const CivilDateTime t = CivilOf(c.millis);
    EXPECT_EQ(t.year, c.year) << c.millis;
    EXPECT_EQ(t.month, c.month) << c.millis;
    EXPECT_EQ(t.day, c.day) << c.millis;
    EXPECT_EQ(t.hour, c.hour) << c.millis;
    EXPECT_EQ(t.minute, c.minute) << c.millis;
    EXPECT_EQ(t.second, c.second) << c.millis;
    EXPECT_EQ(t.millisecond, c.ms) << c.millis;
    EXPECT_EQ(t.dayOfWeek, c.weekday) << c.millis;
  }
}

TEST(CivilTime, ParsesIsoTimesAndRejectsImpossibleOnes) {
  EXPECT_EQ(ParseUtc("2000-01-01T12:00:00"), std::optional<int64_t>(946728000000));
  EXPECT_EQ(ParseUtc("2000-01-01T12:00:00Z"), std::optional<int64_t>(946728000000));
  EXPECT_EQ(ParseUtc("2000-01-01T12:00:00.25"), std::optional<int64_t>(946728000250));
  EXPECT_EQ(ParseUtc("2000-02-29T00:00:00"), std::optional<int64_t>(951782400000));
  EXPECT_EQ(ParseUtc("1969-12-31T23:59:59.999"), std::optional<int64_t>(-1));
  for (const char* bad :
       {"2023-02-29T00:00:00", "1900-02-29T00:00:00", "2000-13-01T00:00:00", "2000-04-31T00:00:00",
        "2000-01-01 12:00:00", "2000-01-01T24:00:00", "2000-01-01T12:60:00", "2000-01-01T12:00",
        "2000-01-01T12:00:00.1234", "2000-01-01T12:00:00x", "", "yesterday"}) {
    EXPECT_FALSE(ParseUtc(bad).has_value()) << bad;
  }
}

TEST(Precession, MovesAJ2000PlaceToTheDateAndBack) {
  // A worked textbook case: theta Persei, J2000 mean place (proper motion
  // already applied) 41.054063, +49.227750 degrees, precessed to
  // 2028 November 13.19 (JD 2462088.69) gives 41.547214, +49.348483.
  const int64_t date = 1857702816000;
  const Equatorial ofDate = PrecessFromJ2000({Radians(41.054063), Radians(49.227750)}, date);
  EXPECT_NEAR(Degrees(ofDate.rightAscension), 41.547214, 2e-6 * 15);
  EXPECT_NEAR(Degrees(ofDate.declination), 49.348483, 2e-5);
  // Undoing it returns the catalogue place, also near the pole and across 0h.
  for (Equatorial p : {Equatorial{Radians(41.054063), Radians(49.227750)},
                       Equatorial{Radians(37.95456), Radians(89.26411)},
                       Equatorial{Radians(359.99), Radians(-60)}}) {
    const Equatorial back = PrecessToJ2000(PrecessFromJ2000(p, date), date);
    EXPECT_LT(Separation(back.rightAscension, back.declination, p.rightAscension, p.declination),
              1e-10);
  }
  // At the J2000 epoch itself nothing moves.
  const Equatorial same = PrecessFromJ2000({1.0, 0.5}, 946728000000);
  EXPECT_NEAR(same.rightAscension, 1.0, 1e-12);
  EXPECT_NEAR(same.declination, 0.5, 1e-12);
}

}  // namespace
}  // namespace sidera::tool
