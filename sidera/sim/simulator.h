// What the two simulators share: a mount of kind `Kind` (alt-azimuth or
// equatorial) whose hardware primitives move both axes in software
// (SimulatedAxes) instead of over a line.
#pragma once

#include "sidera/core/telescope_mount.h"
#include "sidera/sim/mechanics.h"
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

  // The mount's mechanical errors (SIDERA_SIM_MECHANICS, read when it is
  // built), at its site. The axis angles stay what the motions make them;
  // the errors only say where the tube truly points.
  Mechanics MechanicsNow() const {
    Mechanics m = mechanics_;
    m.equatorial = this->Identity().Equatorial();
    m.latitude = this->Latitude();
    return m;
  }
  // Where the tube points at the axis angles (a0, a1).
  SkyPoint TruePointing(double a0, double a1) const { return PointedSky(MechanicsNow(), a0, a1); }
  // The axis angles with the tube centred on `sky` (what a centred star
  // reads), on the side of the pier the kind's nominal model chooses.
  AxisPair CentredReadings(const SkyPoint& sky) {
    AxisPair guess{};
    SkyPoint p = sky;
    {
      // The kind's nominal model, whatever the mount is aligned to.
      const PointingModel::Lock lock = this->Model().Hold();
      const PointingValues kept = this->Model().Copy();
      (void)this->ResetAlignment();
      (void)this->SkyToAxes(p, guess, 0);
      this->Model().Load(kept);
    }
    return ReadingsFor(MechanicsNow(), sky, guess);
  }

 protected:
  // `gotoSpeed` in rad/s; `foldLowAxis1Targets` as SimulatedAxes takes it.
  Simulator(double gotoSpeed, bool foldLowAxis1Targets)
      : axes_(*this, gotoSpeed, foldLowAxis1Targets), mechanics_(MechanicsFromEnvironment()) {}

  sim::SimulatedAxes axes_;
  const Mechanics mechanics_;
};

}  // namespace sidera
