// GPS week-rollover correction by whole days.
#include "location/core/gps/gps_week_rollover.h"

#include <cstring>
#include <tuple>

namespace location::gps {
namespace {

constexpr long kRolloverDays = 1024L * 7;
// Dates further than this before the reference are a rollover's.
constexpr int kRolloverMarginYears = 10;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153L * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long z, int* y, int* m, int* d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

bool Before(const GpsTime& a, const GpsTime& b) {
  return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) <
         std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
}

}  // namespace

GpsTime BuildDate() {
  // __DATE__ is "Mmm dd yyyy".
  static constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const char* date = __DATE__;
  GpsTime t{};
  char month[4] = {date[0], date[1], date[2], 0};
  const char* at = std::strstr(kMonths, month);
  t.month = at == nullptr ? 1 : static_cast<int>(at - kMonths) / 3 + 1;
  t.day = (date[4] == ' ' ? 0 : date[4] - '0') * 10 + (date[5] - '0');
  t.year = (date[7] - '0') * 1000 + (date[8] - '0') * 100 + (date[9] - '0') * 10 + (date[10] - '0');
  return t;
}

std::optional<GpsTime> UnrollGpsWeeks(const GpsTime& utc, const GpsTime& reference) {
  if (!IsValidGpsTime(utc) || Before(utc, GpsTime{1980, 1, 6, 0, 0, 0})) return std::nullopt;
  GpsTime t = utc;
  long days = DaysFromCivil(t.year, t.month, t.day);
  // The same day ten years earlier (29 February of a year without one is 1 March).
  GpsTime margin = reference;
  CivilFromDays(
      DaysFromCivil(reference.year - kRolloverMarginYears, reference.month, reference.day),
      &margin.year, &margin.month, &margin.day);
  while (Before(t, margin)) {
    days += kRolloverDays;
    CivilFromDays(days, &t.year, &t.month, &t.day);
  }
  return t;
}

bool MaySetClock(const GpsTime& utc, const GpsTime& reference) { return !Before(utc, reference); }

}  // namespace location::gps
