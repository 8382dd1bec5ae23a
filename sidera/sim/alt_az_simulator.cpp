// Model 7: the alt-azimuth simulator, axes moved in software.

#include "sidera/sim/alt_az_simulator.h"

#include "sidera/core/angles.h"

namespace sidera {

AltAzSimulator::AltAzSimulator() : axes_(*this, DegToRad(8.0), false) {
  mountType = 7;
  // The home position of an alt-azimuth mount: level, pointing north.
  axisPosition[0] = 0.0;
  axisPosition[1] = 0.0;
  gotoTolerance = DegToRad(0.05);
  approachOffset = DegToRad(2.0);
  gotoLeadTime = 2.0;
  (void)ResetAltAzAlignment();
}

// Threads of this mount call into axes_; make sure none is left before it
// goes (a no-op when the mount was shut down before deletion).
AltAzSimulator::~AltAzSimulator() { Shutdown(); }

MountResult AltAzSimulator::ReadAxisPosition(int axis) { return axes_.ReadPosition(axis); }

MountResult AltAzSimulator::ReadAxisState(int axis) { return axes_.ReadState(axis); }

MountResult AltAzSimulator::SlewAxisAtRate(int axis, double rate) {
  return axes_.SlewAtRate(axis, rate);
}

MountResult AltAzSimulator::GotoAxisAngle(int axis, double angle) {
  return axes_.GotoAngle(axis, angle);
}

MountResult AltAzSimulator::HaltAxis(int axis) { return axes_.Halt(axis); }

MountResult AltAzSimulator::MoveAxis(int axis, double rate, int rateFactor) {
  (void)HaltAxis(axis);  // always succeeds
  return AltAzMount::MoveAxis(axis, rate, rateFactor);
}

}  // namespace sidera
