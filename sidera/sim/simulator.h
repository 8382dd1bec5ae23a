// What the two simulators share: a mount of kind `Kind` (alt-azimuth or
// equatorial) whose hardware primitives move both axes in software
// (SimulatedAxes) instead of over a line.
#pragma once

#include "sidera/core/telescope_mount.h"
#include "sidera/sim/simulated_axis.h"

namespace sidera {

template <class Kind>
class Simulator : public Kind {
 public:
  // Threads of this mount call into axes_; make sure none is left before it
  // goes (a no-op when the mount was shut down before deletion).
  ~Simulator() override { this->Shutdown(); }

  MountResult ReadAxisPosition(int axis) override { return axes_.ReadPosition(axis); }
  MountResult ReadAxisState(int axis) override { return axes_.ReadState(axis); }
  MountResult SlewAxisAtRate(int axis, double rate) override {
    return axes_.SlewAtRate(axis, rate);
  }
  MountResult GotoAxisAngle(int axis, double angle) override {
    return axes_.GotoAngle(axis, angle);
  }
  MountResult HaltAxis(int axis) override { return axes_.Halt(axis); }
  MountResult MoveAxis(int axis, double rate, int rateFactor) override {
    (void)HaltAxis(axis);  // always succeeds
    return Kind::MoveAxis(axis, rate, rateFactor);
  }

 protected:
  // `gotoSpeed` in rad/s; `foldLowAxis1Targets` as SimulatedAxes takes it.
  Simulator(double gotoSpeed, bool foldLowAxis1Targets)
      : axes_(*this, gotoSpeed, foldLowAxis1Targets) {}

  sim::SimulatedAxes axes_;
};

}  // namespace sidera
