// Civil dates of UTC instants and back.
#include "host/civil_time.h"

#include <cmath>
#include <cstdio>

namespace sidera::host {
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

unsigned DaysInMonth(int y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

}  // namespace

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
  c.dayOfWeek = static_cast<uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  c.day = static_cast<uint16_t>(d);
  c.hour = static_cast<uint16_t>(ms / 3600000);
  ms %= 3600000;
  c.minute = static_cast<uint16_t>(ms / 60000);
  ms %= 60000;
  c.second = static_cast<uint16_t>(ms / 1000);
  c.millisecond = static_cast<uint16_t>(ms % 1000);
  return c;
}

std::optional<int64_t> ParseUtc(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &consumed) !=
      6) {
    return std::nullopt;
  }
  int ms = 0;
  std::string rest = text.substr(static_cast<size_t>(consumed));
  if (!rest.empty() && rest.back() == 'Z') rest.pop_back();
  if (!rest.empty()) {
    if (rest[0] != '.' || rest.size() < 2) return std::nullopt;
    int scale = 100;
    for (size_t i = 1; i < rest.size(); ++i) {
      if (rest[i] < '0' || rest[i] > '9') return std::nullopt;
      ms += (rest[i] - '0') * scale;
      scale /= 10;
    }
  }
  // The library's civil record holds the year in 16 bits.
  if (y < 1 || y > 9999 || mo < 1 || mo > 12 || d < 1) return std::nullopt;
  if (static_cast<unsigned>(d) > DaysInMonth(y, static_cast<unsigned>(mo))) return std::nullopt;
  if (h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0) return std::nullopt;
  const int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  return days * 86400000 + (h * 3600 + mi * 60 + s) * int64_t{1000} + ms;
}

std::string FormatUtc(int64_t utcMillis) {
  const CivilDateTime c = CivilOf(utcMillis);
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", c.year, c.month, c.day,
                c.hour, c.minute, c.second, c.millisecond);
  return text;
}

}  // namespace sidera::host
