// One axis of the byte-command controller moving on its circle of counts.
#include "emulators/byte_command/circle_axis.h"

#include <cmath>

namespace sidera::emulator::byte_command {

CircleAxis::CircleAxis(uint32_t countsPerRevolution, uint32_t counts, double now)
    : n_(countsPerRevolution > 0 ? countsPerRevolution : 1), position_(counts % n_), time_(now) {}

double CircleAxis::Wrap(double position) const {
  const double n = n_;
  double p = std::fmod(position, n);
  if (p < 0) p += n;
  return p >= n ? 0.0 : p;
}

void CircleAxis::AdvanceTo(double now) {
  const double elapsed = now - time_;
  time_ = now;
  if (!(elapsed > 0)) return;
  if (mode_ == Mode::kRate) {
    position_ = Wrap(position_ + speed_ * elapsed);
  } else if (mode_ == Mode::kGoto) {
    const double step = speed_ * elapsed;
    if (std::fabs(remaining_) <= step) {
      position_ = target_;
      remaining_ = 0;
      mode_ = Mode::kIdle;
    } else {
      const double signedStep = remaining_ > 0 ? step : -step;
      position_ = Wrap(position_ + signedStep);
      remaining_ -= signedStep;
    }
  }
}

uint32_t CircleAxis::Counts(double now) {
  AdvanceTo(now);
  return static_cast<uint32_t>(std::floor(position_)) % n_;
}

void CircleAxis::SetCounts(uint32_t counts, double now) {
  AdvanceTo(now);
  position_ = counts % n_;
  // A goto still ends on its target count, however far that now is.
  if (mode_ == Mode::kGoto) StartGoto(target_, speed_, now);
}

void CircleAxis::SetCountsPerRevolution(uint32_t counts, double now) {
  if (counts < 2) return;
  AdvanceTo(now);
  n_ = counts;
  position_ = Wrap(position_);
  if (mode_ == Mode::kGoto) StartGoto(target_, speed_, now);
}

void CircleAxis::StartGoto(uint32_t target, double countsPerSecond, double now) {
  AdvanceTo(now);
  target_ = target % n_;
  // The short way: a difference of more than half a turn goes the other way.
  double d = static_cast<double>(target_) - position_;
  if (d > n_ / 2.0) d -= n_;
  if (d < -(n_ / 2.0)) d += n_;
  remaining_ = d;
  speed_ = std::isfinite(countsPerSecond) && countsPerSecond > 0 ? countsPerSecond : 0.0;
  rateWire_ = 0;
  mode_ = d == 0 ? Mode::kIdle : Mode::kGoto;
  if (mode_ == Mode::kIdle) position_ = target_;
}

void CircleAxis::StopGoto(double now) {
  AdvanceTo(now);
  if (mode_ != Mode::kGoto) return;
  // The axis stops on the count it has reached.
  position_ = std::floor(position_);
  remaining_ = 0;
  mode_ = Mode::kIdle;
}

void CircleAxis::StartRate(int32_t wireValue, double now) {
  AdvanceTo(now);
  rateWire_ = wireValue;
  speed_ = wireValue / 10.0;
  mode_ = wireValue == 0 ? Mode::kIdle : Mode::kRate;
}

bool CircleAxis::GotoRunning(double now) {
  AdvanceTo(now);
  return mode_ == Mode::kGoto;
}

}  // namespace sidera::emulator::byte_command
