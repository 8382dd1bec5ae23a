// Rates for the motions a host makes on its own account: the slew-rate
// presets of direction buttons, the tracking modes, and guide pulses as
// timed rate offsets. Each turns a wish in sky terms (north, west, so many
// times the sidereal rate) into an axis and a signed axis rate for MoveAxis.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "sidera.h"

namespace sidera::host {

enum class Direction { North, South, West, East };

// What the signs of the axes depend on.
struct MountGeometry {
  bool equatorial = true;
  bool southern = false;       // site latitude below 0
  bool beyondThePole = false;  // equatorial: declination axis on the far side (BeyondThePole)
};

// The slew-rate presets, slowest first, in multiples of the sidereal rate.
inline constexpr std::array<double, 4> kSlewPresets{0.5, 8.0, 64.0, 480.0};
// Fastest axis rate a host asks for, radians per second.
inline constexpr double kMaxAxisRate = 480.0 * 6.283185307179586 / 86164.09065;
// "0.5x", "8x"...: the label of a preset.
std::string SlewPresetLabel(int index);

// The library's tracking modes (SetTrackingRateMode), which are also ASCOM's
// DriveRates 0 to 2.
inline constexpr int kSiderealTracking = 0;
inline constexpr int kLunarTracking = 1;
inline constexpr int kSolarTracking = 2;
// Rate at which the hour angle of what a library mode follows grows, radians
// per second.
double TrackingSkyRate(int libraryMode);

// d(axis angle)/d(sky angle): row = axis 0, 1; column = hour angle, declination.
struct Jacobian {
  double m[2][2] = {{1, 0}, {0, 1}};
};

// An equatorial mount's axes follow hour angle and declination one to one;
// only the signs depend on the hemisphere and the side of the pier.
Jacobian EquatorialJacobian(const MountGeometry& geometry);
// The Jacobian of any pointing model at `at`, by central differences through
// `skyToAxes` (for an alt-azimuth mount, where it changes across the sky).
Jacobian NumericJacobian(const std::function<AxisPair(SkyPoint)>& skyToAxes, SkyPoint at,
                         double step = 1e-5);

struct AxisRate {
  int axis = 0;
  double rate = 0;  // radians per second, for MoveAxis
};

// The axis and rate that move the telescope in `direction` at `presetRate`
// (radians per second on the sky). On an equatorial mount, `trackingRate`
// (the sky rate tracking follows, 0 when tracking is off) is kept on the
// right-ascension axis, so west and east are relative to the stars. An
// alt-azimuth mount moves one axis: north raises the altitude, west turns the
// azimuth clockwise seen from above (towards the west when facing south).
AxisRate ManualMotion(const MountGeometry& geometry, Direction direction, double presetRate,
                      double trackingRate);

// Guide offsets in sky terms, radians per second: westward (hour angle
// growing) and northward.
struct GuideOffsets {
  double west = 0;
  double north = 0;
};

// What a set of running guide pulses asks of the axes: each driven axis runs
// at its rate; an axis not driven goes back to what it did before (tracking).
struct GuidePlan {
  std::array<bool, 2> drive{false, false};
  std::array<double, 2> rate{0, 0};
};

// On an equatorial mount a west or east pulse drives the right-ascension axis
// at the tracking rate plus the offset, and a north or south pulse the
// declination axis at the offset alone. On an alt-azimuth mount both axes
// follow the sky together, so any pulse drives both at the rates that track
// the sky with the offsets added.
GuidePlan PlanGuide(const MountGeometry& geometry, const Jacobian& jacobian, GuideOffsets offsets,
                    double trackingRate);

}  // namespace sidera::host
