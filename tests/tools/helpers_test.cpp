// The host program's pure helpers: sky conversions, precession, and the
// parsing and formatting of times, angles and text.
#include <gtest/gtest.h>

#include <cmath>

#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"
#include "tools/sidera/text.h"

namespace sidera::tool {
namespace {

constexpr double kHour = kPi / 12.0;

TEST(SkyHelpers, HourAngleFollowsSiderealTimeAcrossMidnightAndBack) {
  struct Case {
    double ra, lst, hourAngle;
  } cases[] = {
      {6 * kHour, 8 * kHour, 2 * kHour},    // two hours west of the meridian
      {23 * kHour, 1 * kHour, 2 * kHour},   // across 0h of sidereal time
      {1 * kHour, 23 * kHour, -2 * kHour},  // east of the meridian
      {0.0, 12 * kHour, kPi},               // lower culmination: +pi, not -pi
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(HourAngleOf(c.ra, c.lst), c.hourAngle, 1e-12) << c.ra << " " << c.lst;
    EXPECT_NEAR(RightAscensionOf(c.hourAngle, c.lst), c.ra, 1e-12) << c.ra << " " << c.lst;
  }
}

TEST(SkyHelpers, PrecessionMovesAJ2000PlaceToTheDateAndBack) {
  // A worked textbook case: theta Persei, J2000 mean place 41.054063,
  // +49.227750 degrees, precessed to 2028 November 13.19 (JD 2462088.69),
  // is 41.547214, +49.348483.
  const int64_t date = 1857702816000;
  const Equatorial j2000{Radians(41.054063), Radians(49.227750)};
  const Equatorial ofDate = PrecessFromJ2000(j2000, date);
  EXPECT_NEAR(Degrees(ofDate.rightAscension), 41.547214, 3e-5);
  EXPECT_NEAR(Degrees(ofDate.declination), 49.348483, 2e-5);
  const Equatorial back = PrecessToJ2000(ofDate, date);
  EXPECT_LT(
      Separation(back.rightAscension, back.declination, j2000.rightAscension, j2000.declination),
      1e-10);
}

std::optional<double> Millis(std::optional<int64_t> t) {
  return t ? std::optional<double>(static_cast<double>(*t)) : std::nullopt;
}

TEST(TextHelpers, ParsesAndFormatsAnglesTimesNumbersAndText) {
  const double vega = (18 + 36 / 60.0 + 56.3 / 3600) * kHour;
  const double refused = NAN;
  const std::pair<std::optional<double>, double> parsed[] = {
      {ParseRightAscension("18h36m56.3s"), vega},
      {ParseRightAscension("18:36:56.3"), vega},
      {ParseRightAscension("18.615638888888"), vega},
      {ParseRightAscension("24:00:00"), refused},
      {ParseRightAscension("12:60:00"), refused},
      {ParseDegrees("38d47m01s"), Radians(38 + 47 / 60.0 + 1 / 3600.0)},
      {ParseDegrees("-00:30:00"), Radians(-0.5)},  // the sign applies to the whole angle
      {ParseDegrees("10:-5"), refused},
      {ParseNumber("-40"), -40},
      {ParseNumber("1.5x"), refused},
      {ParseNumber("nan"), refused},
      {ParseNumber("inf"), refused},
      {ParseNumber("1e400"), refused},
      {Millis(ParseUtc("2000-01-01T12:00:00.25Z")), 946728000250},
      {Millis(ParseUtc("1969-12-31T23:59:59.999")), -1},
      {Millis(ParseUtc("2000-02-29T00:00:00")), 951782400000},
      {Millis(ParseUtc("2023-02-29T00:00:00")), refused},
      {Millis(ParseUtc("2000-04-31T00:00:00")), refused},
  };
  for (size_t i = 0; i < std::size(parsed); ++i) {
    const auto& [got, want] = parsed[i];
    ASSERT_EQ(got.has_value(), !std::isnan(want)) << "row " << i;
    if (got) {
      EXPECT_NEAR(*got, want, 1e-9) << "row " << i;
    }
  }

  const char16_t loneHigh[] = {u'a', 0xD83D, u'b', 0};
  const std::pair<std::string, std::string> formatted[] = {
      {FormatHours(vega), "18h36m56.3s"},
      {FormatHours((5 + 59 / 60.0 + 59.96 / 3600) * kHour), "06h00m00.0s"},  // carries
      {FormatHours((23 + 59 / 60.0 + 59.97 / 3600) * kHour), "00h00m00.0s"},
      {FormatHours(-1 * kHour), "23h00m00.0s"},
      {FormatDegrees(Radians(-0.5)),
       "-00\xC2\xB0"
       "30'00\""},
      {FormatDegrees(Radians(-0.00001)),
       "+00\xC2\xB0"
       "00'00\""},  // no minus on zero
      {FormatDegrees(Radians(59.99999)),
       "+60\xC2\xB0"
       "00'00\""},
      {JsonString("\"a\\b\nc\x01"), "\"\\\"a\\\\b\\nc\\u0001\""},
      {JsonNumber(NAN), "null"},
      {JsonNumber(-2.5), "-2.5"},
      {Utf16ToUtf8(u"\U0001F52D"), "\xF0\x9F\x94\xAD"},  // a surrogate pair: one code point
      {Utf16ToUtf8(loneHigh),
       "a\xEF\xBF\xBD"
       "b"},  // a lone half: replacement character
  };
  for (const auto& [got, want] : formatted) EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace sidera::tool
