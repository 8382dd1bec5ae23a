// Small sky-geometry helpers of the host: the conversions between right
// ascension and hour angle, between horizontal and equatorial directions,
// and separations. All angles are radians.
#pragma once

#include <cstdint>

#include "sidera.h"

namespace sidera::tool {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 2.0 * kPi;
// Radians per second of the sky's rotation (one turn per sidereal day).
inline constexpr double kSiderealRate = kTwoPi / 86164.09065;
inline constexpr double kRadToArcsec = 180.0 / kPi * 3600.0;

inline double Radians(double degrees) { return degrees / 180.0 * kPi; }
inline double Degrees(double radians) { return radians * 180.0 / kPi; }

// Reduces to [0, 2 pi).
double WrapTwoPi(double a);
// Reduces to (-pi, pi].
double WrapPi(double a);

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

// Great-circle angle between two directions, [0, pi].
double Separation(double lon1, double lat1, double lon2, double lat2);

}  // namespace sidera::tool
