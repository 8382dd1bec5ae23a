// Exported read-outs of the current mount: positions and states. Each
// reports no mount (3) before a null output pointer (4). They share the
// axes' readings: within the read-out window of the last read of an axis,
// whoever made it, they answer without an exchange (see SharedReadOuts).
#include "sidera/api/export_checks.h"
#include "sidera/api/mount_access.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "sidera/link/exchange_scope.h"

using namespace sidera;

extern "C" SIDERA_API int GetAxisPosition(int axis, double* angle) {
  return OnCurrentMount(angle != nullptr && IsAxis(axis), [&](TelescopeMount& mount) {
    const SharedReadOuts shared;
    return mount.GetAxisPosition(axis, angle);
  });
}

// Axis 1 is read only when axis 0 was read without error.
extern "C" SIDERA_API int GetAxisPositions(AxisPair* axes) {
  return OnCurrentMount(axes != nullptr, [&](TelescopeMount& mount) {
    const SharedReadOuts shared;
    const MountResult result = mount.GetAxisPosition(0, &axes->axis0);
    if (result != kOk) {
      return result;
    }
    return mount.GetAxisPosition(1, &axes->axis1);
  });
}

extern "C" SIDERA_API int GetSkyPosition(SkyPoint* sky) {
  return OnCurrentMount(sky != nullptr, [&](TelescopeMount& mount) {
    const SharedReadOuts shared;
    return mount.GetSkyPosition(sky);
  });
}

extern "C" SIDERA_API int GetHorizontalPosition(HorizontalPoint* horizontal) {
  return OnCurrentMount(horizontal != nullptr, [&](TelescopeMount& mount) {
    const SharedReadOuts shared;
    return mount.GetHorizontalPosition(horizontal);
  });
}

extern "C" SIDERA_API int GetAxisState(int axis, uint32_t* state) {
  return OnCurrentMount(state != nullptr && IsAxis(axis), [&](TelescopeMount& mount) {
    const SharedReadOuts shared;
    return mount.GetAxisState(axis, state);
  });
}

extern "C" SIDERA_API int GetMountState(uint32_t* state) {
  return OnCurrentMount(state != nullptr, [&](TelescopeMount& mount) {
    const SharedReadOuts shared;
    return mount.GetMountState(state);
  });
}
