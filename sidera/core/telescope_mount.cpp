// Root bodies of TelescopeMount: construction and shutdown, the site and
// limit setters, the status getters and the starting steps of the motions.
// The motion threads themselves live in motion_threads.cpp; the pointing
// model conversions in transforms.cpp; alignment in alignment.cpp.
#include "sidera/core/telescope_mount.h"

#include <cmath>

#include "sidera/core/angles.h"
#include "sidera/core/transforms.h"
#include "sidera/platform/clock.h"

namespace sidera {

namespace {

constexpr double kHalfPi = kPi / 2.0;

// How long StopAxis, Shutdown and the destructor give the motion threads to
// release the axes.
constexpr uint32_t kReleaseWaitTicks = 2000;

// Axis numbers come from the host unchecked; anything but 0 or 1 would index
// past the per-axis fields, so the bodies that index them refuse it.
bool ValidAxis(int axis) { return axis == 0 || axis == 1; }

void SetIdentity(Matrix3& m) {
  for (int i = 0; i < 9; ++i) m.m[i] = (i % 4 == 0) ? 1.0 : 0.0;
}

}  // namespace

TelescopeMount::TelescopeMount() : idleEvent(platform::Event::Mode::kManualReset, true) {
  latitude = DegToRad(30.0);
  elevation = 0.0;
  // The kinds fill the pointing model for the site; until then it is the
  // identity, so that nothing converts through uninitialised memory.
  SetIdentity(skyToAxesMatrix);
  SetIdentity(axesToSkyMatrix);
  for (int a = 0; a < 2; ++a) {
    axisPosition[a] = 0.0;
    axisTarget[a] = 0.0;
    axisRate[a] = 0.0;
    axisStartPosition[a] = 0.0;
    axisStartTick[a] = 0;
    axisState[a] = AXIS_STOPPED;
    guideRate[a] = kSiderealRate / 2.0;
    backlashAngle[a] = 0.0;
    axisLastDirectionPositive[a] = 1;
    backlashTakeUpTime[a] = 0;
    axisMoving[a] = 0;
    syncAxisOnAlign[a] = 0;
  }
  mountState = MOUNT_STOPPED;
  trackingRate = kSiderealRate;
  backlashCompensation = 1;
  rateScale = 64.0 * kSiderealRate;
  gotoActive = 0;
  stopRequested = 0;
  gotoTarget.Store(SkyPoint{0.0, 0.0});
  gotoStartTick = 0;
  gotoTolerance = DegToRad(1.0 / 30.0);
  approachOffset = 0.0;
  approachDistance = 0.0;
  gotoLeadTime = 0.0;
  mountType = -1;
  isEquatorial = 0;
  equatorialGotoRefinement = 0;
  upperAltitudeLimit = DegToRad(75.0);
  lowerAltitudeLimit = 0.0;
  axis1IndexError = 0.0;
  collimationError = 0.0;
  nonPerpendicularityError = 0.0;
  alignmentResidual = 0.0;
  alignmentQuality = 0;
  isAligned = 0;
  trackingRequested = 0;
  trackingReference.Store(SkyPoint{0.0, 0.0});
  trackingReferenceTick = 0;
  shuttingDown = 0;
}

TelescopeMount::~TelescopeMount() {
  // Normally Shutdown() has already stopped and joined every thread and this
  // finds the axes idle at once. If it has not, give a running goto the
  // usual chance to give way, then stop and join whatever is left: no thread
  // may outlive the object it works on.
  stopRequested = 1;
  (void)idleEvent.Wait(kReleaseWaitTicks);
  stopRequested = 0;
  shuttingDown = 1;
  workers.CloseAndJoin([this] { idleEvent.Set(); });
}

void TelescopeMount::Shutdown() {
  // Let a running goto see the request and release the axes on its own.
  stopRequested = 1;
  (void)idleEvent.Wait(kReleaseWaitTicks);
  stopRequested = 0;
  // From here every thread loop ends at its next check and no motion takes
  // the axes any more.
  shuttingDown = 1;
  axisMoving[0] = 0;
  axisMoving[1] = 0;
  mountState.fetch_and(~MOUNT_TRACKING);
  // A thread still waiting to take the axes is woken by setting idleEvent.
  // That cannot hand the axes to anybody: every hand-over checks
  // shuttingDown after its wait and gives up, and the thread that owns the
  // axes (if any) ends at its next check of shuttingDown.
  workers.CloseAndJoin([this] { WakeWorkersForShutdown(); });
}

void TelescopeMount::WakeWorkersForShutdown() { idleEvent.Set(); }

MountResult TelescopeMount::UpdateMountState() {
  uint32_t s0 = 0;
  uint32_t s1 = 0;
  MountResult r = GetAxisState(0, &s0);
  if (r != kOk) return r;
  r = GetAxisState(1, &s1);
  if (r != kOk) return r;

  if (gotoActive != 0 || ((s0 | s1) & AXIS_GOTO) != 0) {
    mountState = MOUNT_GOTO;
  } else if ((s0 & AXIS_STOPPED) != 0 && (s1 & AXIS_STOPPED) != 0) {
    mountState = (mountState & MOUNT_TRACKING) != 0 ? MOUNT_TRACKING : MOUNT_STOPPED;
  } else if (((s0 | s1) & AXIS_RATE_MOTION) != 0) {
    mountState = (axisMoving[0] != 0 || axisMoving[1] != 0) ? MOUNT_SLEWING : MOUNT_TRACKING;
  }
  return kOk;
}

// ---- Virtual operations, slot order. SkyToAxes and AxesToSky are in
// transforms.cpp. ----

int TelescopeMount::CheckTargetAltitude(const SkyPoint& point) {
  const double h = AltitudeOf(*this, point);
  if (h < lowerAltitudeLimit) return 0;
  if (h < DegToRad(15.0)) return 0;
  if (h > upperAltitudeLimit) return 0;
  return 5;
}

int TelescopeMount::ResetAlignment() { return 0; }

double TelescopeMount::AlignmentAdjust() { return 0.0; }

MountResult TelescopeMount::ReadAxisPosition(int) { return kNotImplemented; }

MountResult TelescopeMount::ReadAxisState(int) { return kNotImplemented; }

MountResult TelescopeMount::MotionPollHook() { return kOk; }

MountResult TelescopeMount::AuxCommandHook(uint32_t, uint32_t, uint32_t) { return kOk; }

MountResult TelescopeMount::Connect() { return kOk; }

MountResult TelescopeMount::ReservedHook() { return kOk; }

MountResult TelescopeMount::SetSite(double newLatitude, double newElevation) {
  std::lock_guard<std::recursive_mutex> lock(modelMutex);
  if (!(newLatitude >= -kHalfPi && newLatitude <= kHalfPi)) return kInvalidParameter;
  latitude = newLatitude;
  // On an equatorial mount the sign of the tracking rate follows the
  // hemisphere.
  if (isEquatorial != 0) {
    const double rate = trackingRate;
    if ((newLatitude < 0.0 && rate > 0.0) || (newLatitude >= 0.0 && rate < 0.0)) {
      trackingRate = -rate;
    }
  }
  if (!(newElevation >= -1000.0 && newElevation <= 8848.0)) return kInvalidParameter;
  elevation = newElevation;
  if (isAligned == 0) (void)ResetAlignment();
  return kOk;
}

MountResult TelescopeMount::SetMountErrors(double collimation, double nonPerpendicularity) {
  std::lock_guard<std::recursive_mutex> lock(modelMutex);
  (void)ResetAlignment();
  axis1IndexError = 0.0;
  collimationError = collimation;
  nonPerpendicularityError = nonPerpendicularity;
  alignmentResidual = 0.0;
  isAligned = 0;
  return kOk;
}

int TelescopeMount::CheckStars1(SkyPoint s1) { return CheckTargetAltitude(s1); }

int TelescopeMount::CheckStars2(SkyPoint, SkyPoint s2, int) { return CheckTargetAltitude(s2); }

int TelescopeMount::CheckStars3(SkyPoint, SkyPoint, SkyPoint s3) { return CheckTargetAltitude(s3); }

MountResult TelescopeMount::SlewAxisAtRate(int, double) { return kNotImplemented; }

MountResult TelescopeMount::GotoAxisAngle(int, double) { return kNotImplemented; }

MountResult TelescopeMount::HaltAxis(int) { return kNotImplemented; }

MountResult TelescopeMount::WriteAxisPosition(int axis, double angle) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  axisPosition[axis] = angle;
  return kOk;
}

