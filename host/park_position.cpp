// The park position and the goto that parks.
#include "host/park_position.h"

#include "host/sky_angles.h"

namespace sidera::host {

AxisPair HomeAxes(const ModelFacts& facts) {
  return AxisPair{Radians(HomeAxis0Degrees(facts)), Radians(HomeAxis1Degrees(facts))};
}

AxisPair ParkAxes(const ModelFacts& facts, std::optional<double> userAxis0Degrees,
                  std::optional<double> userAxis1Degrees) {
  return AxisPair{Radians(userAxis0Degrees.value_or(HomeAxis0Degrees(facts))),
                  Radians(userAxis1Degrees.value_or(HomeAxis1Degrees(facts)))};
}

int GotoFixedPosition(AxisPair axes, MotionOutcome* record) {
  int code = SetTracking(0);
  if (code == SIDERA_OK) code = GotoAxes(axes.axis0, axes.axis1);
  if (code == SIDERA_OK) (void)GetMotionOutcome(SIDERA_OUTCOME_MOUNT, record);  // no exchange
  return code;
}

}  // namespace sidera::host
