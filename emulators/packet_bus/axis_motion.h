// Position model of one motor controller. Positions are counts, 2^24 per
// revolution, kept as signed 24-bit values. Time is passed in (seconds of
// motion time), so the model itself never reads a clock.
#pragma once

#include <cstdint>

namespace sidera::emulator::packet_bus {

inline constexpr double kCountsPerRevolution = 16777216.0;  // 2^24
inline constexpr double kHalfRevolution = 8388608.0;        // 2^23

// Degrees per second -> counts per second.
double DegreesToCounts(double degrees);
// Rate wire value (1/1024 arc-second per second) -> counts per second.
double RateWireToCountsPerSecond(double wireValue);
// Any count -> the same angle as a signed 24-bit count.
int32_t WrapCounts(int64_t counts);

class AxisMotion {
 public:
  AxisMotion(int32_t counts, double now);

  int32_t Counts(double now);
  void SetCounts(int32_t counts, double now);
  // Straight line toward `target` through signed count space (never across
  // the ±2^23 seam), then stop. Replaces any rate motion.
  void StartGoto(int32_t target, double countsPerSecond, bool fast, double now);
  // Constant rate, wrapping at ±2^23; `wireValue` is the signed rate as it
  // came off the line (0 stops the axis). Replaces any goto.
  void StartRate(int32_t wireValue, double now);
  bool GotoRunning(double now);
  bool LastGotoWasFast() const { return lastGotoFast_; }
  // The signed wire value of the rate motion in effect; 0 while idle or
  // during a goto.
  int32_t RateWireValue() const { return mode_ == Mode::kRate ? rateWire_ : 0; }

 private:
  enum class Mode { kIdle, kGoto, kRate };
  void AdvanceTo(double now);

  Mode mode_ = Mode::kIdle;
  double position_;  // counts, fractional while moving
  double time_;      // motion time that position_ belongs to
  double target_ = 0;
  double speed_ = 0;  // counts per second: magnitude for a goto, signed for a rate
  int32_t rateWire_ = 0;
  bool lastGotoFast_ = false;
};

}  // namespace sidera::emulator::packet_bus
