// Right ascension, hour angle, azimuth and pier-side conversions for INDI.
#include "indi/sky_coordinates.h"

#include <cmath>
#include <cstdio>

namespace sidera::indi {

double LocalSiderealTime(double greenwichAngle, double longitudeDegrees) {
  return WrapTwoPi(greenwichAngle + Radians(longitudeDegrees));
}

double HourAngleOf(double rightAscensionHours, double lst) {
  return WrapPi(lst - rightAscensionHours / 12.0 * kPi);
}

double RightAscensionHoursOf(double hourAngle, double lst) {
  const double hours = WrapTwoPi(lst - hourAngle) / kPi * 12.0;
  return hours >= 24.0 ? 0.0 : hours;
}

double AzimuthDegrees(double azimuth) {
  const double degrees = Degrees(WrapTwoPi(azimuth));
  return degrees >= 360.0 ? 0.0 : degrees;
}

std::string TargetProblem(double rightAscensionHours, double declinationDegrees) {
  char text[160];
  if (!(rightAscensionHours >= 0.0 && rightAscensionHours <= 24.0)) {
    std::snprintf(text, sizeof text, "right ascension %g h is outside 0 to 24 h",
                  rightAscensionHours);
    return text;
  }
  if (!(declinationDegrees >= -90.0 && declinationDegrees <= 90.0)) {
    std::snprintf(text, sizeof text, "declination %g\u00b0 is outside -90\u00b0 to +90\u00b0",
                  declinationDegrees);
    return text;
  }
  return "";
}

bool BeyondThePole(double axis1) { return std::cos(axis1) < 0.0; }

PierSide PierSideOf(double axis1, double latitude) {
  // Below the pole the telescope points east in the north and west in the south.
  const bool belowThePole = !BeyondThePole(axis1);
  const bool north = latitude >= 0.0;
  return belowThePole == north ? PierSide::West : PierSide::East;
}

}  // namespace sidera::indi
