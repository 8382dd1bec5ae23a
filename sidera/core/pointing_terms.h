// The terms of the pointing model beyond the rotation: the three classic
// error terms (in PointingModel), the flexure terms of the many-star
// model, and a local correction at the newest star.
//
// The rotation (the pointing model's skyToAxes) takes a sky direction to the ideal axis
// angles; the terms then turn ideal angles into the readings the axes show
// with the star centred:
//   axis 1: reading = ideal - index + tube flexure * (Z . e1)
//   axis 0: reading = ideal - (collimation / cos a1 + nonPerpendicularity * tan a1)
//                   + tube flexure * (Z . e0) / cos a1 + axis flexure * (Z . P) / cos a1
// with a1 the ideal axis-1 angle, P the ideal pointing direction, e0 and e1
// the directions in which axis 0 and axis 1 move it, and Z the zenith, all
// in the axis frame. So the tube flexure lifts the axes by F sin(zenith
// distance) towards the zenith (the tube sags by as much), whatever the
// kind; the axis flexure (equatorial: the declination axis bending under
// the tube) moves axis 0 by F sin(altitude) / cos(declination). Then, near
// the newest star, the local correction adds what the fit left of that
// star's residual, fading with the distance from it, so that a sync reads
// back the synced position.
#pragma once

#include "sidera/core/types.h"
#include "sidera/core/vector_matrix.h"

namespace sidera {

class TelescopeMount;

struct PointingTerms {
  double tubeFlexure = 0.0;  // radians at the horizon
  double axisFlexure = 0.0;  // radians
  // The local correction: the reading minus the model's prediction at the
  // newest star (axis angles), and that star's ideal direction in the axis
  // frame.
  bool hasLocal = false;
  Vector3 localAt{0.0, 0.0, 1.0};
  double local0 = 0.0;
  double local1 = 0.0;
};

// The local correction fades as exp(-(d / kLocalRadius)^2) with the
// distance d from the newest star: a star's residual says nothing about the
// sky 30 degrees away.
inline constexpr double kLocalRadiusDegrees = 10.0;

// Ideal axis angles to readings (applies every term). The caller holds the
// mount's model lock.
void ApplyMountErrors(const TelescopeMount& mount, AxisPair& axes);
// Readings to ideal axis angles: the exact reverse of ApplyMountErrors when
// only the classic terms are set; with flexure terms, to well below a
// milli-arcsecond. The caller holds the model's lock.
void RemoveMountErrors(const TelescopeMount& mount, AxisPair& axes);

}  // namespace sidera
