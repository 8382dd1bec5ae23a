// Small sky-geometry helpers of the host: the conversions between right
// ascension and hour angle, between horizontal and equatorial directions,
// and separations. All angles are radians.
#pragma once

#include <cstdint>

#include "host/sky_angles.h"
#include "sidera.h"

namespace sidera::tool {

using host::Degrees;
using host::kPi;
using host::kSiderealRate;
using host::kTwoPi;
using host::Radians;
using host::Separation;
using host::WrapPi;
using host::WrapTwoPi;
inline constexpr double kRadToArcsec = host::kArcsecPerRadian;

// Local sidereal time [0, 2 pi) from the Greenwich sidereal angle (any turn)
// and the site longitude (east positive).
double LocalSiderealTime(double greenwichAngle, double longitude);

struct Horizontal {
  double azimuth;  // from north through east, (-pi, pi]
  double altitude;
};
// Horizontal coordinates of hour angle and declination at a latitude.
Horizontal HorizontalOf(double hourAngle, double declination, double latitude);

// Hour angle and declination of a horizontal direction (azimuth from north
// through east) at a latitude.
struct HourAngleDec {
  double hourAngle;
  double declination;
};
HourAngleDec EquatorialOfHorizontal(double azimuth, double altitude, double latitude);

}  // namespace sidera::tool
