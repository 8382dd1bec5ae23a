// The exported read-out of the recorded motion outcomes (by name only: the
// ordinal table is the controller host's and stays as it is).
#include "sidera/api/mount_access.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

using namespace sidera;

extern "C" SIDERA_API int GetMotionOutcome(int axis, MotionOutcome* out) {
  const bool known = axis == SIDERA_OUTCOME_MOUNT || axis == 0 || axis == 1;
  return OnCurrentMount(out != nullptr && known, [&](TelescopeMount& mount) {
    *out = mount.Outcomes().Read(axis == SIDERA_OUTCOME_MOUNT ? MotionOutcomes::kMountSlot : axis);
    return kOk;
  });
}
