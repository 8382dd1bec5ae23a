// How a goto ends on its target: once the passes have brought the axes
// within the goto tolerance (where a goto counts as arrived), short
// corrective moves close what is left, to within kFinishTolerance, so that
// a goto ends a few arc-seconds from its target rather than anywhere
// inside the tolerance. The moves go straight to the target (no approach
// offset: they are too short for backlash to matter) and a sky goto aims
// each one where the target will be when the move has ended, by the time
// the previous move took.
#pragma once

#include <cstdint>

namespace sidera {

// Where a goto ends: within 3 arc-seconds, inside the 5 promised with room
// for the controllers' resolution (1.8" at the coarsest).
inline constexpr double kFinishTolerance = 3.0 * 3.141592653589793 / 648000.0;
// At most this many corrective moves; an axis that does not come closer
// (a controller that ignores moves below its resolution) ends the goto.
inline constexpr int kFinishMoves = 4;
// An axis in a corrective move is polled this often (ms), so that the goto
// hands over to tracking soon after the move has ended.
inline constexpr uint32_t kFinishPollTicks = 20;

// Whether the distance left after the passes (radians) is short enough for
// corrective moves: within four times the goto tolerance. A goto whose
// passes ran out far from the target (an axis that does not go where it is
// sent) ends as before.
bool WorthFinishing(double toGo, double gotoTolerance);

// How long a corrective move takes, from its command to the goto seeing it
// ended: learnt from the moves made, to aim a sky goto's next move.
class FinishLead {
 public:
  double Seconds() const { return seconds_; }
  void Took(uint32_t ticks) { seconds_ = ticks / 1000.0; }

 private:
  double seconds_ = 0.0;
};

}  // namespace sidera
