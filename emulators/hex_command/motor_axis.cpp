// One emulated hex-command motor controller: gotos, rate motions and braking
// advanced on demand to the motion time the caller passes in.
#include "emulators/hex_command/motor_axis.h"

#include <algorithm>
#include <cmath>

namespace sidera::emulator::hex_command {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

int32_t WrapCounts(int64_t counts) {
  const int64_t low = counts & 0xFFFFFF;
  return static_cast<int32_t>(low >= 0x800000 ? low - 0x1000000 : low);
}

MotorAxis::MotorAxis(int32_t counts, double now) : position_(WrapCounts(counts)), time_(now) {}

void MotorAxis::SetConfig(const AxisConfig& config, double now) {
  AdvanceTo(now);
  config_ = config;
  if (phase_ == Phase::kRate) velocity_ = CurrentVelocity();
}

double MotorAxis::RateCountsPerSecond() const {
  // A period of 0 is taken as the shortest the timer allows.
  const double period = std::max<uint32_t>(stepPeriod_, 1);
  double speed = config_.timerFrequency / period;
  if (type_ == '3') speed *= config_.highSpeedRatio;
  return speed;
}

double MotorAxis::CurrentVelocity() const {
  const double sign = Negative() ? -1.0 : 1.0;
  switch (phase_) {
    case Phase::kIdle:
      return 0.0;
    case Phase::kGoto: {
      const double speed =
          gotoFastPhase_ ? config_.gotoFastCountsPerSecond : config_.gotoSlowCountsPerSecond;
      return gotoTarget_ >= position_ ? speed : -speed;
    }
    case Phase::kRate:
      return sign * RateCountsPerSecond();
    case Phase::kBraking:
      return velocity_;
  }
  return 0.0;
}

void MotorAxis::AdvanceTo(double now) {
  double dt = now - time_;
  time_ = now;
  if (!(dt > 0)) return;
  switch (phase_) {
    case Phase::kIdle:
      return;
    case Phase::kRate:
      position_ += velocity_ * dt;
      return;
    case Phase::kBraking: {
      const double a = config_.decelerationCountsPerSecond2;
      const double v = velocity_;
      const double stopAfter = a > 0 ? std::fabs(v) / a : 0.0;
      if (dt >= stopAfter) {
        position_ += v * stopAfter / 2.0;
        velocity_ = 0.0;
        phase_ = Phase::kIdle;
      } else {
        const double sign = v >= 0 ? 1.0 : -1.0;
        position_ += v * dt - sign * a * dt * dt / 2.0;
        velocity_ = v - sign * a * dt;
      }
      return;
    }
    case Phase::kGoto:
      // A long goto runs fast until it is within the brake increment of its
      // target, then slowly to the end.
      while (dt > 0) {
        const double remaining = gotoTarget_ - position_;
        const double sign = remaining >= 0 ? 1.0 : -1.0;
        const double distance = std::fabs(remaining);
        if (distance == 0.0) {
          phase_ = Phase::kIdle;
          return;
        }
        if (gotoFastPhase_) {
          const double toBrake = distance - brakeIncrement_;
          const double speed = config_.gotoFastCountsPerSecond;
          if (toBrake <= 0 || !(speed > 0)) {
            gotoFastPhase_ = false;
            continue;
          }
          const double t = toBrake / speed;
          if (dt < t) {
            position_ += sign * speed * dt;
            return;
          }
          position_ += sign * toBrake;
          dt -= t;
          gotoFastPhase_ = false;
          continue;
        }
        const double speed = config_.gotoSlowCountsPerSecond;
        if (!(speed > 0)) return;
        const double t = distance / speed;
        if (dt < t) {
          position_ += sign * speed * dt;
          return;
        }
        position_ = gotoTarget_;
        phase_ = Phase::kIdle;
        return;
      }
      return;
  }
}

int32_t MotorAxis::Counts(double now) {
  AdvanceTo(now);
  return WrapCounts(static_cast<int64_t>(std::floor(position_)));
}

void MotorAxis::LoadCounts(int32_t counts, double now) {
  AdvanceTo(now);
  const double shift = WrapCounts(counts) - position_;
  position_ += shift;
  gotoTarget_ += shift;  // a goto under way keeps its remaining distance
}

bool MotorAxis::Running(double now) {
  AdvanceTo(now);
  return phase_ != Phase::kIdle;
}

void MotorAxis::StatusCharacters(double now, char out[3]) {
  AdvanceTo(now);
  const bool running = phase_ != Phase::kIdle;
  const bool highSpeed = (phase_ == Phase::kGoto && gotoFastPhase_) ||
                         (phase_ == Phase::kRate && type_ == '3') ||
                         (phase_ == Phase::kBraking && brakingFromFast_);
  const int first = (RateMode() ? 1 : 0) | (Negative() ? 2 : 0) | (highSpeed ? 4 : 0);
  out[0] = kHexDigits[first];
  out[1] = kHexDigits[running ? 1 : 0];
  out[2] = kHexDigits[initialised_ ? 1 : 0];
}

bool MotorAxis::SetMode(char type, char direction, double now) {
  AdvanceTo(now);
  if (phase_ != Phase::kIdle) return false;
  type_ = type;
  direction_ = direction;
  return true;
}

void MotorAxis::SetStepPeriod(uint32_t period, double now) {
  AdvanceTo(now);
  stepPeriod_ = period;
  if (phase_ == Phase::kRate) velocity_ = CurrentVelocity();
}

void MotorAxis::Start(double now) {
  AdvanceTo(now);
  if (phase_ == Phase::kGoto) return;
  if (RateMode()) {
    phase_ = Phase::kRate;
    velocity_ = CurrentVelocity();
    return;
  }
  if (gotoIncrement_ == 0) {
    phase_ = Phase::kIdle;
    return;
  }
  const double sign = Negative() ? -1.0 : 1.0;
  gotoTarget_ = position_ + sign * gotoIncrement_;
  gotoFastPhase_ = type_ == '0';
  phase_ = Phase::kGoto;
}

void MotorAxis::Stop(bool instantly, double now) {
  AdvanceTo(now);
  if (phase_ == Phase::kIdle) return;
  if (instantly || !(config_.decelerationCountsPerSecond2 > 0)) {
    phase_ = Phase::kIdle;
    velocity_ = 0.0;
    return;
  }
  if (phase_ == Phase::kBraking) return;
  brakingFromFast_ =
      (phase_ == Phase::kGoto && gotoFastPhase_) || (phase_ == Phase::kRate && type_ == '3');
  velocity_ = CurrentVelocity();
  phase_ = Phase::kBraking;
}

}  // namespace sidera::emulator::hex_command
