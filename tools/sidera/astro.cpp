// Small sky-geometry helpers of the host program.

#include "tools/sidera/astro.h"

#include <cmath>
#include <cstdio>

namespace sidera::tool {
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

struct Ymd {
  int64_t y;
  unsigned m;
  unsigned d;
};

Ymd CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {y + (m <= 2), m, d};
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(int64_t y, unsigned m) {
  static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

double WrapTwoPi(double a) {
  double r = std::fmod(a, kTwoPi);
  if (r < 0) r += kTwoPi;
  // fmod of a tiny negative number can round up to exactly 2 pi.
  return r >= kTwoPi ? 0.0 : r;
}

double WrapPi(double a) {
  double r = WrapTwoPi(a);
  return r > kPi ? r - kTwoPi : r;
}

double LocalSiderealTime(double greenwichAngle, double longitude) {
  return WrapTwoPi(greenwichAngle + longitude);
}

Horizontal HorizontalOf(double hourAngle, double declination, double latitude) {
  // Components of the direction towards the east, the north and the zenith.
  // The altitude comes from atan2 rather than asin, which loses half its
  // digits near the zenith.
  const double east = -std::cos(declination) * std::sin(hourAngle);
  const double north = std::cos(latitude) * std::sin(declination) -
                       std::sin(latitude) * std::cos(declination) * std::cos(hourAngle);
  const double up = std::sin(latitude) * std::sin(declination) +
                    std::cos(latitude) * std::cos(declination) * std::cos(hourAngle);
  return {WrapPi(std::atan2(east, north)), std::atan2(up, std::hypot(east, north))};
}

HourAngleDec EquatorialOfHorizontal(double azimuth, double altitude, double latitude) {
  // HorizontalOf taken back: cos(dec) sin(H) is minus the eastward
  // component, cos(dec) cos(H) the component along the meridian.
  const double sl = std::sin(latitude), cl = std::cos(latitude);
  const double sa = std::sin(altitude), ca = std::cos(altitude);
  const double sinDec = sl * sa + cl * ca * std::cos(azimuth);
  const double alongMeridian = cl * sa - sl * ca * std::cos(azimuth);
  const double west = -ca * std::sin(azimuth);
  return {WrapPi(std::atan2(west, alongMeridian)),
          std::asin(std::fmax(-1.0, std::fmin(1.0, sinDec)))};
}

double Separation(double lon1, double lat1, double lon2, double lat2) {
  // The haversine form stays accurate for the arc-second separations the
  // tool reports, where the cosine form loses most of its digits.
  const double sLat = std::sin((lat2 - lat1) / 2);
  const double sLon = std::sin((lon2 - lon1) / 2);
  const double h = sLat * sLat + std::cos(lat1) * std::cos(lat2) * sLon * sLon;
  return 2.0 * std::asin(std::sqrt(std::fmin(1.0, std::fmax(0.0, h))));
}

CivilDateTime CivilOf(int64_t unixMillis) {
  int64_t days = unixMillis / 86400000;
  int64_t rest = unixMillis % 86400000;
  if (rest < 0) {
    rest += 86400000;
    --days;
  }
  const Ymd ymd = CivilFromDays(days);
  CivilDateTime c{};
  c.year = static_cast<uint16_t>(ymd.y);
  c.month = static_cast<uint16_t>(ymd.m);
  c.dayOfWeek = static_cast<uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  c.day = static_cast<uint16_t>(ymd.d);
  c.hour = static_cast<uint16_t>(rest / 3600000);
  c.minute = static_cast<uint16_t>(rest / 60000 % 60);
  c.second = static_cast<uint16_t>(rest / 1000 % 60);
  c.millisecond = static_cast<uint16_t>(rest % 1000);
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
    if (rest[0] != '.' || rest.size() < 2 || rest.size() > 4) return std::nullopt;
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

}  // namespace sidera::tool
