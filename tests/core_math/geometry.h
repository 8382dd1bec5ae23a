// Reference geometry for the pointing tests, written out from first
// principles so that expectations do not come from the code under test.
#pragma once

#include <cmath>

#include "sidera/core/vector_matrix.h"

namespace core_math_test {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kArcMinute = kPi / 10800.0;

inline double Deg(double d) { return d * kPi / 180.0; }

// Direction of (longitude-like, latitude-like) angles on the unit sphere.
inline sidera::Vector3 Dir(double lon, double lat) {
  return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}
inline double Lon(const sidera::Vector3& v) { return std::atan2(v.y, v.x); }
inline double Lat(const sidera::Vector3& v) { return std::atan2(v.z, std::hypot(v.x, v.y)); }

// Rotation by `angle` about the axis (kx, ky, kz) (Rodrigues' formula); the
// inverse is the rotation by -angle.
inline sidera::Matrix3 Rotation(double kx, double ky, double kz, double angle) {
  const double n = std::sqrt(kx * kx + ky * ky + kz * kz);
  kx /= n;
  ky /= n;
  kz /= n;
  const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
  return {{t * kx * kx + c, t * kx * ky - s * kz, t * kx * kz + s * ky,  //
           t * kx * ky + s * kz, t * ky * ky + c, t * ky * kz - s * kx,  //
           t * kx * kz - s * ky, t * ky * kz + s * kx, t * kz * kz + c}};
}

inline sidera::Vector3 Apply(const sidera::Matrix3& m, const sidera::Vector3& v) {
  return {m.m[0] * v.x + m.m[1] * v.y + m.m[2] * v.z, m.m[3] * v.x + m.m[4] * v.y + m.m[5] * v.z,
          m.m[6] * v.x + m.m[7] * v.y + m.m[8] * v.z};
}

// Difference of two angles reduced to (-pi, pi].
inline double AngleDiff(double a, double b) { return std::remainder(a - b, 2.0 * kPi); }

}  // namespace core_math_test
