// The mechanical errors of a simulated mount, as physical geometry: where
// the tube truly points for given axis readings, and the readings that put
// it on a star. Written apart from the pointing model's fit (nothing is
// shared with it), so that a fit measured against it is measured against a
// mount, not against itself.
//
// The mount frame has the axis-0 (polar or azimuth) axis as z. The tube,
// at 90 degrees plus the collimation error from the axis-1 axis, turns
// about the axis-1 axis, which is tilted out of the plane perpendicular to
// axis 0 by the non-perpendicularity; both axes read their angle less
// their index error, and axis 0 carries a periodic error with the worm's
// period. The axis-0 axis itself is tilted from the pole (or the zenith)
// by a small rotation. Gravity then bends the tube towards the ground by
// the tube flexure times the sine of the zenith distance, and (equatorial)
// bends the declination axis down by the axis flexure times its
// horizontal extent, turning the tube with it.
#pragma once

#include <string>

#include "sidera/core/types.h"

namespace sidera {

struct Mechanics {
  // All radians.
  double axis0Index = 0.0;
  double axis1Index = 0.0;
  double collimation = 0.0;
  double nonPerpendicularity = 0.0;
  double poleTiltX = 0.0;  // the axis-0 axis turned about the frame's x axis
  double poleTiltY = 0.0;  // ... about its y axis
  double tubeFlexure = 0.0;
  double axisFlexure = 0.0;
  double periodicError = 0.0;  // amplitude on axis 0
  int wormTeeth = 144;         // periods of the periodic error a turn

  bool equatorial = true;
  double latitude = 0.0;

  bool Any() const;
};

// The sky position (hour angle, declination) the tube points at when the
// axes read (reading0, reading1).
SkyPoint PointedSky(const Mechanics& m, double reading0, double reading1);

// The readings that put the tube on `sky`, searched from `guess` (the
// nominal readings; for an equatorial mount they also choose the side of
// the pier).
AxisPair ReadingsFor(const Mechanics& m, const SkyPoint& sky, const AxisPair& guess);

// Parses "name=arcseconds,..." with the names ih, id, ch, np, ma, me, tf,
// daf, pe (axis-0 and axis-1 index, collimation, non-perpendicularity, the
// axis-0 axis tilted about x and about y, tube flexure, declination-axis
// flexure, periodic error); unknown names or bad numbers make it false.
bool ParseMechanics(const std::string& text, Mechanics& out);

// The mechanics named by SIDERA_SIM_MECHANICS (as ParseMechanics reads
// them); none when it is unset or not valid.
Mechanics MechanicsFromEnvironment();

}  // namespace sidera
