// Exported motion operations on the current mount: rate moves, gotos,
// synchronisation, limits and rates.
#include "sidera/api/export_checks.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

using namespace sidera;

extern "C" SIDERA_API int MoveAxis(int axis, double rate) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!IsAxis(axis) || !AllFinite(rate)) {
    return kInvalidParameter;
  }
  return g_mount->MoveAxis(axis, rate, SiderealRateFactor(rate));
}

extern "C" SIDERA_API int GotoAxis(int axis, double angle) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!AllFinite(angle)) {
    return kInvalidParameter;
  }
  // The other axis keeps its current position as its goto target.
  AxisPair target{};
  MountResult result = g_mount->GetAxisPosition(0, &target.axis0);
  if (result != kOk) {
    return result;
  }
  result = g_mount->GetAxisPosition(1, &target.axis1);
  if (result != kOk) {
    return result;
  }
  if (axis != 0) {
    target.axis1 = angle;
  } else {
    target.axis0 = angle;
  }
  return g_mount->GotoAxes(target.axis0, target.axis1);
}

extern "C" SIDERA_API int StopAxis(int axis) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!IsAxis(axis)) {
    return kInvalidParameter;
  }
  return g_mount->StopAxis(axis);
}

extern "C" SIDERA_API int SetAltitudeLimits(double lower, double upper) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!AllFinite(lower, upper)) {
    return kInvalidParameter;
  }
  return g_mount->SetAltitudeLimits(lower, upper);
}

extern "C" SIDERA_API int SyncAxis(int axis, double angle) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!IsAxis(axis) || !AllFinite(angle)) {
    return kInvalidParameter;
  }
  return g_mount->SyncAxis(axis, angle);
}

extern "C" SIDERA_API int SetBacklash(int axis, double angle) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!IsAxis(axis) || !AllFinite(angle)) {
    return kInvalidParameter;
  }
  return g_mount->SetBacklash(axis, angle);
}

extern "C" SIDERA_API int SetGuideRate(int axis, double rate) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!IsAxis(axis) || !AllFinite(rate)) {
    return kInvalidParameter;
  }
  return g_mount->SetGuideRate(axis, rate);
}

extern "C" SIDERA_API int GotoSky(double hourAngle, double declination) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!AllFinite(hourAngle, declination)) {
    return kInvalidParameter;
  }
  return g_mount->GotoSky(Wrapped(SkyPoint{hourAngle, declination}));
}

extern "C" SIDERA_API int SetTracking(int on) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  return g_mount->SetTracking(on);
}

extern "C" SIDERA_API int SetTrackingRateMode(int mode) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  return g_mount->SetTrackingRateMode(mode);
}

extern "C" SIDERA_API int ExtensionCommand(int value) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  return g_mount->ExtensionCommand(value);
}

extern "C" SIDERA_API int GotoAxes(double angle0, double angle1) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!AllFinite(angle0, angle1)) {
    return kInvalidParameter;
  }
  return g_mount->GotoAxes(angle0, angle1);
}

extern "C" SIDERA_API int GotoHorizontal(double azimuth, double altitude) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!AllFinite(azimuth, altitude)) {
    return kInvalidParameter;
  }
  return g_mount->GotoHorizontal(azimuth, altitude);
}

// Converts through the pointing model with the mount errors applied; the
// conversion's own result is not reported (0 on success of the call).
extern "C" SIDERA_API int SkyToAxes(SkyPoint sky, AxisPair* axes) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (axes == nullptr || !IsFinite(sky)) {
    return kInvalidParameter;
  }
  (void)g_mount->SkyToAxes(sky, *axes, 1);
  return kOk;
}

// A goto to the sky position that lies the given axis offsets away from
// `target`: to axes, offset, back to the sky, then an ordinary sky goto.
extern "C" SIDERA_API int GotoSkyWithAxisOffset(SkyPoint target, double offset0, double offset1) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!IsFinite(target) || !AllFinite(offset0, offset1)) {
    return kInvalidParameter;
  }
  AxisPair axes{};
  (void)g_mount->SkyToAxes(target, axes, 1);
  axes.axis0 += offset0;
  axes.axis1 += offset1;
  SkyPoint shifted{};
  (void)g_mount->AxesToSky(axes, shifted, 1);
  return g_mount->GotoSky(shifted);
}

// No result. Without a mount, or with any non-finite value, nothing changes.
extern "C" SIDERA_API void SetGotoParameters(double approachDistance, double approachOffset,
                                             double gotoTolerance, double gotoLeadTime) {
  if (g_mount == nullptr) {
    return;
  }
  if (!AllFinite(approachDistance, approachOffset, gotoTolerance, gotoLeadTime)) {
    return;
  }
  g_mount->approachDistance = approachDistance;
  g_mount->approachOffset = approachOffset;
  g_mount->gotoTolerance = gotoTolerance;
  g_mount->gotoLeadTime = gotoLeadTime;
}

extern "C" SIDERA_API int SyncHomePosition(void) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  return g_mount->SyncHomePosition();
}
