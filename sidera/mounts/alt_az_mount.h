// The alt-azimuth mount kind: its starting matrix, star ratings for this
// geometry, and software tracking. An alt-azimuth mount follows the sky by
// recomputing both axis rates on a tracking thread every 10 s (30 s once
// aligned); every other motion stops that thread first.
#pragma once

#include <atomic>

#include "sidera/core/telescope_mount.h"
#include "sidera/platform/event.h"

namespace sidera {

class AltAzMount : public virtual TelescopeMount {
 public:
  AltAzMount();
  ~AltAzMount() override;

  int CheckTargetAltitude(const SkyPoint& point) override;
  int ResetAlignment() override;
  double AlignmentAdjust() override;
  int CheckStars2(SkyPoint s1, SkyPoint s2, int mode) override;
  int CheckStars3(SkyPoint s1, SkyPoint s2, SkyPoint s3) override;
  MountResult AlignOneStar(AlignStar s1) override;
  MountResult AlignTwoStars(AlignStar s1, AlignStar s2) override;
  MountResult AlignThreeStars(AlignStar s1, AlignStar s2, AlignStar s3) override;
  MountResult StartTracking() override;
  MountResult StopTracking() override;
  MountResult MoveAxis(int axis, double rate, int rateFactor) override;
  MountResult StopAxis(int axis) override;
  MountResult GotoSky(SkyPoint target) override;
  MountResult GotoHorizontal(double azimuth, double altitude) override;
  MountResult GotoAxes(double angle0, double angle1) override;
  void Shutdown() override;

  // Clears MOUNT_TRACKING, wakes the loop and waits up to 3000 ms for it to
  // end.
  void StopTrackingThread();
  MountResult TrackingStarterThread();
  MountResult TrackingLoopThread();

  // Auto-reset, created clear: wakes the loop at once.
  platform::Event trackingWakeEvent;
  // Manual-reset, created set: reset while a loop exists; the loop sets it
  // as its last act.
  platform::Event trackingStoppedEvent;
  // Nonzero while a loop thread exists (the loop's handle on the original
  // platform). Written by the starter and the loop.
  std::atomic<int32_t> trackingThread;

 protected:
  // The body of this kind's ResetAlignment, callable from constructors.
  int ResetAltAzAlignment();
};

}  // namespace sidera
