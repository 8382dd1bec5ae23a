// Greenwich sidereal time of a civil date and time, and its export.

#include "sidera/core/sidereal_time.h"

#include <cmath>
#include <cstdint>

namespace sidera {

namespace {

// Ratio of the sidereal to the solar clock rate.
constexpr double kSiderealPerSolar = 1.00273790935;
// Hours to radians (pi / 12).
constexpr double kHoursToRadians = 0.2617993877991494;

// Julian date at 0 h of the civil date (Meeus' calendar formula, with the
// Gregorian correction applied to every date).
double JulianDayAtMidnight(const CivilDateTime& when) {
  uint16_t year = when.year;
  uint16_t month = when.month;
  // January and February count as months 13 and 14 of the previous year.
  if (month <= 2) {
    year = static_cast<uint16_t>(year - 1);
    month = static_cast<uint16_t>(month + 12);
  }
  const int a = year / 100;
  const int b = 2 - a + a / 4;
  return std::floor(365.25 * (year + 4716)) + std::floor(30.6001 * (month + 1)) +
         static_cast<double>(when.day) + b - 1524.5;
}

}  // namespace

double SiderealTimeOf(const CivilDateTime& when, double zoneHours, int daylight) {
  const double daysSinceJ2000 = JulianDayAtMidnight(when) - 2451545.0;
  // Sidereal time at 0 h of the date, in hours. fmod keeps the sign, so
  // dates before 2000 give a negative value; callers reduce the result.
  const double s0 = std::fmod(18.697374558 + 24.06570982441908 * daysSinceJ2000, 24.0);
  const double clockHours =
      when.hour + when.minute / 60.0 + when.second / 3600.0 + (when.millisecond / 3600.0) / 1000.0;
  double s = s0 + kSiderealPerSolar * clockHours;
  // The zone is in hours east of Greenwich; daylight time is one hour more.
  const double offset = daylight != 0 ? zoneHours + 1.0 : zoneHours;
  s -= kSiderealPerSolar * offset;
  return s * kHoursToRadians;
}

}  // namespace sidera
