// The exported read-out of the recorded motion outcomes (by name only: the
// ordinal table is the controller host's and stays as it is).
#include "sidera/api/mount_access.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

using namespace sidera;

extern "C" SIDERA_API int GetMotionOutcome(int axis, MotionOutcome* out) {
  const CurrentMount mount;
  if (!mount) {
    return kNoMount;
  }
  if (out == nullptr || (axis != SIDERA_OUTCOME_MOUNT && axis != 0 && axis != 1)) {
    return kInvalidParameter;
  }
  *out = mount->outcomes.Read(axis == SIDERA_OUTCOME_MOUNT ? MotionOutcomes::kMountSlot : axis);
  return kOk;
}
