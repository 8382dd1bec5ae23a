// The sky conversions the server makes itself: horizontal coordinates of an
// hour angle and declination at a latitude (the library's own formulas, so
// that Altitude and Azimuth need no second reading of the axes), and the
// local sidereal time of a UTC instant through the library's sidereal time.
#pragma once

#include <cstdint>

namespace sidera::alpaca {

struct Horizontal {
  double azimuth;  // radians from north through east, [0, 2 pi)
  double altitude;
};
Horizontal HorizontalOf(double hourAngle, double declination, double latitude);

struct Equatorial {
  double hourAngle;  // radians, grows westward
  double declination;
};
// The inverse: hour angle and declination of an azimuth (from north through
// east) and altitude at a latitude.
Equatorial EquatorialOf(double azimuth, double altitude, double latitude);

// Local sidereal time, radians [0, 2 pi), at `utcMillis` and a longitude in
// degrees east.
double LocalSiderealTimeAt(int64_t utcMillis, double longitudeDegrees);

}  // namespace sidera::alpaca
