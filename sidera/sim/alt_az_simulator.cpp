// Model 7: the alt-azimuth simulator, axes moved in software.

#include "sidera/sim/alt_az_simulator.h"

#include "sidera/core/angles.h"

namespace sidera {

AltAzSimulator::AltAzSimulator() : Simulator(DegToRad(8.0), false) {
  mountType = 7;
  // The home position of an alt-azimuth mount: level, pointing north.
  axisPosition[0] = 0.0;
  axisPosition[1] = 0.0;
  gotoTolerance = DegToRad(0.05);
  approachOffset = DegToRad(2.0);
  gotoLeadTime = 2.0;
  (void)ResetAltAzAlignment();
}

}  // namespace sidera
