// How a goto approaches its target and when it counts as arrived.
#pragma once

namespace sidera {

struct GotoParameters {
  // A positive move longer than 1.2 times this stops this far short of the
  // target, and a later pass makes the last short move (rad).
  double approachDistance = 0.0;
  // A negative move overshoots by this, so that the final approach is
  // positive (rad).
  double approachOffset = 0.0;
  // How close the axes must come for the goto to have arrived (rad).
  double tolerance = 0.0;
  // How far ahead (s) a sky goto aims, where the target will be once the
  // axes get there.
  double leadTime = 0.0;
};

}  // namespace sidera
