// The angle arithmetic every host shares: the constants, degree and radian
// conversions, reductions to one turn, and the separation of two directions.
// All angles are radians unless a name says otherwise.
#pragma once

namespace sidera::host {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 2.0 * kPi;
// The sky's rotation, radians per second (one turn per sidereal day).
inline constexpr double kSiderealRate = kTwoPi / 86164.09065;
inline constexpr double kArcsecPerRadian = 180.0 / kPi * 3600.0;

inline double Radians(double degrees) { return degrees / 180.0 * kPi; }
inline double Degrees(double radians) { return radians * 180.0 / kPi; }

// Reduces to [0, 2 pi).
double WrapTwoPi(double angle);
// Reduces to (-pi, pi].
double WrapPi(double angle);

// Great-circle angle [0, pi] between two directions given as (longitude,
// latitude) pairs; accurate for arc-second separations too.
double Separation(double lon1, double lat1, double lon2, double lat2);

}  // namespace sidera::host
