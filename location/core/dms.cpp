// Degrees-minutes-seconds display with its carries, and the reverse.
#include "location/core/dms.h"

#include <cmath>

namespace location {

DmsDisplay ToDms(double value) {
  DmsDisplay shown;
  if (!std::isfinite(value)) return shown;
  shown.sign = value < 0 ? -1 : value > 0 ? 1 : 0;
  const double magnitude = std::fabs(value);
  const double degrees = std::trunc(magnitude);
  const double minutesExact = (magnitude - degrees) * 60.0;
  const double minutes = std::trunc(minutesExact);
  double seconds = std::round((minutesExact - minutes) * 60.0);
  shown.degrees = static_cast<int>(degrees);
  shown.minutes = static_cast<int>(minutes);
  if (seconds >= 60.0) {
    seconds = 0;
    ++shown.minutes;
  }
  if (shown.minutes >= 60) {
    shown.minutes = 0;
    ++shown.degrees;
  }
  shown.seconds = static_cast<int>(seconds);
  return shown;
}

double FromDms(int degrees, int minutes, int seconds, bool negative) {
  const float value = static_cast<float>(degrees) + static_cast<float>(minutes) * (1.0f / 60.0f) +
                      static_cast<float>(seconds) * (1.0f / 3600.0f);
  const double widened = static_cast<double>(value);
  return negative ? -widened : widened;
}

std::array<int, 4> ElevationDigits(int e) {
  return {e / 1000, e / 100 - (e / 1000) * 10, e / 10 - (e / 100) * 10, e % 10};
}

}  // namespace location
