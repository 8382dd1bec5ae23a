// The tick clock: injected sources, the 2^32 wrap and scaled time.

#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace sidera::platform {
namespace {

TEST(TickClock, ScaledSourceRunsFasterAndNeverStepsBackAcrossTheWrap) {
  ScaledTickSource source(1000.0, 0xFFFFFFF0u);
  // The first reading comes before the real start, so that the 3 real ms
  // measured below all lie after it.
  const uint32_t first = source.Now();
  const auto realStart = std::chrono::steady_clock::now();
  uint32_t previous = first;
  while (std::chrono::steady_clock::now() - realStart < std::chrono::milliseconds(3)) {
    const uint32_t now = source.Now();
    ASSERT_LT(now - previous, 0x80000000u) << "the counter went backwards";
    previous = now;
  }
  EXPECT_GE(source.Now() - first, 3000u);  // 3 real ms at 1000 ticks per ms
  // Tick durations follow the installed scale; unusable scales fall back to
  // real time instead of dividing by zero.
  const struct {
    double scale;
    uint32_t ticks;
    std::chrono::nanoseconds real;
  } cases[] = {{1000.0, 1000, std::chrono::milliseconds(1)},
               {0.5, 2000, std::chrono::seconds(4)},
               {0.0, 5, std::chrono::milliseconds(5)},
               {NAN, 5, std::chrono::milliseconds(5)},
               {1e290, 5, std::chrono::milliseconds(5)}};
  for (const auto& c : cases) {
    ManualTickSource manual(0, c.scale);
    ScopedTickSource installed(manual);
    EXPECT_EQ(ToRealDuration(c.ticks), c.real) << "scale " << c.scale;
  }
}

// The default source reads its settings once per process, so each case runs
// in a fresh child process (threadsafe death tests re-execute the binary).
// A start that is not honoured leaves the steady clock's own milliseconds.
TEST(TickClockDeathTest, DefaultSourceTakesScaleAndStartFromTheEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    const char *scale, *start;
    double expectedScale;
    bool startHonoured;
  } cases[] = {{"1000", "4294967000", 1000.0, true},
               {"2.5", "0", 2.5, true},
               {"0.001", "0", 0.001, true},  // the accepted range, both ends
               {"10000", "0", 10000.0, true},
               {"abc", "12x", 1.0, false},
               {"-5", "4294967296", 1.0, false},
               {"inf", "-1", 1.0, false},
               {"1e290", "0", 1.0, true},  // would overflow the tick arithmetic
               {"10001", "0", 1.0, true},
               {"0.0009", "0", 1.0, true}};
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          setenv("SIDERA_CLOCK_SCALE", c.scale, 1);
          setenv("SIDERA_CLOCK_START", c.start, 1);
          const uint32_t now = DefaultTickSource().Now();
          const uint32_t expected =
              c.startHonoured
                  ? static_cast<uint32_t>(std::strtoull(c.start, nullptr, 10))
                  : static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
          // Well under a minute of tick time separates the two readings.
          const bool startOk = now - expected < 60000u || expected - now < 60000u;
          std::exit(DefaultTickSource().Scale() == c.expectedScale && startOk ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << "scale '" << c.scale << "' start '" << c.start << "'";
  }
}

}  // namespace
}  // namespace sidera::platform
