// Model 7: an alt-azimuth mount without hardware. Both axes move in software
// (SimulatedAxes) at 8 degrees per second for a goto; tracking is the
// alt-azimuth kind's software tracking.
#pragma once

#include "sidera/mounts/alt_az_mount.h"
#include "sidera/sim/simulator.h"

namespace sidera {

class AltAzSimulator : public Simulator<AltAzMount> {
 public:
  AltAzSimulator();
};

}  // namespace sidera
