// The conversions every front end makes between what its clients speak and
// what the library speaks: right ascension (hours, as INDI and Alpaca give
// it) and hour angle at a local sidereal time (radians, from the sky frame),
// horizontal and equatorial directions, the pier side of an equatorial
// mount, and the check of a goto or sync target.
#pragma once

#include <string>

#include "host/sky_angles.h"

namespace sidera::host {

// Hour angle (-pi, pi] of a right ascension in hours at local sidereal time
// `lst` (radians).
double HourAngleOf(double rightAscensionHours, double lst);
// Right ascension in hours [0, 24) of an hour angle at local sidereal time `lst`.
double RightAscensionHoursOf(double hourAngle, double lst);
// Azimuth in degrees [0, 360) from north through east of an azimuth in
// radians (any turn).
double AzimuthDegrees(double azimuth);

struct Horizontal {
  double azimuth;  // from north through east, (-pi, pi]
  double altitude;
};
// Horizontal coordinates of hour angle and declination at a latitude.
Horizontal HorizontalOf(double hourAngle, double declination, double latitude);

// Hour angle and declination of a horizontal direction (azimuth from north
// through east) at a latitude.
struct HourAngleDec {
  double hourAngle;  // (-pi, pi], growing westward
  double declination;
};
HourAngleDec EquatorialOfHorizontal(double azimuth, double altitude, double latitude);

// "RA 5.5914 h, Dec +7.4071°": a target as the front ends' messages name it.
std::string CoordinatesText(double rightAscensionHours, double declinationDegrees);

// Why a goto or sync target cannot be used, or "" when it can: right ascension
// must be 0 to 24 hours and declination -90 to +90 degrees.
std::string TargetProblem(double rightAscensionHours, double declinationDegrees);

enum class PierSide { West, East };
// The side of the pier the telescope is on, from the declination-axis angle of
// an equatorial mount. The axis reads -90..+90 degrees on the side used for
// the eastern sky in the northern hemisphere (telescope on the west side,
// pointing east) and beyond +90 degrees on the other; the southern hemisphere
// swaps the two.
PierSide PierSideOf(double axis1, double latitude);
// True when the declination-axis angle lies beyond the pole (-90..+90 wrapped
// the other way round), the side where declination runs against the axis.
bool BeyondThePole(double axis1);

}  // namespace sidera::host
