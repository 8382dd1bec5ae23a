// The host program's plain logic: reading a plan, the choice of site, target
// names, and the parsing and formatting of angles and text.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"
#include "tools/sidera/plan.h"
#include "tools/sidera/site.h"
#include "tools/sidera/targets.h"

namespace sidera::tool {
namespace {

constexpr double kHour = kPi / 12.0;

// What the step reader says against WORDS for MODEL ("" when it takes
// them); the step it reads goes to STEP.
std::string Refusal(const Words& words, int model = 6, PlannedStep* step = nullptr) {
  PlannedStep ignored;
  std::string error, usage;
  const PlanContext context{host::FactsOf(model)};
  if (ParseStep(words, context, step != nullptr ? step : &ignored, &error, &usage)) return "";
  return error.empty() ? "(refused without a reason)" : error;
}

// The program's own validation table (tests/tools/cli_test.sh) shows that a
// bad step stops the whole plan; here, what each step reader accepts.
TEST(Plan, StepsAreCheckedAndResolvedBeforeAnythingMoves) {
  struct Case {
    const char* line;
    const char* error;  // "" when the step is accepted
  } cases[] = {
      {"goto 18:36:56 +38:47:01", ""},
      {"goto altaz 350 45", ""},
      {"goto axes -90 90", ""},
      {"goto 12:00 95", "outside -90..90"},
      {"goto altaz 10 91", "outside -90..90"},
      {"slew ra -find 10", ""},
      {"slew dec max", ""},
      {"slew 2 guide", "unknown axis"},
      {"slew 0 fast", "neither a speed name nor a number"},
      {"track 1e20", "not a time"},
      {"align Vega Arcturus Rigil Kentaurus", ""},
      {"align Vega Vega Vega Vega", "given twice"},
      {"align Vega Arcturus Altair Deneb Capella", ""},
      {"align --offset 1 1e9 Vega", "--offset"},
      {"align load /nonexistent/align.bin", "no such file"},
      {"align save /nonexistent/dir/align.bin", "not writable"},
      {"limits -40 80", "lower limit"},
      {"limits 0 30", "upper limit"},
      {"warp 9", "unknown step 'warp'"},
  };
  for (const Case& c : cases) {
    Words words;
    ASSERT_TRUE(SplitLine(c.line, &words));
    const std::string error = Refusal(words);
    EXPECT_EQ(error.empty(), *c.error == 0) << c.line << ": " << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.line << ": " << error;
  }
  // The same rate is within the alt-azimuth simulator's 8 deg/s and beyond
  // the 3.4 deg/s of a hex-command mount.
  EXPECT_EQ(Refusal({"slew", "0", "1500"}, 7), "");
  EXPECT_NE(Refusal({"slew", "0", "1500"}, 2), "");

  // A motion after park needs an unpark first (the refusal is in the
  // program's table).
  PlanError planError;
  EXPECT_TRUE(ParsePlan({{"park"}, {"unpark"}, {"goto", "Vega"}}, PlanContext{host::FactsOf(6)},
                        &planError));
}

TEST(Plan, AlignmentFilesAreReadWhenThePlanIsRead) {
  char path[] = "/tmp/sidera-align-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  AlignmentRecord record{};
  record.mountType = 6;
  ASSERT_EQ(write(fd, &record, sizeof record - 1), static_cast<ssize_t>(sizeof record - 1));
  EXPECT_NE(Refusal({"align", "load", path}).find("holds 199 bytes"), std::string::npos);
  ASSERT_EQ(write(fd, "\0", 1), 1);
  PlannedStep step;
  EXPECT_EQ(Refusal({"align", "load", path}, 6, &step), "");
  EXPECT_EQ(std::get<AlignLoadStep>(step.step).record.mountType, 6);
  close(fd);
  unlink(path);
}

// The command line wins, then the stored site, then nothing: the program's
// own site test runs the three (and a value that is not a number); here,
// what it does with half of each.
TEST(Site, ElevationAloneOverridesTheStoredSiteAndLatitudeNeedsLongitude) {
  char dir[] = "/tmp/sidera-site-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string stored = std::string(dir) + "/ZENARAWindow.conf";
  std::ofstream(stored) << "[General]\nElevation=100\nsiteLat=10\nsiteLon=20\n";
  Site site;
  std::string error;
  ASSERT_TRUE(ResolveSite({std::nullopt, std::nullopt, 50.0}, stored, &site, &error)) << error;
  EXPECT_NE(site.source.find("elevation from the command line"), std::string::npos) << site.source;
  EXPECT_NEAR(Degrees(site.observer.latitude), 10, 1e-12);
  EXPECT_EQ(site.observer.elevation, 50);
  EXPECT_FALSE(ResolveSite({1.0, std::nullopt, std::nullopt}, stored, &site, &error));
  EXPECT_NE(error.find("--lat and --lon together"), std::string::npos) << error;
  unlink(stored.c_str());
  rmdir(dir);
}

TEST(TextHelpers, ParsesAndFormatsAnglesTimesNumbersAndText) {
  const double vega = (18 + 36 / 60.0 + 56.3 / 3600) * kHour;
  const double refused = NAN;
  const std::pair<std::optional<double>, double> parsed[] = {
      {ParseRightAscension("18h36m56.3s"), vega},
      {ParseRightAscension("18:36:56.3"), vega},
      {ParseRightAscension("24:00:00"), refused},
      {ParseRightAscension("12:60:00"), refused},
      {ParseDegrees("38d47m01s"), Radians(38 + 47 / 60.0 + 1 / 3600.0)},
      {ParseDegrees("-00:30:00"), Radians(-0.5)},  // the sign applies to the whole angle
      {ParseDegrees("10:-5"), refused},
      {ParseNumber("1.5x"), refused},
      {ParseNumber("nan"), refused},
      {ParseNumber("1e400"), refused},
  };
  for (size_t i = 0; i < std::size(parsed); ++i) {
    const auto& [got, want] = parsed[i];
    ASSERT_EQ(got.has_value(), !std::isnan(want)) << "row " << i;
    if (got) {
      EXPECT_NEAR(*got, want, 1e-9) << "row " << i;
    }
  }

  const std::string deg = "\xC2\xB0";
  const std::pair<std::string, std::string> formatted[] = {
      {FormatHours(vega), "18h36m56.3s"},
      {FormatHours((23 + 59 / 60.0 + 59.97 / 3600) * kHour), "00h00m00.0s"},  // carries
      {FormatDegrees(Radians(-0.5)), "-00" + deg + "30'00\""},
      {FormatDegrees(Radians(-0.00001)), "+00" + deg + "00'00\""},  // no minus on zero
      {FormatAzimuth(Radians(-90)), "270.00" + deg},  // observers read 0..360 from north
      {FormatAzimuth(Radians(-0.000001)), "0.00" + deg},
      {JsonString("\"a\\b\nc\x01"), "\"\\\"a\\\\b\\nc\\u0001\""},
      {JsonNumber(NAN), "null"},
  };
  for (const auto& [got, want] : formatted) EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace sidera::tool
