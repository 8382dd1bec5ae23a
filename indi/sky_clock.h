// The driver's sky clock: UTC as the client last set it (TIME_UTC), running at
// the library's clock scale, so that the hour angles the driver computes agree
// with the motions a scaled library makes.
#pragma once

#include <chrono>
#include <cstdint>

#include "sidera.h"

namespace sidera::indi {

// SIDERA_CLOCK_SCALE as the library reads it: a positive finite number, else 1.
double ClockScaleFromEnvironment();

class SkyClock {
 public:
  using Steady = std::chrono::steady_clock;

  // Shows `utcMillis` at steady time `at` and runs `scale` times faster than
  // real time from there.
  SkyClock(double scale, int64_t utcMillis, Steady::time_point at);

  // UTC, in milliseconds since 1970-01-01T00:00:00Z, at steady time `at`.
  int64_t UtcMillis(Steady::time_point at) const;
  // Restarts the clock at `utcMillis` at steady time `at` (the client set the time).
  void Set(int64_t utcMillis, Steady::time_point at);
  // Real milliseconds that `skyMillis` of sky time last (at least 1).
  int RealMillis(double skyMillis) const;
  double scale() const { return scale_; }

 private:
  double scale_;
  int64_t originUtc_;
  Steady::time_point origin_;
};

// Milliseconds since the epoch of a UTC date and time (proleptic Gregorian).
int64_t UtcMillisOf(int year, int month, int day, int hour, int minute, double second);
// The civil fields of a UTC instant, as ComputeSiderealTime takes them.
CivilDateTime CivilOf(int64_t utcMillis);

}  // namespace sidera::indi
