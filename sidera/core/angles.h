// Angle helpers and the sidereal rate.
#pragma once

namespace sidera {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 2.0 * kPi;
// The sky's rotation rate, radians per second (2 pi per sidereal day).
inline constexpr double kSiderealRate = kTwoPi / 86164.09065;

// Reduces `a` to [-pi, pi]: the remainder after division by 2 pi, then one
// more turn off when it lies beyond a half turn. +-pi come back unchanged.
double NormalizeAngle(double a);

// deg / 180 x pi (division first).
double DegToRad(double deg);

// Great-circle angle in [0, pi] between (lon1, lat1) and (lon2, lat2).
double AngularSeparationOf(double lon1, double lat1, double lon2, double lat2);

}  // namespace sidera
