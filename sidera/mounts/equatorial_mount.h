// The equatorial mount kind: hemisphere matrices, the pier-side change, the
// mount-error correction, star ratings for equatorial geometry, and the start
// of the goto and tracking threads.
#pragma once

#include <cstdint>
#include <optional>

#include "sidera/core/telescope_mount.h"

namespace sidera {

// The declination-axis angle of an equatorial mount keeps to [-pi/2, 3pi/2):
// -90 to +90 degrees on one side of the pier, above +90 on the other. The
// same axis position given in any other turn is brought into that range.
double EquatorialAxis1Angle(double angle);

class EquatorialMount : public virtual TelescopeMount {
 public:
  EquatorialMount();
  ~EquatorialMount() override;

  int SkyToAxes(SkyPoint& in, AxisPair& out, int applyMountErrors) override;
  int CheckTargetAltitude(const SkyPoint& point) override;
  int ResetAlignment() override;
  double AlignmentAdjust() override;
  int CheckStars2(SkyPoint s1, SkyPoint s2, int mode) override;
  int CheckStars3(SkyPoint s1, SkyPoint s2, SkyPoint s3) override;
  MountResult AlignOneStar(AlignStar s1) override;
  MountResult AlignTwoStars(AlignStar s1, AlignStar s2) override;
  MountResult AlignThreeStars(AlignStar s1, AlignStar s2, AlignStar s3) override;
  MountResult StartTracking() override;
  MountResult StartTrackingOnTarget(const SkyPoint& target, uint32_t targetTick) override;
  MountResult GotoAxes(double angle0, double angle1) override;
  AfterStop AfterStopOf(int axis) override;
  // Keeps a coarse-step controller's axis 0 on the tracking rate's track
  // (equatorial_tracking.cpp).
  void FollowTrackingRate(uint32_t command, double rate) override;

 protected:
  // The step (radians per second) in which the controller runs `axis`'s
  // rates, truncating a commanded rate toward zero to a whole number of
  // steps; 0 for a controller whose rates are fine enough to need no care.
  virtual double RateStep(int /*axis*/) const { return 0.0; }
  // The follower's parts: ms between two cycles for a rate step; the rate
  // to command so that axis 0, read at `reading`, is at `onTrackAhead`
  // `seconds` later (the nearest step, at least one step in the direction
  // of the tracking `rate`).
  static uint32_t FollowPeriod(double step);
  static double FollowRate(double onTrackAhead, double reading, double seconds, double rate,
                           double step);
  // Reads axis 0 for the follower, with the tick the reading stands for;
  // `fastest` is the shortest read so far (ticks), kept by the caller.
  bool ReadFollowedAxis(double& angle, uint32_t& tick, uint32_t& fastest);

  // The body of this kind's ResetAlignment, callable from constructors.
  int ResetEquatorialAlignment();

 private:
  // A tracking start, on a goto's target or on where the axes point.
  MountResult StartTrackingWith(const std::optional<SkyReference::Value>& target);
  // The latest tracking start's command and the target it follows, if any;
  // commandMutex.
  uint32_t followCommand_ = 0;
  std::optional<SkyReference::Value> followTarget_;
};

}  // namespace sidera
