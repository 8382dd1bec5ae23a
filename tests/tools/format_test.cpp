#include "tools/sidera/format.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tools/sidera/astro.h"

namespace sidera::tool {
namespace {

constexpr double kHour = kPi / 12.0;

TEST(AngleText, HoursRoundAndCarryIntoTheNextUnit) {
  struct Case {
    double radians;
    const char* text;
  } cases[] = {
      {0.0, "00h00m00.0s"},
      {kPi, "12h00m00.0s"},
      {(18 + 36 / 60.0 + 56.3 / 3600) * kHour, "18h36m56.3s"},
      {(5 + 59 / 60.0 + 59.96 / 3600) * kHour, "06h00m00.0s"},   // 59.96 s rounds up
      {(23 + 59 / 60.0 + 59.97 / 3600) * kHour, "00h00m00.0s"},  // and past 24h
      {-1 * kHour, "23h00m00.0s"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatHours(c.radians), c.text) << c.radians;
}

TEST(AngleText, DegreesKeepTheSignOfSmallNegativeAngles) {
  struct Case {
    double degrees;
    const char* text;
  } cases[] = {
      {38 + 47 / 60.0 + 1 / 3600.0,
       "+38\xC2\xB0"
       "47'01\""},
      {-0.5,
       "-00\xC2\xB0"
       "30'00\""},  // the sign of a value under one degree
      {-(16 + 42 / 60.0 + 58 / 3600.0),
       "-16\xC2\xB0"
       "42'58\""},
      {59.99999,
       "+60\xC2\xB0"
       "00'00\""},
      {-0.00001,
       "+00\xC2\xB0"
       "00'00\""},  // rounds to zero: no minus sign
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDegrees(Radians(c.degrees)), c.text) << c.degrees;
}

TEST(AngleInput, RightAscensionInEveryWrittenForm) {
  const double vega = (18 + 36 / 60.0 + 56.3 / 3600) * kHour;
  for (const char* text : {"18h36m56.3s", "18:36:56.3", "18h 36m 56.3s", "18.615638888888"}) {
    std::optional<double> ra = ParseRightAscension(text);
    ASSERT_TRUE(ra.has_value()) << text;
    EXPECT_NEAR(*ra, vega, 1e-9) << text;
  }
  for (const char* bad :
       {"24:00:00", "-1", "12:60:00", "12:30:75", "abc", "", "12:30:00:01", "12.5:30", "12x"}) {
    EXPECT_FALSE(ParseRightAscension(bad).has_value()) << bad;
  }
}

TEST(AngleInput, DegreesSignAppliesToTheWholeAngle) {
  struct Case {
    const char* text;
    double degrees;
  } cases[] = {
      {"+38:47:01", 38 + 47 / 60.0 + 1 / 3600.0},
      {"38d47m01s", 38 + 47 / 60.0 + 1 / 3600.0},
      {"38\xC2\xB0"
       "47'01\"",
       38 + 47 / 60.0 + 1 / 3600.0},
      {"-8.2", -8.2},
      {"-00:30:00", -0.5},  // a minus before zero degrees still counts
      {"-0:30", -0.5},
      {"270", 270},
  };
  for (const Case& c : cases) {
    std::optional<double> r = ParseDegrees(c.text);
    ASSERT_TRUE(r.has_value()) << c.text;
    EXPECT_NEAR(*r, Radians(c.degrees), 1e-12) << c.text;
  }
  for (const char* bad : {"", "abc", "10:xx", "10:-5", "1e999", "--5"}) {
    EXPECT_FALSE(ParseDegrees(bad).has_value()) << bad;
  }
}

TEST(AngleInput, NumbersMustUseTheWholeTextAndBeFinite) {
  EXPECT_EQ(ParseNumber("1.5"), std::optional<double>(1.5));
  EXPECT_EQ(ParseNumber("-40"), std::optional<double>(-40));
  for (const char* bad : {"", "1.5x", " ", "nan", "inf", "1e400"}) {
    EXPECT_FALSE(ParseNumber(bad).has_value()) << bad;
  }
}

TEST(StateText, NamesEveryMountStateAndAxisDirection) {
  EXPECT_EQ(MountStateName(1), "stopped");
  EXPECT_EQ(MountStateName(2), "tracking");
  EXPECT_EQ(MountStateName(4), "goto");
  EXPECT_EQ(MountStateName(8), "slewing");
  EXPECT_EQ(MountStateName(0), "state 0");
  EXPECT_EQ(AxisStateName(1), "stopped");
  EXPECT_EQ(AxisStateName(12), "goto+");
  EXPECT_EQ(AxisStateName(4), "goto-");
  EXPECT_EQ(AxisStateName(10), "rate+");
  EXPECT_EQ(AxisStateName(2), "rate-");
}

TEST(JsonText, EscapesWhatJsonForbidsAndKeepsUtf8) {
  EXPECT_EQ(JsonString("Alt/Az \"Mount\""), "\"Alt/Az \\\"Mount\\\"\"");
  EXPECT_EQ(JsonString("a\\b\nc\x01"), "\"a\\\\b\\nc\\u0001\"");
  EXPECT_EQ(JsonString("\xE4\xBB\xBF"), "\"\xE4\xBB\xBF\"");
  EXPECT_EQ(JsonNumber(NAN), "null");
  EXPECT_EQ(JsonNumber(INFINITY), "null");
  EXPECT_EQ(JsonNumber(-2.5), "-2.5");
}

}  // namespace
}  // namespace sidera::tool
