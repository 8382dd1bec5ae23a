// Parking, as every front end does it: the park position is the one the user
// set, else the model's home; a park is tracking off, then a goto of the axes
// there, watched like any goto through the mount's outcome record.
#pragma once

#include <optional>

#include "host/model_facts.h"
#include "sidera.h"

namespace sidera::host {

// The model's home position, radians.
AxisPair HomeAxes(const ModelFacts& facts);
// The park position, radians: the user's angles (degrees) where set, else
// the home position's.
AxisPair ParkAxes(const ModelFacts& facts, std::optional<double> userAxis0Degrees,
                  std::optional<double> userAxis1Degrees);

// On the calls lane: tracking off, then a goto of the axes to `axes` (the
// park or the home position). When the library took the goto, `record` is
// the mount's outcome record naming it started. Returns the first code that
// was not 0.
int GotoFixedPosition(AxisPair axes, MotionOutcome* record);

}  // namespace sidera::host
