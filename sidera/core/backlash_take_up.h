// Taking up gear backlash before a motion reverses an axis.
//
// A motion slower than the take-up rate that turns an axis against the
// direction it last moved first runs the axis at the take-up rate
// (DriveRates::TakeUpRate, in the new direction) for TakeUpTicks ms, the time
// to cross the backlash, and halts it. The rate moves, the equatorial
// tracking start and the alt-azimuth tracking loop all decide and time their
// take-ups here.
#pragma once

#include <cstdint>
#include <functional>

#include "sidera/core/types.h"

namespace sidera {

class TelescopeMount;

// Take-ups this short or shorter (ms) are not worth doing.
inline constexpr uint32_t kMinTakeUpTicks = 20;

// Whether a motion of `axis` at `rate` must first take up the backlash:
// compensation on, slower than the take-up rate, a take-up longer than
// kMinTakeUpTicks, and a reversal of the axis's last direction (a rate of 0
// counts as positive).
bool NeedsBacklashTakeUp(const TelescopeMount& m, int axis, double rate);

// The take-up rate ahead of a motion at `rate`: the take-up rate, positive for a
// positive rate, negative otherwise.
double BacklashTakeUpRate(const TelescopeMount& m, double rate);

// True once `duration` ticks have passed since `start`. Unsigned
// subtraction, so a wrap of the tick counter neither ends nor extends a wait.
bool TicksElapsed(uint32_t start, uint32_t duration);

struct TakeUpResult {
  bool started = false;    // the take-up command went out and succeeded
  MountResult result = 0;  // the failed take-up command, or the closing halt
};

// A whole take-up on `axis` ahead of a motion at `rate`, for a motion thread
// that owns the axes: the take-up command is sent while `wanted()` holds
// (through SendIf); the axis then runs for its take-up time, or until
// `wanted()` turns false, and is halted.
TakeUpResult RunBacklashTakeUp(TelescopeMount& m, int axis, double rate,
                               const std::function<bool()>& wanted);

}  // namespace sidera
