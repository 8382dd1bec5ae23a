// Position model of one axis of the byte-command controller. Positions are
// counts on a circle of N counts per revolution, 0 to N - 1. Time is passed
// in (seconds of motion time), so the model itself never reads a clock.
#pragma once

#include <cstdint>

namespace sidera::emulator::byte_command {

class CircleAxis {
 public:
  CircleAxis(uint32_t countsPerRevolution, uint32_t counts, double now);

  uint32_t CountsPerRevolution() const { return n_; }
  // A new circle (at least 2 counts): the position is taken modulo it and a
  // goto runs on to its target on the new circle.
  void SetCountsPerRevolution(uint32_t counts, double now);
  // The position, advanced to `now`, in [0, N).
  uint32_t Counts(double now);
  // Sets the position (taken modulo N); a motion in progress goes on.
  void SetCounts(uint32_t counts, double now);
  // Runs to `target` (taken modulo N) the short way round the circle at
  // `countsPerSecond`, then stops. Replaces any rate motion.
  void StartGoto(uint32_t target, double countsPerSecond, double now);
  // Ends a goto where the axis is; a rate motion is not affected.
  void StopGoto(double now);
  // Constant rate: the signed wire value is ten times the counts per second
  // (0 stops the axis). Replaces any goto.
  void StartRate(int32_t wireValue, double now);
  bool GotoRunning(double now);
  // The signed wire value of the rate motion in effect; 0 while idle or
  // during a goto.
  int32_t RateWireValue() const { return mode_ == Mode::kRate ? rateWire_ : 0; }

 private:
  enum class Mode { kIdle, kGoto, kRate };
  void AdvanceTo(double now);
  double Wrap(double position) const;

  uint32_t n_;
  Mode mode_ = Mode::kIdle;
  double position_;       // counts in [0, N), fractional while moving
  double time_;           // motion time that position_ belongs to
  double remaining_ = 0;  // goto: signed counts still to go
  uint32_t target_ = 0;   // goto: where it ends
  double speed_ = 0;      // counts per second: magnitude for a goto, signed for a rate
  int32_t rateWire_ = 0;
};

}  // namespace sidera::emulator::byte_command