MountResult TelescopeMount::GotoBothAxisAngles(double angle0, double angle1) {
  const MountResult r = GotoAxisAngle(0, angle0);
  if (r != kOk) return r;
  return GotoAxisAngle(1, angle1);
}

MountResult TelescopeMount::StartTracking() { return kNotImplemented; }

MountResult TelescopeMount::StopTracking() {
  if ((mountState & MOUNT_TRACKING) != 0) {
    (void)HaltAxis(0);
    (void)HaltAxis(1);
    mountState.fetch_and(~MOUNT_TRACKING);
  }
  return kOk;
}

MountResult TelescopeMount::MoveAxis(int axis, double rate, int) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  if (std::fabs(rate) < 1e-6 * kSiderealRate) {
    (void)StopAxis(axis);
    return kOk;
  }
  axisMoving[axis] = 1;
  mountState.fetch_and(~MOUNT_TRACKING);
  axisRate[axis] = rate;
  // A thread that cannot be started moves nothing; the caller still gets 0
  // and sees the outcome through the axis state.
  (void)LaunchMoveAxisThread(axis);
  return kOk;
}

MountResult TelescopeMount::ReservedHook2(uint32_t, uint32_t, uint32_t) { return kOk; }

MountResult TelescopeMount::StopAxis(int axis) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  axisMoving[axis] = 0;
  // Not resetting the event: a running motion sees the cleared flag, halts
  // and sets it. A timeout is not reported; the axis is halted anyway.
  (void)idleEvent.Wait(kReleaseWaitTicks);
  return HaltAxis(axis);
}

