// The equatorial mount kind: hemisphere matrices, the pier-side change, the
// mount-error correction, star ratings for equatorial geometry, and the start
// of the goto and tracking threads.
#pragma once

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
  MountResult GotoAxes(double angle0, double angle1) override;
  AfterStop AfterStopOf(int axis) override;

 protected:
  // The body of this kind's ResetAlignment, callable from constructors.
  int ResetEquatorialAlignment();
};

}  // namespace sidera
