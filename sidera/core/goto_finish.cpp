// The rule for corrective moves at the end of a goto (see the header).
#include "sidera/core/goto_finish.h"

namespace sidera {

bool WorthFinishing(double toGo, double gotoTolerance) {
  return toGo > kFinishTolerance && toGo <= 4.0 * gotoTolerance;
}

}  // namespace sidera
