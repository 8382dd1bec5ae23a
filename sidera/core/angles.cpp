// Angle reduction, degree conversion and the angular separation of two
// sky positions.

#include "sidera/core/angles.h"

#include <cmath>

namespace sidera {

double NormalizeAngle(double a) {
  // fmod keeps the sign of `a`, so r lies in (-2 pi, 2 pi); one correction
  // brings it into [-pi, pi]. Exactly +-pi stays as it is.
  double r = std::fmod(a, kTwoPi);
  if (r > kPi) {
    r -= kTwoPi;
  } else if (r < -kPi) {
    r += kTwoPi;
  }
  return r;
}

double DegToRad(double deg) { return deg / 180.0 * kPi; }

double AngularSeparationOf(double lon1, double lat1, double lon2, double lat2) {
  double c =
      std::sin(lat1) * std::sin(lat2) + std::cos(lat1) * std::cos(lat2) * std::cos(lon1 - lon2);
  // Rounding can push the cosine just past +-1, where acos has no value.
  if (c > 1.0) {
    c = 1.0;
  } else if (c < -1.0) {
    c = -1.0;
  }
  return std::acos(c);
}

}  // namespace sidera
