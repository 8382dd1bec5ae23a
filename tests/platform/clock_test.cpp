#include "sidera/platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "env_guard.h"

namespace sidera::platform {
namespace {

TEST(TickClock, ManualSourceMovesOnlyWhenToldAndWrapsAt32Bits) {
  ManualTickSource source(0xFFFFFF00u);
  ScopedTickSource installed(source);
  const uint32_t start = Now();
  EXPECT_EQ(start, 0xFFFFFF00u);
  source.Advance(0x180);
  EXPECT_EQ(Now(), 0x80u);
  // Elapsed time across the wrap is plain unsigned subtraction.
  EXPECT_EQ(Now() - start, 0x180u);
  source.Set(7);
  EXPECT_EQ(Now(), 7u);
}

TEST(TickClock, ScopedSourcesNestAndRestoreTheDefault) {
  ManualTickSource outer(100), inner(200);
  {
    ScopedTickSource a(outer);
    {
      ScopedTickSource b(inner);
      EXPECT_EQ(&CurrentTickSource(), &inner);
    }
    EXPECT_EQ(&CurrentTickSource(), &outer);
  }
  EXPECT_EQ(&CurrentTickSource(), &DefaultTickSource());
  SetTickSource(&outer);
  EXPECT_EQ(Now(), 100u);
  SetTickSource(nullptr);
  EXPECT_EQ(&CurrentTickSource(), &DefaultTickSource());
}

TEST(TickClock, ScaledSourceRunsFasterAndNeverStepsBackAcrossTheWrap) {
  ScaledTickSource source(1000.0, 0xFFFFFFF0u);
  const auto realStart = std::chrono::steady_clock::now();
  uint32_t previous = source.Now();
  const uint32_t first = previous;
  while (std::chrono::steady_clock::now() - realStart < std::chrono::milliseconds(3)) {
    const uint32_t now = source.Now();
    EXPECT_LT(now - previous, 0x80000000u) << "the counter went backwards";
    previous = now;
  }
  // Three real milliseconds are at least 3000 ticks at this scale.
  EXPECT_GE(source.Now() - first, 3000u);
}

TEST(TickClock, TickDurationsScaleWithTheInstalledSource) {
  struct Case {
    double scale;
    uint32_t ticks;
    std::chrono::nanoseconds real;
  };
  const Case cases[] = {
      {1000.0, 1000, std::chrono::milliseconds(1)},
      {0.5, 2000, std::chrono::seconds(4)},
      {1.0, 0, std::chrono::nanoseconds(0)},
      // Unusable scales fall back to real time instead of dividing by zero.
      {0.0, 5, std::chrono::milliseconds(5)},
      {-3.0, 5, std::chrono::milliseconds(5)},
      {NAN, 5, std::chrono::milliseconds(5)},
  };
  for (const Case& c : cases) {
    ManualTickSource source(0, c.scale);
    ScopedTickSource installed(source);
    EXPECT_EQ(ToRealDuration(c.ticks), c.real) << "scale " << c.scale;
  }
}

// The default source reads its settings once per process, so each case runs
// in a fresh child process (death tests re-execute the binary).
TEST(TickClockDeathTest, DefaultSourceTakesScaleAndStartFromTheEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* scale;
    const char* start;
    double expectedScale;
    bool startHonoured;
  };
  const Case cases[] = {
      {"1000", "4294967000", 1000.0, true}, {"2.5", "0", 2.5, true}, {"abc", "12x", 1.0, false},
      {"-5", "4294967296", 1.0, false},     {"0", "-1", 1.0, false}, {"inf", "", 1.0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          setenv("SIDERA_CLOCK_SCALE", c.scale, 1);
          setenv("SIDERA_CLOCK_START", c.start, 1);
          TickSource& source = DefaultTickSource();
          const uint32_t now = source.Now();
          // Without a usable start the counter follows the steady clock's
          // own milliseconds.
          const uint32_t expectedStart =
              c.startHonoured
                  ? static_cast<uint32_t>(std::strtoull(c.start, nullptr, 10))
                  : static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
          const bool scaleOk = source.Scale() == c.expectedScale;
          // Well under a minute of tick time has passed since start-up.
          const bool startOk = static_cast<uint32_t>(now - expectedStart) < 60000u ||
                               static_cast<uint32_t>(expectedStart - now) < 60000u;
          std::exit(scaleOk && startOk ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << "scale '" << c.scale << "' start '" << c.start << "'";
  }
}

}  // namespace
}  // namespace sidera::platform
