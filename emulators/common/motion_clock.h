// The time the emulated axes move in: seconds since the emulator was made,
// running `scale` times as fast as real time, so that a test can watch a
// long slew in a short while. Not thread-safe; the emulator's lock guards it
// with the options that hold the scale.
#pragma once

#include <chrono>
#include <cmath>

namespace sidera::emulator {

class MotionClock {
 public:
  using Clock = std::chrono::steady_clock;

  explicit MotionClock(Clock::time_point start = Clock::now()) : anchor_(start) {}

  // Motion seconds now; a scale that is not a positive number stops time.
  double Now(double scale) const {
    const double real = std::chrono::duration<double>(Clock::now() - anchor_).count();
    const double usable = std::isfinite(scale) && scale > 0 ? scale : 0.0;
    return motion_ + real * usable;
  }
  // Call before the scale changes, with the old one: motion so far keeps
  // the scale it ran at. Returns the motion time of the change.
  double Rescale(double oldScale) {
    motion_ = Now(oldScale);
    anchor_ = Clock::now();
    return motion_;
  }

 private:
  Clock::time_point anchor_;  // real time at `motion_`
  double motion_ = 0.0;
};

}  // namespace sidera::emulator
