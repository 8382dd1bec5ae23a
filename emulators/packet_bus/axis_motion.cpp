// Position model of one emulated motor controller: gotos and constant rates
// advanced from the motion time passed in.

#include "emulators/packet_bus/axis_motion.h"

#include <cmath>

namespace sidera::emulator::packet_bus {

double DegreesToCounts(double degrees) { return degrees * kCountsPerRevolution / 360.0; }

double RateWireToCountsPerSecond(double wireValue) {
  const double arcSecondsPerSecond = wireValue / 1024.0;
  return arcSecondsPerSecond * kCountsPerRevolution / (360.0 * 3600.0);
}

int32_t WrapCounts(int64_t counts) {
  const int64_t low = counts & 0xFFFFFF;
  return static_cast<int32_t>(low >= 0x800000 ? low - 0x1000000 : low);
}

namespace {

// Brings a fractional position back into [-2^23, 2^23).
double WrapPosition(double position) {
  return position -
         kCountsPerRevolution * std::floor((position + kHalfRevolution) / kCountsPerRevolution);
}

}  // namespace

AxisMotion::AxisMotion(int32_t counts, double now) : position_(WrapCounts(counts)), time_(now) {}

void AxisMotion::AdvanceTo(double now) {
  const double elapsed = now - time_;
  time_ = now;
  if (!(elapsed > 0)) return;
  switch (mode_) {
    case Mode::kIdle:
      break;
    case Mode::kRate:
      position_ = WrapPosition(position_ + speed_ * elapsed);
      break;
    case Mode::kGoto: {
      const double remaining = target_ - position_;
      const double step = speed_ * elapsed;
      if (std::fabs(remaining) <= step) {
        position_ = target_;
        mode_ = Mode::kIdle;
      } else {
        position_ += remaining > 0 ? step : -step;
      }
      break;
    }
  }
}

int32_t AxisMotion::Counts(double now) {
  AdvanceTo(now);
  // A position that rounds up to +2^23 is the same angle as -2^23.
  return WrapCounts(static_cast<int64_t>(std::floor(position_)));
}

void AxisMotion::SetCounts(int32_t counts, double now) {
  AdvanceTo(now);
  position_ = WrapCounts(counts);
}

void AxisMotion::StartGoto(int32_t target, double countsPerSecond, bool fast, double now) {
  AdvanceTo(now);
  mode_ = Mode::kGoto;
  target_ = WrapCounts(target);
  speed_ = std::isfinite(countsPerSecond) && countsPerSecond > 0 ? countsPerSecond : 0.0;
  lastGotoFast_ = fast;
  rateWire_ = 0;
  if (position_ == target_) mode_ = Mode::kIdle;
}

void AxisMotion::StartRate(int32_t wireValue, double now) {
  AdvanceTo(now);
  rateWire_ = wireValue;
  speed_ = RateWireToCountsPerSecond(wireValue);
  mode_ = wireValue == 0 ? Mode::kIdle : Mode::kRate;
}

bool AxisMotion::GotoRunning(double now) {
  AdvanceTo(now);
  return mode_ == Mode::kGoto;
}

}  // namespace sidera::emulator::packet_bus
