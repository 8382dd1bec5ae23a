// The software axis drive of the two simulated mounts.
//
// Each axis moves in segments of constant rate kept in the per-axis motion
// record of TelescopeMount (AxisRecord: position, state, commanded angle,
// rate, last direction and the segment's start).
// A segment starts at full rate and stops at once; positions have no limits.
// The position is worked out from the tick clock only when it is refreshed
// (a position or state read, a halt), and a goto ends only when a refresh
// finds the computed position past the target, which then becomes the
// position.
//
// Who touches the record: the host thread and the motion and tracking
// threads all call these primitives. Each primitive reads and writes several
// fields in sequence, so every primitive runs under this drive's mutex: a
// refresh can then never combine the fields of two different segments and
// store a position that belongs to neither.
#pragma once

#include <cstdint>
#include <mutex>

#include "sidera/core/types.h"

namespace sidera {
class TelescopeMount;
}

namespace sidera::sim {

class SimulatedAxes {
 public:
  // `slewSpeed`: goto rate in radians per second. `foldLowAxis1Targets`: an
  // axis-1 goto target below -90 degrees is taken one turn up (an equatorial
  // declination axis runs from -90 to +270 degrees).
  SimulatedAxes(TelescopeMount& mount, double slewSpeed, bool foldLowAxis1Targets);
  SimulatedAxes(const SimulatedAxes&) = delete;
  SimulatedAxes& operator=(const SimulatedAxes&) = delete;

  // Brings the axis's position up to the clock, then ends a goto that has passed
  // its target.
  MountResult ReadPosition(int axis);
  // The same: a state read sees a goto end just as a position read does.
  MountResult ReadState(int axis);
  // A new constant-rate segment from the position as last refreshed; rate 0
  // stops the axis there.
  MountResult SlewAtRate(int axis, double rate);
  // A goto at the slew speed from the position as last refreshed, the direct
  // way to `angle`.
  MountResult GotoAngle(int axis, double angle);
  // Stops the axis at its freshly computed position.
  MountResult Halt(int axis);

 private:
  void UpdatePositionLocked(int axis, uint32_t now);
  void CheckArrivalLocked(int axis);

  TelescopeMount& mount_;
  const double slewSpeed_;
  const bool foldLowAxis1Targets_;
  std::mutex mutex_;
};

}  // namespace sidera::sim
