// Exported motion operations on the current mount: rate moves, gotos,
// synchronisation, limits and rates.
#include "sidera/api/export_checks.h"
#include "sidera/api/mount_access.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

using namespace sidera;

extern "C" SIDERA_API int MoveAxis(int axis, double rate) {
  return OnCurrentMount(IsAxis(axis) && AllFinite(rate), [&](TelescopeMount& mount) {
    return mount.MoveAxis(axis, rate, SiderealRateFactor(rate));
  });
}

extern "C" SIDERA_API int GotoAxis(int axis, double angle) {
  return OnCurrentMount(AllFinite(angle), [&](TelescopeMount& mount) {
    // The other axis keeps its current position as its goto target.
    AxisPair target{};
    MountResult result = mount.GetAxisPosition(0, &target.axis0);
    if (result != kOk) {
      return result;
    }
    result = mount.GetAxisPosition(1, &target.axis1);
    if (result != kOk) {
      return result;
    }
    if (axis != 0) {
      target.axis1 = angle;
    } else {
      target.axis0 = angle;
    }
    return mount.GotoAxes(target.axis0, target.axis1);
  });
}

extern "C" SIDERA_API int StopAxis(int axis) {
  return OnCurrentMount(IsAxis(axis), [&](TelescopeMount& mount) { return mount.StopAxis(axis); });
}

extern "C" SIDERA_API int StopEverything(void) {
  return OnCurrentMount(true, [](TelescopeMount& mount) { return mount.StopEverything(); });
}

extern "C" SIDERA_API int SetAltitudeLimits(double lower, double upper) {
  return OnCurrentMount(AllFinite(lower, upper), [&](TelescopeMount& mount) {
    return mount.SetAltitudeLimits(lower, upper);
  });
}

extern "C" SIDERA_API int SyncAxis(int axis, double angle) {
  return OnCurrentMount(IsAxis(axis) && AllFinite(angle),
                        [&](TelescopeMount& mount) { return mount.SyncAxis(axis, angle); });
}

extern "C" SIDERA_API int SetBacklash(int axis, double angle) {
  return OnCurrentMount(IsAxis(axis) && AllFinite(angle),
                        [&](TelescopeMount& mount) { return mount.SetBacklash(axis, angle); });
}

extern "C" SIDERA_API int SetGuideRate(int axis, double rate) {
  return OnCurrentMount(IsAxis(axis) && AllFinite(rate),
                        [&](TelescopeMount& mount) { return mount.SetGuideRate(axis, rate); });
}

extern "C" SIDERA_API int GotoSky(double hourAngle, double declination) {
  return OnCurrentMount(AllFinite(hourAngle, declination), [&](TelescopeMount& mount) {
    return mount.GotoSky(Wrapped(SkyPoint{hourAngle, declination}));
  });
}

extern "C" SIDERA_API int SetTracking(int on) {
  return OnCurrentMount(true, [&](TelescopeMount& mount) { return mount.SetTracking(on); });
}

extern "C" SIDERA_API int SetTrackingRateMode(int mode) {
  return OnCurrentMount(true,
                        [&](TelescopeMount& mount) { return mount.SetTrackingRateMode(mode); });
}

extern "C" SIDERA_API int ExtensionCommand(int value) {
  return OnCurrentMount(true, [&](TelescopeMount& mount) { return mount.ExtensionCommand(value); });
}

extern "C" SIDERA_API int GotoAxes(double angle0, double angle1) {
  return OnCurrentMount(AllFinite(angle0, angle1),
                        [&](TelescopeMount& mount) { return mount.GotoAxes(angle0, angle1); });
}

extern "C" SIDERA_API int GotoHorizontal(double azimuth, double altitude) {
  return OnCurrentMount(AllFinite(azimuth, altitude), [&](TelescopeMount& mount) {
    return mount.GotoHorizontal(azimuth, altitude);
  });
}

// Converts through the pointing model with the mount errors applied; the
// conversion's own result is not reported (0 on success of the call).
extern "C" SIDERA_API int SkyToAxes(SkyPoint sky, AxisPair* axes) {
  return OnCurrentMount(axes != nullptr && IsFinite(sky), [&](TelescopeMount& mount) {
    (void)mount.SkyToAxes(sky, *axes, 1);
    return kOk;
  });
}

// A goto to the sky position that lies the given axis offsets away from
// `target`: to axes, offset, back to the sky, then an ordinary sky goto.
extern "C" SIDERA_API int GotoSkyWithAxisOffset(SkyPoint target, double offset0, double offset1) {
  return OnCurrentMount(IsFinite(target) && AllFinite(offset0, offset1),
                        [&](TelescopeMount& mount) {
                          AxisPair axes{};
                          (void)mount.SkyToAxes(target, axes, 1);
                          axes.axis0 += offset0;
                          axes.axis1 += offset1;
                          SkyPoint shifted{};
                          (void)mount.AxesToSky(axes, shifted, 1);
                          return mount.GotoSky(shifted);
                        });
}

// No result. Without a mount, or with any non-finite value, nothing changes.
extern "C" SIDERA_API void SetGotoParameters(double approachDistance, double approachOffset,
                                             double gotoTolerance, double gotoLeadTime) {
  (void)OnCurrentMount(
      AllFinite(approachDistance, approachOffset, gotoTolerance, gotoLeadTime),
      [&](TelescopeMount& mount) {
        mount.SetGotoParameters({approachDistance, approachOffset, gotoTolerance, gotoLeadTime});
        return kOk;
      });
}

extern "C" SIDERA_API int GetGotoParameters(double* approachDistance, double* approachOffset,
                                            double* gotoTolerance, double* gotoLeadTime) {
  return OnCurrentMount(true, [&](TelescopeMount& mount) {
    const GotoParameters p = mount.GetGotoParameters();
    if (approachDistance != nullptr) *approachDistance = p.approachDistance;
    if (approachOffset != nullptr) *approachOffset = p.approachOffset;
    if (gotoTolerance != nullptr) *gotoTolerance = p.tolerance;
    if (gotoLeadTime != nullptr) *gotoLeadTime = p.leadTime;
    return kOk;
  });
}

extern "C" SIDERA_API int SyncHomePosition(void) {
  return OnCurrentMount(true, [](TelescopeMount& mount) { return mount.SyncHomePosition(); });
}
