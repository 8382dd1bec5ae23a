// Model 6: an equatorial mount without hardware. Both axes move in software
// (SimulatedAxes) at 4 degrees per second for a goto, so the whole library
// (gotos, rate moves, tracking, alignment) runs without a device.
#pragma once

#include "sidera/mounts/equatorial_mount.h"
#include "sidera/sim/simulator.h"

namespace sidera {

class EquatorialSimulator : public Simulator<EquatorialMount> {
 public:
  EquatorialSimulator();

  // Accepted and ignored: the simulator has no extended commands.
  MountResult ExtensionCommand(int /*value*/) override { return kOk; }
};

}  // namespace sidera
