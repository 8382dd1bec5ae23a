// The hosts' sky clock: UTC running at the library's clock scale, so that the
// hour angles a host computes agree with the motions a scaled library makes.
// It starts at the real time or at a given instant and can be set again (a
// client sets the date and time).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace sidera::host {

// The clock scale the library uses: SIDERA_CLOCK_SCALE when it is a number
// from 0.001 to 10000, else 1 (the library ignores anything else, and the sky
// clock must do the same or the two would disagree).
double ClockScaleFromEnvironment();

class SkyClock {
 public:
  using Steady = std::chrono::steady_clock;

  // Starts now at `startUtcMillis` (default: the real time now) and runs
  // `scale` times faster than real time. A scale that is not a positive
  // finite number means 1.
  explicit SkyClock(double scale, std::optional<int64_t> startUtcMillis = std::nullopt);
  // Shows `utcMillis` at steady time `at`.
  SkyClock(double scale, int64_t utcMillis, Steady::time_point at);

  double scale() const { return scale_; }
  // UTC, in milliseconds since 1970-01-01T00:00:00Z, at steady time `at`.
  int64_t UtcMillis(Steady::time_point at) const;
  int64_t NowUnixMillis() const { return UtcMillis(Steady::now()); }
  // Sky seconds since the clock started or was last set.
  double ElapsedSeconds() const;
  // Restarts the clock at `utcMillis` at steady time `at`.
  void Set(int64_t utcMillis, Steady::time_point at);
  // Sleeps `skySeconds` of sky time.
  void Sleep(double skySeconds) const;
  // Real milliseconds that `skyMillis` of sky time last (at least 1).
  int RealMillis(double skyMillis) const;

 private:
  double scale_;
  int64_t originUtc_;
  Steady::time_point origin_;
};

}  // namespace sidera::host
