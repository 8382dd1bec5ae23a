// Model 6: the equatorial simulator, axes moved in software.

#include "sidera/sim/equatorial_simulator.h"

#include "sidera/core/angles.h"

namespace sidera {

EquatorialSimulator::EquatorialSimulator() : Simulator(DegToRad(4.0), true) {
  DeclareModel(6);
  // The home position of an equatorial mount: counterweight down, pointing
  // at the pole.
  Axes().NotePosition(0, -kPi / 2.0);
  Axes().NotePosition(1, kPi / 2.0);
  SetGotoParameters(
      {.approachOffset = DegToRad(2.0), .tolerance = DegToRad(1.0 / 30.0), .leadTime = 2.0});
  (void)ResetEquatorialAlignment();
}

}  // namespace sidera
