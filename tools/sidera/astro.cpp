// Small sky-geometry helpers of the host program.

#include "tools/sidera/astro.h"

#include <cmath>

namespace sidera::tool {
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

}  // namespace sidera::tool
