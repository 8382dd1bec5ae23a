// Lets a test set which command claims an axis, to derive the state from
// or to call a motion off under a running body; in the library only the
// command paths write the claims.
#pragma once

#include <cstdint>

#include "sidera/core/telescope_mount.h"

namespace sidera {

struct ClaimsAccess {
  static void Set(TelescopeMount& m, int axis, int32_t claim) { m.axisMoving_[axis] = claim; }
};

}  // namespace sidera
