// The stars of the last many-star alignment and what the fit made of them.
#pragma once

#include <cstdint>
#include <vector>

#include "sidera/core/types.h"

namespace sidera {

// The parameters of the many-star fit, in the order they are tried. The
// first four are always fitted; the others while the fit stays well
// conditioned (many_star_fit.h).
enum PointingTerm : int {
  kTermAxis0Index = 0,  // turn about the axis-0 pole (axis-0 index error)
  kTermPoleTiltX,       // axis-0 pole tilted about the frame's x axis (polar or azimuth axis)
  kTermPoleTiltY,       // ... about its y axis
  kTermAxis1Index,      // axis-1 index error
  kTermCollimation,
  kTermNonPerpendicularity,
  kTermTubeFlexure,
  kTermAxisFlexure,  // equatorial only: declination-axis flexure
  kTermCount
};

struct AlignmentBook {
  std::vector<AlignStar> stars;   // as given (sky angles reduced)
  std::vector<double> residuals;  // per star, on the sky, radians
  std::vector<int> used;          // 1 fitted, 0 dropped
  // The fitted terms (radians; the rotation terms relative to the starting
  // model), and which were fitted; 0 and false for a one- to three-star fit.
  double terms[kTermCount] = {};
  bool fitted[kTermCount] = {};
};

}  // namespace sidera
