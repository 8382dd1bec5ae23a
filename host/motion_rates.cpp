// Slew presets, tracking modes and guide pulses turned into axis rates.
#include "host/motion_rates.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/sky_angles.h"

namespace sidera::host {
namespace {

double Clamp(double rate) { return std::clamp(rate, -kMaxAxisRate, kMaxAxisRate); }

// Axis-angle difference, folded across the +-pi seam of an azimuth axis.
double AxisDifference(double a, double b) { return WrapPi(a - b); }

}  // namespace

std::string SlewPresetLabel(int index) {
  char text[16];
  std::snprintf(text, sizeof text, "%gx", kSlewPresets.at(static_cast<size_t>(index)));
  return text;
}

double TrackingSkyRate(int libraryMode) {
  switch (libraryMode) {
    case kLunarTracking:
      return kTwoPi / 89460.0;
    case kSolarTracking:
      return kTwoPi / 86400.0;
    default:
      return kSiderealRate;
  }
}

Jacobian EquatorialJacobian(const MountGeometry& geometry) {
  // Northern sky: axis 0 follows the hour angle and axis 1 the declination;
  // the southern model mirrors both, and beyond the pole the declination axis
  // runs the other way.
  const double hemisphere = geometry.southern ? -1.0 : 1.0;
  Jacobian j;
  j.m[0][0] = hemisphere;
  j.m[0][1] = 0.0;
  j.m[1][0] = 0.0;
  j.m[1][1] = hemisphere * (geometry.beyondThePole ? -1.0 : 1.0);
  return j;
}

Jacobian NumericJacobian(const std::function<AxisPair(SkyPoint)>& skyToAxes, SkyPoint at,
                         double step) {
  Jacobian j;
  for (int sky = 0; sky < 2; ++sky) {
    SkyPoint plus = at;
    SkyPoint minus = at;
    (sky == 0 ? plus.hourAngle : plus.declination) += step;
    (sky == 0 ? minus.hourAngle : minus.declination) -= step;
    const AxisPair a = skyToAxes(plus);
    const AxisPair b = skyToAxes(minus);
    j.m[0][sky] = AxisDifference(a.axis0, b.axis0) / (2.0 * step);
    j.m[1][sky] = AxisDifference(a.axis1, b.axis1) / (2.0 * step);
  }
  return j;
}

AxisRate ManualMotion(const MountGeometry& geometry, Direction direction, double presetRate,
                      double trackingRate) {
  const bool northSouth = direction == Direction::North || direction == Direction::South;
  const double sign = direction == Direction::North || direction == Direction::West ? 1.0 : -1.0;
  AxisRate r;
  r.axis = northSouth ? 1 : 0;
  if (!geometry.equatorial) {
    r.rate = Clamp(sign * presetRate);
    return r;
  }
  const Jacobian j = EquatorialJacobian(geometry);
  r.rate = northSouth ? Clamp(j.m[1][1] * sign * presetRate)
                      : Clamp(j.m[0][0] * (trackingRate + sign * presetRate));
  return r;
}

GuidePlan PlanGuide(const MountGeometry& geometry, const Jacobian& jacobian, GuideOffsets offsets,
                    double trackingRate) {
  GuidePlan plan;
  const double sky[2] = {trackingRate + offsets.west, offsets.north};
  if (geometry.equatorial) {
    plan.drive = {offsets.west != 0.0, offsets.north != 0.0};
  } else {
    const bool any = offsets.west != 0.0 || offsets.north != 0.0;
    plan.drive = {any, any};
  }
  for (int axis = 0; axis < 2; ++axis) {
    if (!plan.drive[axis]) continue;
    const double* row = jacobian.m[axis];
    plan.rate[axis] = geometry.equatorial ? Clamp(row[axis] * sky[axis])
                                          : Clamp(row[0] * sky[0] + row[1] * sky[1]);
  }
  return plan;
}

}  // namespace sidera::host
