// Conversions between what INDI clients speak (right ascension in hours,
// declination and horizontal angles in degrees, pier side) and what the
// library speaks (local hour angle and declination in radians, axis angles).
#pragma once

#include <string>

#include "host/sky_angles.h"

namespace sidera::indi {

using host::Degrees;
using host::kArcsecPerRadian;
using host::kPi;
using host::kSiderealRate;
using host::kTwoPi;
using host::Radians;
using host::Separation;
using host::WrapPi;
using host::WrapTwoPi;

// Local sidereal time [0, 2 pi) from the Greenwich sidereal angle (any turn)
// and the longitude in degrees east (0..360 or -180..180).
double LocalSiderealTime(double greenwichAngle, double longitudeDegrees);
// Hour angle (-pi, pi] of a right ascension in hours at local sidereal time `lst`.
double HourAngleOf(double rightAscensionHours, double lst);
// Right ascension in hours [0, 24) of an hour angle at local sidereal time `lst`.
double RightAscensionHoursOf(double hourAngle, double lst);
// INDI's azimuth, degrees [0, 360) from north through east, of the library's
// azimuth (radians from north through east, -pi..pi).
double AzimuthDegrees(double azimuth);

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

}  // namespace sidera::indi
