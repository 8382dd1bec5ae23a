// Motion model of one hex-command motor controller.
//
// Positions are step counts, reported as signed 24-bit values (the wire
// adds 0x800000). A controller holds a motion mode set while it stands
// still: the type ("0" long goto, "1" slow rate, "2" short goto, "3" fast
// rate) and the direction (bit 0 of the character: negative). A goto moves
// by the goto increment from where the axis stands; a long goto runs fast
// until the brake increment is left, then slowly. A rate motion steps once
// per step period of the timer (times the high-speed ratio in the fast
// mode). A stop brakes at a constant deceleration; an instant stop ends the
// motion at once. Time is passed in (seconds of motion time), so the model
// never reads a clock.
#pragma once

#include <cstdint>

namespace sidera::emulator::hex_command {

struct AxisConfig {
  double timerFrequency = 62500.0;            // timer ticks per second
  double highSpeedRatio = 16.0;               // counts per step in the fast rate mode
  double gotoFastCountsPerSecond = 0.0;       // long gotos before the brake point
  double gotoSlowCountsPerSecond = 0.0;       // short gotos, and long ones after it
  double decelerationCountsPerSecond2 = 0.0;  // 0: every stop is instant
};

// Any count -> the same position as a signed 24-bit count.
int32_t WrapCounts(int64_t counts);

class MotorAxis {
 public:
  MotorAxis(int32_t counts, double now);

  void SetConfig(const AxisConfig& config, double now);

  int32_t Counts(double now);
  void LoadCounts(int32_t counts, double now);
  bool Running(double now);
  // The three status characters: mode and direction, running, initialised.
  void StatusCharacters(double now, char out[3]);

  // False (nothing changes) while the axis runs. `type` is '0'..'3',
  // `direction` '0'..'3'.
  bool SetMode(char type, char direction, double now);
  void SetGotoIncrement(uint32_t steps) { gotoIncrement_ = steps; }
  void SetBrakeIncrement(uint32_t steps) { brakeIncrement_ = steps; }
  // A running rate motion takes the new period at once.
  void SetStepPeriod(uint32_t period, double now);
  // Starts the motion of the current mode; a running rate motion only takes
  // the current period, a running goto goes on as it was.
  void Start(double now);
  void Stop(bool instantly, double now);
  void Initialize() { initialised_ = true; }

  bool Initialised() const { return initialised_; }
  char Type() const { return type_; }
  char Direction() const { return direction_; }
  uint32_t GotoIncrement() const { return gotoIncrement_; }
  uint32_t BrakeIncrement() const { return brakeIncrement_; }
  uint32_t StepPeriod() const { return stepPeriod_; }

 private:
  enum class Phase { kIdle, kGoto, kRate, kBraking };

  void AdvanceTo(double now);
  bool RateMode() const { return type_ == '1' || type_ == '3'; }
  bool Negative() const { return (direction_ & 1) != 0; }
  double RateCountsPerSecond() const;
  double CurrentVelocity() const;  // signed counts per second

  AxisConfig config_;
  Phase phase_ = Phase::kIdle;
  double position_;  // counts, unwrapped and fractional while moving
  double time_;
  char type_ = '1';
  char direction_ = '0';
  bool initialised_ = false;
  uint32_t gotoIncrement_ = 0;
  uint32_t brakeIncrement_ = 0;
  uint32_t stepPeriod_ = 0;
  double gotoTarget_ = 0.0;
  bool gotoFastPhase_ = false;
  double velocity_ = 0.0;  // rate and braking: signed counts per second
  bool brakingFromFast_ = false;
};

}  // namespace sidera::emulator::hex_command
