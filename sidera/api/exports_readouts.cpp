// Exported read-outs of the current mount: positions and states. Each
// reports no mount (3) before a null output pointer (4).
#include "sidera/api/export_checks.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

using namespace sidera;

extern "C" SIDERA_API int GetAxisPosition(int axis, double* angle) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (angle == nullptr || !IsAxis(axis)) {
    return kInvalidParameter;
  }
  return g_mount->GetAxisPosition(axis, angle);
}

// Axis 1 is read only when axis 0 was read without error.
extern "C" SIDERA_API int GetAxisPositions(AxisPair* axes) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (axes == nullptr) {
    return kInvalidParameter;
  }
  const MountResult result = g_mount->GetAxisPosition(0, &axes->axis0);
  if (result != kOk) {
    return result;
  }
  return g_mount->GetAxisPosition(1, &axes->axis1);
}

extern "C" SIDERA_API int GetSkyPosition(SkyPoint* sky) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (sky == nullptr) {
    return kInvalidParameter;
  }
  return g_mount->GetSkyPosition(sky);
}

extern "C" SIDERA_API int GetHorizontalPosition(HorizontalPoint* horizontal) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (horizontal == nullptr) {
    return kInvalidParameter;
  }
  return g_mount->GetHorizontalPosition(horizontal);
}

extern "C" SIDERA_API int GetAxisState(int axis, uint32_t* state) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (state == nullptr || !IsAxis(axis)) {
    return kInvalidParameter;
  }
  return g_mount->GetAxisState(axis, state);
}

extern "C" SIDERA_API int GetMountState(uint32_t* state) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (state == nullptr) {
    return kInvalidParameter;
  }
  return g_mount->GetMountState(state);
}
