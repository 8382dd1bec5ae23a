// What the hosts know about each mount model: its wire family, its kind, its
// line's baud rate, the fastest rate it slews at, the tolerance within which
// its gotos count as arrived, how far ahead a sky goto aims, its home
// position and the tracking rates it follows. Read from the library's model
// table (sidera_models.h), one row per model.
#pragma once

#include <vector>

#include "sidera_models.h"

namespace sidera::host {

// Tracking rates, numbered as SetTrackingRateMode takes them.
enum TrackingRateBit : unsigned {
  kTrackSidereal = 1u << 0,
  kTrackLunar = 1u << 1,
  kTrackSolar = 1u << 2,
};

// The wire protocol a model speaks (numbered as `sidera models` prints it).
enum WireFamily : int {
  kSimulatorFamily = 0,  // no device
  kPacketBus = 1,
  kByteCommand = 2,
  kHexCommand = 3,
};

struct ModelFacts {
  int type = -1;
  WireFamily family = kSimulatorFamily;
  bool equatorial = true;  // else alt-azimuth
  unsigned baudRate = 0;   // 0 for a simulator
  double maxSlewDegreesPerSecond = 0;
  // The arrival tolerance the model's driver starts with; the connected
  // controller may widen it (ConnectedGotoToleranceDegrees).
  double gotoToleranceDegrees = 0;
  double gotoLeadSeconds = 0;  // how far ahead a sky goto aims
  // The home position's axis angles in degrees: the pole for an equatorial
  // mount (-90, +90), north on the horizon for an alt-azimuth one (0, 0).
  double homeAxis0Degrees = 0;
  double homeAxis1Degrees = 0;
  // The rates tracking can follow (TrackingRateBit): an equatorial mount
  // turns its right-ascension axis at any of the three; an alt-azimuth
  // mount's software tracking follows the stars only.
  unsigned trackingRates = kTrackSidereal;
};

// The number of models: the rows of the table, numbered from 0.
#define SIDERA_HOST_COUNT_MODEL(...) +1
inline constexpr int kModelCount = 0 SIDERA_MODELS(SIDERA_HOST_COUNT_MODEL);
#undef SIDERA_HOST_COUNT_MODEL
inline int ModelCount() { return kModelCount; }
// The highest model number, for texts such as "0 to 11".
inline int LastModel() { return kModelCount - 1; }
// The facts of model `type`, or null outside 0..ModelCount() - 1.
const ModelFacts* FactsOf(int type);

// The goto tolerance of the connected mount in degrees, as it decided at
// connect (GetGotoParameters), or `fallback` without a mount.
double ConnectedGotoToleranceDegrees(double fallback);

// A simulator needs no serial device.
inline bool IsSimulator(const ModelFacts& m) { return m.family == kSimulatorFamily; }
// Whether model `type` opens a serial device: a model of the table that is
// not a simulator.
inline bool OpensSerialDevice(int type) {
  const ModelFacts* facts = FactsOf(type);
  return facts != nullptr && !IsSimulator(*facts);
}
// Whether `m` follows tracking rate `rate` (0 sidereal, 1 lunar, 2 solar),
// and the rates it follows, in that order.
inline bool FollowsTrackingRate(const ModelFacts& m, int rate) {
  return rate >= 0 && rate < 3 && (m.trackingRates & (1u << rate)) != 0;
}
std::vector<int> TrackingRatesOf(const ModelFacts& m);
inline double HomeAxis0Degrees(const ModelFacts& m) { return m.homeAxis0Degrees; }
inline double HomeAxis1Degrees(const ModelFacts& m) { return m.homeAxis1Degrees; }

}  // namespace sidera::host
