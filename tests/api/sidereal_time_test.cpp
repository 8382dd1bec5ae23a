// Sidereal time of civil clock readings. Expected values come from the
// Julian day of each date counted from 1 January 2000 (2451544.5) with a
// calendar library, pushed through the sidereal polynomial by hand.
#include "sidera/core/sidereal_time.h"

#include <gtest/gtest.h>

#include "sidera/include/sidera.h"

namespace sidera {
namespace {

struct Case {
  const char* what;
  CivilDateTime when;
  double zone;
  int daylight;
  double expected;
};

TEST(SiderealTimeTest, GoldenValues) {
  const Case cases[] = {
      {"J2000 noon", {2000, 1, 6, 1, 12, 0, 0, 0}, 0.0, 0, 4.8949612127332935},
      {"same instant, zone +8", {2000, 1, 6, 1, 20, 0, 0, 0}, 8.0, 0, 4.8949612127332935},
      {"same instant, zone +8 daylight", {2000, 1, 6, 1, 21, 0, 0, 0}, 8.0, 1, 4.894961212733295},
      {"before 2000: negative, unreduced", {1999, 6, 2, 1, 0, 0, 0, 0}, 8.0, 0, -4.036759649418517},
      {"February is month 14 of last year",
       {2001, 2, 3, 28, 0, 0, 0, 0},
       0.0,
       0,
       2.7555655815127644},
      {"March uses the year as given", {2001, 3, 4, 1, 0, 0, 0, 0}, 0.0, 0, 2.772768373318094},
      {"leap day, west zone, daylight, ms",
       {2004, 2, 0, 29, 6, 30, 15, 250},
       -5.0,
       1,
       5.517801319560597},
      {"last millisecond of 1999", {1999, 12, 5, 31, 23, 59, 59, 999}, 0.0, 0, 1.7447670903171941},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(SiderealTimeOf(c.when, c.zone, c.daylight), c.expected, 1e-9) << c.what;
    EXPECT_NEAR(::ComputeSiderealTime(c.when, c.zone, c.daylight), c.expected, 1e-9) << c.what;
  }
  // The day of the week takes no part.
  EXPECT_EQ(SiderealTimeOf({2000, 1, 0, 1, 12, 0, 0, 0}, 0.0, 0),
            SiderealTimeOf({2000, 1, 6, 1, 12, 0, 0, 0}, 0.0, 0));
}

TEST(SiderealTimeTest, MillisecondsAdvanceAtTheSiderealRate) {
  const double base = SiderealTimeOf({2010, 7, 0, 4, 3, 0, 0, 0}, 0.0, 0);
  const double later = SiderealTimeOf({2010, 7, 0, 4, 3, 0, 0, 500}, 0.0, 0);
  // 0.5 s of clock time is 1.00273790935 x 0.5 s of sidereal time.
  EXPECT_NEAR(later - base, 1.00273790935 * 0.5 / 3600.0 * 3.141592653589793 / 12.0, 1e-13);
}

}  // namespace
}  // namespace sidera
