// What every host relies on alike: the scaled sky clock and civil time, the
// model table, Location's stored site, serial device paths, library texts and
// the goto watch.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/angle_text.h"
#include "host/civil_time.h"
#include "host/goto_watch.h"
#include "host/location_site.h"
#include "host/model_facts.h"
#include "host/motion_rates.h"
#include "host/serial_device.h"
#include "host/settings_file.h"
#include "host/sky_clock.h"
#include "host/utf8.h"

namespace sidera::host {
namespace {

// The watch waits for the record of its own goto (number 7 here): an older
// goto's record is not its end, a newer goto started or ended means its own
// was replaced, and a goto the library never ends is hung past the limit.
TEST(GotoWatch, EndsWithTheRecordOfItsOwnGoto) {
  using E = GotoWatch::End;
  using S = GotoWatch::State;
  auto record = [](uint32_t command, uint32_t started, int32_t outcome, int32_t code = 0) {
    MotionOutcome r{};
    r.command = command;
    r.started = started;
    r.outcome = outcome;
    r.code = code;
    r.axis = code == 101 ? 1 : -1;
    return r;
  };
  const struct {
    const char* name;
    MotionOutcome reading;
    double at;  // seconds after the start; the limit is 100
    S state;
    E end;
    int32_t code;
  } cases[] = {
      {"running", record(6, 7, SIDERA_OUTCOME_STOPPED, 105), 1, S::kRunning, E::kNone, 0},
      {"arrived", record(7, 7, SIDERA_OUTCOME_ARRIVED), 1, S::kEnded, E::kArrived, 0},
      {"short", record(7, 7, SIDERA_OUTCOME_NOT_ARRIVED), 1, S::kEnded, E::kNotArrived, 0},
      {"stopped", record(7, 7, SIDERA_OUTCOME_STOPPED, 105), 1, S::kEnded, E::kStopped, 105},
      {"replaced", record(7, 9, SIDERA_OUTCOME_REPLACED, 105), 1, S::kEnded, E::kReplaced, 105},
      {"failed", record(7, 7, SIDERA_OUTCOME_FAILED, 101), 1, S::kEnded, E::kFailed, 101},
      {"newer started", record(6, 8, SIDERA_OUTCOME_ARRIVED), 1, S::kEnded, E::kReplaced, 105},
      {"newer ended", record(9, 9, SIDERA_OUTCOME_ARRIVED), 1, S::kEnded, E::kReplaced, 105},
      {"hung", record(6, 7, SIDERA_OUTCOME_ARRIVED), 101, S::kEnded, E::kTimedOut, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GotoWatch watch;
    EXPECT_EQ(watch.Observe(c.reading, 0), S::kIdle);
    watch.Start(record(6, 7, SIDERA_OUTCOME_ARRIVED), 50, 100);
    EXPECT_EQ(watch.command(), 7u);
    EXPECT_EQ(watch.Observe(c.reading, 50 + c.at), c.state);
    EXPECT_EQ(watch.end(), c.end);
    EXPECT_EQ(watch.active(), c.state == S::kRunning);
    if (c.state == S::kEnded) {
      EXPECT_EQ(watch.outcome().command, 7u);
      EXPECT_EQ(watch.outcome().code, c.code);
      EXPECT_EQ(watch.Observe(c.reading, 50 + c.at), S::kIdle) << "one end only";
    }
  }
}

TEST(CivilTime, InstantsAndFieldsGoBothWaysAndTextsParse) {
  const struct {
    int y, mo, d, h, mi;
    double s;
    int64_t ms;
  } instants[] = {{1970, 1, 1, 0, 0, 0.0, 0},
                  {2000, 1, 1, 12, 0, 0.0, 946728000000},
                  {2024, 2, 29, 23, 59, 59.999, 1709251199999},
                  {1969, 12, 31, 23, 59, 59.5, -500}};
  for (const auto& t : instants) {
    EXPECT_EQ(UtcMillisOf(t.y, t.mo, t.d, t.h, t.mi, t.s), t.ms);
    const CivilDateTime c = CivilOf(t.ms);
    const int ms = c.second * 1000 + c.millisecond;
    EXPECT_EQ(
        (std::vector<int>{c.year, c.month, c.day, c.hour, c.minute, ms}),
        (std::vector<int>{t.y, t.mo, t.d, t.h, t.mi, static_cast<int>(std::lround(t.s * 1000))}));
  }
  EXPECT_EQ(CivilOf(0).dayOfWeek, 4);  // a Thursday
  const struct {
    const char* text;
    std::optional<int64_t> ms;
  } texts[] = {
      {"2000-01-01T12:00:00.25Z", 946728000250},       {"1969-12-31T23:59:59.999", -1},
      {"2016-03-04T17:45:31.1234567Z", 1457113531123},  // as Alpaca clients send it
      {"2023-02-29T00:00:00", std::nullopt},           {"2023-01-01 00:00:00", std::nullopt},
      {"2023-01-01T00:00:00.x", std::nullopt}};
  for (const auto& t : texts) EXPECT_EQ(ParseUtc(t.text), t.ms) << t.text;
  EXPECT_EQ(FormatUtc(1709251199999), "2024-02-29T23:59:59.999Z");
}

TEST(SkyClock, RunsAtTheLibrarysScaleAndCanBeSet) {
  const auto t0 = SkyClock::Steady::time_point{} + std::chrono::hours(1);
  SkyClock clock(10.0, 1000, t0);
  EXPECT_EQ(clock.UtcMillis(t0 + std::chrono::milliseconds(1500)), 16000);
  EXPECT_EQ(clock.RealMillis(1000), 100);
  EXPECT_EQ(clock.RealMillis(0.1), 1);
  clock.Set(-5000, t0 + std::chrono::seconds(2));
  EXPECT_EQ(clock.UtcMillis(t0 + std::chrono::seconds(3)), 5000);
  EXPECT_EQ(SkyClock(-3.0, 0, t0).scale(), 1.0);
  EXPECT_EQ(SkyClock(NAN, 0, t0).scale(), 1.0);

  // The library's rule for the variable: 0.001 to 10000, anything else is 1.
  const std::pair<const char*, double> scales[] = {
      {"20", 20}, {"0.001", 0.001}, {"10000", 10000}, {"0.0005", 1}, {"20000", 1},
      {"-2", 1},  {"2x", 1},        {"nan", 1},       {"", 1}};
  for (const auto& [text, want] : scales) {
    setenv("SIDERA_CLOCK_SCALE", text, 1);
    EXPECT_EQ(ClockScaleFromEnvironment(), want) << text;
  }
  unsetenv("SIDERA_CLOCK_SCALE");
}

TEST(ModelFacts, EveryModelHasItsKindAndRates) {
  const std::vector<int> equatorial{1, 3, 4, 6};
  for (int type = 0; type < ModelCount(); ++type) {
    const ModelFacts* m = FactsOf(type);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->type, type);
    const bool eq = std::find(equatorial.begin(), equatorial.end(), type) != equatorial.end();
    EXPECT_EQ(m->equatorial, eq) << type;
    EXPECT_EQ(IsSimulator(*m), type == 6 || type == 7) << type;
    EXPECT_GT(m->maxSlewDegreesPerSecond, 3.0);
    EXPECT_GT(m->gotoToleranceDegrees, 0.0);
    EXPECT_EQ(TrackingRatesOf(*m), (eq ? std::vector<int>{0, 1, 2} : std::vector<int>{0})) << type;
  }
  EXPECT_FALSE(FollowsTrackingRate(*FactsOf(6), 3));  // no such rate
  EXPECT_FALSE(FollowsTrackingRate(*FactsOf(6), -1));
  EXPECT_EQ(FactsOf(-1), nullptr);
  EXPECT_EQ(FactsOf(ModelCount()), nullptr);
}

// Each tracking rate turns the sky once in its period: a sidereal day, a
// solar day, the Moon's mean return to the meridian.
TEST(MotionRates, TrackingRatesTurnOnceAPeriod) {
  const double periods[][2] = {
      {kSiderealTracking, 86164.09065}, {kLunarTracking, 89460.0}, {kSolarTracking, 86400.0}};
  for (const auto& p : periods) {
    EXPECT_NEAR(TrackingSkyRate(static_cast<int>(p[0])), 2 * M_PI / p[1], 1e-18) << p[0];
  }
}

// A value that is not a number is in the host program's own site test.
TEST(LocationSite, SettingsAreReadAsLocationWritesThem) {
  struct Case {
    const char* text;
    double lat, lon, elev;  // NAN: absent
    const char* problem;
  } cases[] = {
      {"siteLat=\"-33.8688\"\r\nsiteLon=151.2093\r\n", -33.8688, 151.2093, NAN, ""},
      {"[Other]\nsiteLat=1\n[General]\nsiteLon=2\n", NAN, 2, NAN, ""},
      {"[General]\nsiteLon=200\n", NAN, NAN, NAN, "outside -180..180"},
      {"[General]\nElevation=9999\n", NAN, NAN, NAN, "outside -1000..8848"},
  };
  const auto same = [](const std::optional<double>& v, double want) {
    return v ? *v == want : std::isnan(want);
  };
  for (const Case& c : cases) {
    const StoredSite s = ParseStoredSite(c.text);
    EXPECT_EQ(s.problem.empty(), *c.problem == 0) << c.text << s.problem;
    EXPECT_NE(s.problem.find(c.problem), std::string::npos) << s.problem;
    if (*c.problem == 0) {
      EXPECT_TRUE(same(s.latitude, c.lat) && same(s.longitude, c.lon) && same(s.elevation, c.elev))
          << c.text;
    }
  }
  EXPECT_FALSE(ReadStoredSite("/nonexistent/ZENARAWindow.conf").fileFound);
}

TEST(AngleText, TypedCoordinatesReadAsDecimalOrSexagesimal) {
  const struct {
    const char* text;
    double value;  // NAN: refused
  } rows[] = {{"5.59", 5.59},
              {"5 35 17", 5 + 35 / 60.0 + 17 / 3600.0},
              {"5h35m17s", 5 + 35 / 60.0 + 17 / 3600.0},
              {"-5:23:28", -(5 + 23 / 60.0 + 28 / 3600.0)},
              {"-5\u00b023'28\"", -(5 + 23 / 60.0 + 28 / 3600.0)},
              {"-0 30", -0.5},  // the sign of a zero first part holds
              {"5 60", NAN},
              {"5 -3", NAN},
              {"1 2 3 4", NAN},
              {"north", NAN},
              {"", NAN}};
  for (const auto& row : rows) {
    const std::optional<double> read = ReadSexagesimal(row.text);
    if (std::isnan(row.value)) {
      EXPECT_FALSE(read.has_value()) << row.text;
    } else {
      ASSERT_TRUE(read.has_value()) << row.text;
      EXPECT_NEAR(*read, row.value, 1e-12) << row.text;
    }
  }
}

// A settings file is replaced whole or not at all, in the user's folder.
TEST(SettingsFile, ReplacedWholeOrNotAtAll) {
  const std::string folder = ::testing::TempDir() + "/settings_file_test";
  const std::string path = folder + "/a/b/settings.json";
  std::string error;
  ASSERT_TRUE(WriteWholeFile(path, "first\n", &error)) << error;
  ASSERT_TRUE(WriteWholeFile(path, "second\n", &error)) << error;
  std::ifstream read(path);
  std::string text((std::istreambuf_iterator<char>(read)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "second\n");
  EXPECT_FALSE(std::ifstream(path + ".new").good()) << "no temporary left behind";
  EXPECT_FALSE(WriteWholeFile("/dev/null/sidera/settings.json", "x", &error));
  EXPECT_NE(error.find("/dev/null/sidera"), std::string::npos) << error;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = xdg != nullptr ? xdg : "";
  setenv("XDG_CONFIG_HOME", "/x", 1);
  EXPECT_EQ(UserConfigPath("sidera/alpaca.json"), "/x/sidera/alpaca.json");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // not a place: HOME's .config is used
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0) {
    EXPECT_EQ(UserConfigPath("z.conf"), std::string(home) + "/.config/z.conf");
  }
  if (xdg != nullptr) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

// What is wrong with a device (missing, a file, a directory, not a terminal)
// is in the host session suite's connect test, a device the user may not
// open in the host program's own device test.
TEST(SerialDevice, PathsFollowTheLibrarysPatternBothWays) {
  EXPECT_EQ(SerialDevicePath("", 2), "/dev/ttyS2");
  EXPECT_EQ(SerialDevicePath("/dev/ttyUSB%d", 0), "/dev/ttyUSB0");
  EXPECT_EQ(SerialDevicePath("/dev/pts/7", 3), "/dev/pts/7");
  EXPECT_EQ(SerialDevicePath("/tmp/100%%-%d-%d", 4), "/tmp/100%-4-%d");
  const struct {
    const char* path;
    const char* pattern;
    int number;
  } cases[] = {{"/dev/ttyUSB0", "/dev/ttyUSB%d", 0},      {"/dev/pts/7", "/dev/pts/%d", 7},
               {"/dev/ttyS255", "/dev/ttyS%d", 255},      {"/dev/pts/300", "/dev/pts/300", 0},
               {"/dev/ttyS01", "/dev/ttyS01", 0},         {"/dev/mount", "/dev/mount", 0},
               {"/tmp/100%/tty3", "/tmp/100%%/tty%d", 3}, {"/dev/a%d", "/dev/a%%d", 0}};
  for (const auto& c : cases) {
    const auto s = PortSettingFor(c.path);
    ASSERT_TRUE(s.has_value()) << c.path;
    EXPECT_EQ(s->pattern, c.pattern);
    EXPECT_EQ(s->number, c.number);
    EXPECT_EQ(SerialDevicePath(s->pattern, s->number), c.path);  // the library opens that path
  }
  EXPECT_FALSE(PortSettingFor("").has_value());
}

// Chinese names as the program prints them are in its models case.
TEST(Utf8, LibraryTextsConvertWholeCodePoints) {
  const char16_t loneHigh[] = {u'a', 0xD83D, u'b', 0};
  EXPECT_EQ(Utf8Of(u"\U0001F52D"), "\xF0\x9F\x94\xAD");  // a surrogate pair: one code point
  EXPECT_EQ(Utf8Of(loneHigh), std::string("a\xEF\xBF\xBD") + "b");  // a lone half: U+FFFD
  EXPECT_EQ(Utf8Of(nullptr), "");
}

}  // namespace
}  // namespace sidera::host