MountResult TelescopeMount::GotoSky(SkyPoint target) {
  const double h = AltitudeOf(*this, target);
  if (h > upperAltitudeLimit) return kTargetTooHigh;
  if (h < lowerAltitudeLimit) return kTargetTooLow;
  gotoTarget.Store(target);
  gotoStartTick = platform::Now();
  axisMoving[0] = 1;
  axisMoving[1] = 1;
  mountState.fetch_and(~MOUNT_TRACKING);
  trackingRequested = 0;
  (void)LaunchGotoSkyThread();
  return kOk;
}

MountResult TelescopeMount::GotoHorizontal(double azimuth, double altitude) {
  if (altitude > upperAltitudeLimit) return kTargetTooHigh;
  if (altitude < lowerAltitudeLimit) return kTargetTooLow;
  // HorizontalToEquatorial measures azimuth from the south.
  const double southAzimuth = azimuth >= 0.0 ? azimuth - kPi : azimuth + kPi;
  SkyPoint sky{};
  HorizontalToEquatorial(*this, sky, HorizontalPoint{southAzimuth, altitude});
  AxisPair axes{};
  (void)SkyToAxes(sky, axes, 1);
  axisTarget[0] = axes.axis0;
  axisTarget[1] = axes.axis1;
  axisMoving[0] = 1;
  axisMoving[1] = 1;
  trackingRequested = 0;
  mountState.fetch_and(~MOUNT_TRACKING);
  (void)LaunchGotoAxesThread();
  return kOk;
}

MountResult TelescopeMount::GotoAxes(double, double) { return kNotImplemented; }

