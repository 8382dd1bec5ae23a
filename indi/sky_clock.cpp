// The driver's scaled UTC clock and the civil-date conversions it needs.
#include "indi/sky_clock.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace sidera::indi {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

double ClockScaleFromEnvironment() {
  const char* text = std::getenv("SIDERA_CLOCK_SCALE");
  if (text == nullptr || *text == '\0') return 1.0;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value) || value <= 0) {
    return 1.0;
  }
  return value;
}

SkyClock::SkyClock(double scale, int64_t utcMillis, Steady::time_point at)
    : scale_(scale > 0 && std::isfinite(scale) ? scale : 1.0), originUtc_(utcMillis), origin_(at) {}

int64_t SkyClock::UtcMillis(Steady::time_point at) const {
  const std::chrono::duration<double, std::milli> real = at - origin_;
  return originUtc_ + static_cast<int64_t>(std::llround(real.count() * scale_));
}

void SkyClock::Set(int64_t utcMillis, Steady::time_point at) {
  originUtc_ = utcMillis;
  origin_ = at;
}

int SkyClock::RealMillis(double skyMillis) const {
  const double real = std::ceil(skyMillis / scale_);
  if (!(real >= 1.0)) return 1;
  return real > 1e9 ? 1000000000 : static_cast<int>(real);
}

int64_t UtcMillisOf(int year, int month, int day, int hour, int minute, double second) {
  const int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return (days * 86400 + hour * 3600 + minute * 60) * 1000 + std::llround(second * 1000.0);
}

CivilDateTime CivilOf(int64_t utcMillis) {
  const int64_t days = FloorDiv(utcMillis, 86400000);
  int64_t ms = utcMillis - days * 86400000;
  // Civil date from days since 1970 (the inverse of DaysFromCivil).
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);

  CivilDateTime c{};
  c.year = static_cast<uint16_t>(y);
  c.month = static_cast<uint16_t>(m);
  c.day = static_cast<uint16_t>(d);
  c.hour = static_cast<uint16_t>(ms / 3600000);
  ms %= 3600000;
  c.minute = static_cast<uint16_t>(ms / 60000);
  ms %= 60000;
  c.second = static_cast<uint16_t>(ms / 1000);
  c.millisecond = static_cast<uint16_t>(ms % 1000);
  return c;
}

}  // namespace sidera::indi
