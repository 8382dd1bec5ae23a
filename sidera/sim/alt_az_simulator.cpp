// Model 7: the alt-azimuth simulator, axes moved in software.

#include "sidera/sim/alt_az_simulator.h"

#include "sidera/core/angles.h"

namespace sidera {

AltAzSimulator::AltAzSimulator() : Simulator(DegToRad(8.0), false) {
  DeclareModel(7);
  // The home position of an alt-azimuth mount: level, pointing north.
  Axes().NotePosition(0, 0.0);
  Axes().NotePosition(1, 0.0);
  SetGotoParameters(
      {.approachOffset = DegToRad(2.0), .tolerance = DegToRad(0.05), .leadTime = 2.0});
  (void)ResetAltAzAlignment();
}

}  // namespace sidera
