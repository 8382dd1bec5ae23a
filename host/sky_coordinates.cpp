// Right ascension, hour angle, horizontal and pier-side conversions.
#include "host/sky_coordinates.h"

#include <cmath>
#include <cstdio>

namespace sidera::host {

double HourAngleOf(double rightAscensionHours, double lst) {
  return WrapPi(lst - rightAscensionHours / 12.0 * kPi);
}

double RightAscensionHoursOf(double hourAngle, double lst) {
  const double hours = WrapTwoPi(lst - hourAngle) / kPi * 12.0;
  return hours >= 24.0 ? 0.0 : hours;
}

std::string CoordinatesText(double rightAscensionHours, double declinationDegrees) {
  char text[64];
  std::snprintf(text, sizeof text, "RA %.4f h, Dec %+.4f\u00b0", rightAscensionHours,
                declinationDegrees);
  return text;
}

double AzimuthDegrees(double azimuth) {
  const double degrees = Degrees(WrapTwoPi(azimuth));
  return degrees >= 360.0 ? 0.0 : degrees;
}

Horizontal HorizontalOf(double hourAngle, double declination, double latitude) {
  // Components of the direction towards the east, the north and the zenith.
  // The altitude comes from atan2 rather than asin, which loses half its
  // digits near the zenith.
  const double east = -std::cos(declination) * std::sin(hourAngle);
  const double north = std::cos(latitude) * std::sin(declination) -
                       std::sin(latitude) * std::cos(declination) * std::cos(hourAngle);
  const double up = std::sin(latitude) * std::sin(declination) +
                    std::cos(latitude) * std::cos(declination) * std::cos(hourAngle);
  return {WrapPi(std::atan2(east, north)), std::atan2(up, std::hypot(east, north))};
}

HourAngleDec EquatorialOfHorizontal(double azimuth, double altitude, double latitude) {
  // HorizontalOf taken back: cos(dec) sin(H) is minus the eastward
  // component, cos(dec) cos(H) the component along the meridian.
  const double sl = std::sin(latitude), cl = std::cos(latitude);
  const double sa = std::sin(altitude), ca = std::cos(altitude);
  const double up = sl * sa + cl * ca * std::cos(azimuth);
  const double alongMeridian = cl * sa - sl * ca * std::cos(azimuth);
  const double west = -ca * std::sin(azimuth);
  return {WrapPi(std::atan2(west, alongMeridian)), std::atan2(up, std::hypot(west, alongMeridian))};
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

}  // namespace sidera::host
