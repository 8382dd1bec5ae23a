// Argument handling shared by the exported operations.
#pragma once

#include <cmath>
#include <cstdint>

#include "sidera/core/angles.h"
#include "sidera/core/types.h"

namespace sidera {

// True when every value is a finite number. The exported operations refuse
// NaN and infinities from the host (code 4): a mount compares and stores the
// angles and rates it receives, and a NaN passes range checks written as
// "reject when out of range" and would then poison positions and targets.
template <typename... Values>
bool AllFinite(Values... values) {
  return (std::isfinite(values) && ...);
}

// True for the two axis numbers. Operations that index per-axis state refuse
// any other number (code 4) rather than read or write beyond the axis arrays.
inline bool IsAxis(int axis) { return axis == 0 || axis == 1; }

inline bool IsFinite(const SkyPoint& p) { return AllFinite(p.hourAngle, p.declination); }

inline bool IsFinite(const AlignStar& s) {
  return AllFinite(s.hourAngle, s.declination, s.axis0, s.axis1);
}

// Both angles reduced to [-pi, pi].
inline SkyPoint Wrapped(const SkyPoint& p) {
  return SkyPoint{NormalizeAngle(p.hourAngle), NormalizeAngle(p.declination)};
}

// A rate in whole multiples of the sidereal rate, truncated toward zero.
// Rates beyond the 32-bit range saturate instead of overflowing the
// conversion. `rate` must be finite.
inline int32_t SiderealRateFactor(double rate) {
  const double factor = rate / kSiderealRate;
  if (factor >= 2147483647.0) {
    return INT32_MAX;
  }
  if (factor <= -2147483648.0) {
    return INT32_MIN;
  }
  return static_cast<int32_t>(factor);
}

}  // namespace sidera
