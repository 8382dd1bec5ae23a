// Model 6: an equatorial mount without hardware. Both axes move in software
// (SimulatedAxes) at 4 degrees per second for a goto, so the whole library
// (gotos, rate moves, tracking, alignment) runs without a device.
#pragma once

#include "sidera/mounts/equatorial_mount.h"
#include "sidera/sim/simulated_axis.h"

namespace sidera {

class EquatorialSimulator : public EquatorialMount {
 public:
  EquatorialSimulator();
  ~EquatorialSimulator() override;

  MountResult ReadAxisPosition(int axis) override;
  MountResult ReadAxisState(int axis) override;
  MountResult SlewAxisAtRate(int axis, double rate) override;
  MountResult GotoAxisAngle(int axis, double angle) override;
  MountResult HaltAxis(int axis) override;
  MountResult MoveAxis(int axis, double rate, int rateFactor) override;
  MountResult ExtensionCommand(int value) override;

 private:
  sim::SimulatedAxes axes_;
};

}  // namespace sidera
