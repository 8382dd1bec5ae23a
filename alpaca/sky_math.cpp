// Horizontal coordinates and sidereal time.
#include "alpaca/sky_math.h"

#include <cmath>

#include "host/civil_time.h"
#include "indi/sky_coordinates.h"
#include "sidera.h"

namespace sidera::alpaca {

Horizontal HorizontalOf(double hourAngle, double declination, double latitude) {
  const double sinAlt = std::sin(latitude) * std::sin(declination) +
                        std::cos(latitude) * std::cos(declination) * std::cos(hourAngle);
  const double y = -std::cos(declination) * std::sin(hourAngle);
  const double x = std::sin(declination) * std::cos(latitude) -
                   std::cos(declination) * std::cos(hourAngle) * std::sin(latitude);
  return {indi::WrapTwoPi(std::atan2(y, x)), std::asin(std::fmax(-1.0, std::fmin(1.0, sinAlt)))};
}

Equatorial EquatorialOf(double azimuth, double altitude, double latitude) {
  const double sinDec = std::sin(latitude) * std::sin(altitude) +
                        std::cos(latitude) * std::cos(altitude) * std::cos(azimuth);
  const double y = -std::sin(azimuth) * std::cos(altitude);
  const double x = std::cos(latitude) * std::sin(altitude) -
                   std::sin(latitude) * std::cos(altitude) * std::cos(azimuth);
  return {std::atan2(y, x), std::asin(std::fmax(-1.0, std::fmin(1.0, sinDec)))};
}

double LocalSiderealTimeAt(int64_t utcMillis, double longitudeDegrees) {
  return indi::LocalSiderealTime(ComputeSiderealTime(host::CivilOf(utcMillis), 0.0, 0),
                                 longitudeDegrees);
}

}  // namespace sidera::alpaca
