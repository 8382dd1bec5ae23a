// Angle reductions and separations shared by the hosts.
#include "host/sky_angles.h"

#include <cmath>

namespace sidera::host {

double WrapTwoPi(double angle) {
  double r = std::fmod(angle, kTwoPi);
  if (r < 0) r += kTwoPi;
  // fmod of a tiny negative number can round up to exactly 2 pi.
  return r >= kTwoPi ? 0.0 : r;
}

double WrapPi(double angle) {
  const double r = WrapTwoPi(angle);
  return r > kPi ? r - kTwoPi : r;
}

double Separation(double lon1, double lat1, double lon2, double lat2) {
  // The haversine form keeps its precision for the arc-second separations of
  // a goto that has arrived, where the cosine form loses most of its digits.
  const double sLat = std::sin((lat2 - lat1) / 2.0);
  const double sLon = std::sin((lon2 - lon1) / 2.0);
  const double h = sLat * sLat + std::cos(lat1) * std::cos(lat2) * sLon * sLon;
  return 2.0 * std::asin(std::sqrt(std::fmin(1.0, std::fmax(0.0, h))));
}

}  // namespace sidera::host
