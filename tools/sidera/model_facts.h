// What the host program knows about each mount model beyond the library's
// names: its wire family, its kind, the fastest rate it slews at, the
// tolerance within which its gotos count as arrived, and its home position.
#pragma once

namespace sidera::tool {

struct ModelFacts {
  int type;
  int family;       // 1..3: wire protocol family; 0: a simulator (no device)
  bool equatorial;  // else alt-azimuth
  double maxSlewDegreesPerSecond;
  double gotoToleranceDegrees;  // the arrival tolerance of the model's driver
  double gotoLeadSeconds;       // how far ahead a sky goto aims
};

// The facts of model `type`, or null outside 0..11.
const ModelFacts* FactsOf(int type);

// The home (park) position's axis angles in degrees: the pole for an
// equatorial mount (-90, +90), north on the horizon for an alt-azimuth one.
inline double HomeAxis0Degrees(const ModelFacts& m) { return m.equatorial ? -90.0 : 0.0; }
inline double HomeAxis1Degrees(const ModelFacts& m) { return m.equatorial ? 90.0 : 0.0; }

}  // namespace sidera::tool