MountResult TelescopeMount::SyncHomePosition() {
  const double home0 = isEquatorial != 0 ? -kHalfPi : 0.0;
  const double home1 = isEquatorial != 0 ? kHalfPi : 0.0;
  const MountResult r = WriteAxisPosition(0, home0);
  if (r != kOk) return r;
  return WriteAxisPosition(1, home1);
}

MountResult TelescopeMount::SyncAxis(int axis, double angle) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  // A failed read leaves the last known state, which decides as usual; a
  // dead controller then fails the write below.
  (void)ReadAxisState(axis);
  if ((axisState[axis] & AXIS_STOPPED) == 0) return kAxisBusy;
  const double a = NormalizeAngle(angle);
  axisPosition[axis] = a;
  return WriteAxisPosition(axis, a);
}

MountResult TelescopeMount::SetAltitudeLimits(double lower, double upper) {
  if (upper > kHalfPi) upper = kHalfPi;
  if (!(upper > kPi / 4.0)) return kInvalidParameter;
  upperAltitudeLimit = upper;
  // The new upper limit stays stored even when the lower one is refused.
  if (!(lower < kPi / 4.0 && lower > -kPi / 6.0)) return kInvalidParameter;
  lowerAltitudeLimit = lower;
  return kOk;
}

MountResult TelescopeMount::SetBacklash(int axis, double angle) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  if (!(angle >= 0.0 && angle <= DegToRad(2.0))) return kInvalidParameter;
  backlashAngle[axis] = angle;
  // Time to cross the backlash at the take-up rate, truncated to whole ms.
  backlashTakeUpTime[axis] = static_cast<uint32_t>(1000.0 * angle / rateScale);
  return kOk;
}

MountResult TelescopeMount::SetGuideRate(int axis, double rate) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  if (!(rate >= -kSiderealRate && rate <= kSiderealRate)) return kInvalidParameter;
  guideRate[axis] = rate;
  return kOk;
}

MountResult TelescopeMount::SetTracking(int on) {
  trackingRequested = on;
  (void)UpdateMountState();
  // The outcome shows in the mount state; the call itself always succeeds.
  if (on != 0) {
    (void)StartTracking();
  } else {
    (void)StopTracking();
  }
  return kOk;
}

MountResult TelescopeMount::SetTrackingRateMode(int mode) {
  double rate = kSiderealRate;
  if (mode == 1) {
    rate = kTwoPi / 89460.0;  // lunar
  } else if (mode == 2) {
    rate = kTwoPi / 86400.0;  // solar
  }
  if (latitude < 0.0 && isEquatorial != 0) rate = -rate;
  trackingRate = rate;
  return kOk;
}

MountResult TelescopeMount::ExtensionCommand(int) { return kNotImplemented; }

MountResult TelescopeMount::GetAxisPosition(int axis, double* out) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  const MountResult r = ReadAxisPosition(axis);
  *out = axisPosition[axis];
  return r;
}

MountResult TelescopeMount::GetSkyPosition(SkyPoint* out) {
  (void)ReadAxisPosition(0);
  (void)ReadAxisPosition(1);
  AxisPair axes{axisPosition[0], axisPosition[1]};
  (void)AxesToSky(axes, *out, 1);
  return kOk;
}

MountResult TelescopeMount::GetHorizontalPosition(HorizontalPoint* out) {
  (void)ReadAxisPosition(0);
  (void)ReadAxisPosition(1);
  AxisPair axes{axisPosition[0], axisPosition[1]};
  SkyPoint sky{};
  (void)AxesToSky(axes, sky, 1);
  out->azimuth = AzimuthOf(*this, sky);
  out->altitude = AltitudeOf(*this, sky);
  return kOk;
}

MountResult TelescopeMount::GetAxisState(int axis, uint32_t* out) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  (void)ReadAxisState(axis);
  *out = axisState[axis] & 0x1Fu;
  return kOk;
}

MountResult TelescopeMount::GetMountState(uint32_t* out) {
  (void)UpdateMountState();
  *out = mountState & 0x0Fu;
  return kOk;
}

}  // namespace sidera
