// Model 6: the equatorial simulator, axes moved in software.

#include "sidera/sim/equatorial_simulator.h"

#include "sidera/core/angles.h"

namespace sidera {

EquatorialSimulator::EquatorialSimulator() : axes_(*this, DegToRad(4.0), true) {
  mountType = 6;
  // The home position of an equatorial mount: counterweight down, pointing
  // at the pole.
  axisPosition[0] = -kPi / 2.0;
  axisPosition[1] = kPi / 2.0;
  gotoTolerance = DegToRad(1.0 / 30.0);
  approachOffset = DegToRad(2.0);
  gotoLeadTime = 2.0;
  (void)ResetEquatorialAlignment();
}

// Threads of this mount call into axes_; make sure none is left before it
// goes (a no-op when the mount was shut down before deletion).
EquatorialSimulator::~EquatorialSimulator() { Shutdown(); }

MountResult EquatorialSimulator::ReadAxisPosition(int axis) { return axes_.ReadPosition(axis); }

MountResult EquatorialSimulator::ReadAxisState(int axis) { return axes_.ReadState(axis); }

MountResult EquatorialSimulator::SlewAxisAtRate(int axis, double rate) {
  return axes_.SlewAtRate(axis, rate);
}

MountResult EquatorialSimulator::GotoAxisAngle(int axis, double angle) {
  return axes_.GotoAngle(axis, angle);
}

MountResult EquatorialSimulator::HaltAxis(int axis) { return axes_.Halt(axis); }

MountResult EquatorialSimulator::MoveAxis(int axis, double rate, int rateFactor) {
  (void)HaltAxis(axis);  // always succeeds
  return TelescopeMount::MoveAxis(axis, rate, rateFactor);
}

// Accepted and ignored: the simulator has no extended commands.
MountResult EquatorialSimulator::ExtensionCommand(int /*value*/) { return kOk; }

}  // namespace sidera
