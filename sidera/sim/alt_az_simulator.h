// Model 7: an alt-azimuth mount without hardware. Both axes move in software
// (SimulatedAxes) at 8 degrees per second for a goto; tracking is the
// alt-azimuth kind's software tracking.
#pragma once

#include "sidera/mounts/alt_az_mount.h"
#include "sidera/sim/simulated_axis.h"

namespace sidera {

class AltAzSimulator : public AltAzMount {
 public:
  AltAzSimulator();
  ~AltAzSimulator() override;

  MountResult ReadAxisPosition(int axis) override;
  MountResult ReadAxisState(int axis) override;
  MountResult SlewAxisAtRate(int axis, double rate) override;
  MountResult GotoAxisAngle(int axis, double angle) override;
  MountResult HaltAxis(int axis) override;
  MountResult MoveAxis(int axis, double rate, int rateFactor) override;

 private:
  sim::SimulatedAxes axes_;
};

}  // namespace sidera
