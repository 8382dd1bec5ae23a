// Small sky-geometry helpers of the host program.

#include "tools/sidera/astro.h"

#include <cmath>

namespace sidera::tool {
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

}  // namespace sidera::tool
