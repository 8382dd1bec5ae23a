// The host's view of time. The library's clock can run faster than real
// time (SIDERA_CLOCK_SCALE); the host's sky clock runs at the same scale so
// that the hour angles it computes agree with the motions the library makes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace sidera::tool {

// The clock scale the library will use: SIDERA_CLOCK_SCALE when it is a
// positive number, else 1.
double ClockScaleFromEnvironment();

class SkyClock {
 public:
  // Starts at `startUnixMillis` (default: the real time now) and runs
  // `scale` times faster than real time.
  explicit SkyClock(double scale, std::optional<int64_t> startUnixMillis = std::nullopt);

  double scale() const { return scale_; }
  // Milliseconds since 1970-01-01T00:00:00Z on the sky clock.
  int64_t NowUnixMillis() const;
  // Sky seconds since the clock started.
  double ElapsedSeconds() const;
  // Sleeps `skySeconds` of sky time.
  void Sleep(double skySeconds) const;

 private:
  double scale_;
  int64_t startUnixMillis_;
  std::chrono::steady_clock::time_point origin_;
};

}  // namespace sidera::tool
