// The equatorial mount kind: hemisphere matrices, pier side, mount errors,
// star ratings, and the starts of its gotos and tracking.
#include "sidera/mounts/equatorial_mount.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "sidera/core/angles.h"
#include "sidera/core/pointing_terms.h"
#include "sidera/core/vector_matrix.h"

namespace sidera {

namespace {

// Stars on the same side of the meridian: both hour angles >= 0 or both < 0.
bool SameSide(const SkyPoint& a, const SkyPoint& b) {
  return (a.hourAngle >= 0.0) == (b.hourAngle >= 0.0);
}

AlignStar WithNormalizedSky(AlignStar s) {
  s.hourAngle = NormalizeAngle(s.hourAngle);
  s.declination = NormalizeAngle(s.declination);
  return s;
}

}  // namespace

double EquatorialAxis1Angle(double angle) {
  const double a = NormalizeAngle(angle);
  return a < -kPi / 2.0 ? a + kTwoPi : a;
}

EquatorialMount::EquatorialMount() { DeclareEquatorial(true); }

EquatorialMount::~EquatorialMount() = default;

int EquatorialMount::ResetAlignment() { return ResetEquatorialAlignment(); }

// North of the equator the axis frame is the sky frame; south of it the
// declination axis and the pole flip: diag(1, -1, -1).
int EquatorialMount::ResetEquatorialAlignment() {
  Matrix3 nominal;
  if (Latitude() >= 0.0) {
    SetDiagonal(nominal, 1.0);
  } else {
    SetDiagonal(nominal, -1.0);
    nominal.At(0, 0) = 1.0;
  }
  return Model().SetNominal(nominal);
}

int EquatorialMount::SkyToAxes(SkyPoint& in, AxisPair& out, int applyMountErrors) {
  const PointingModel::Lock lock = Model().Hold();
  (void)TelescopeMount::SkyToAxes(in, out, 0);  // always 0

  // West of the meridian in the north (east of it in the south) the tube is
  // on the other side of the pier: right ascension axis half a turn round,
  // declination axis past the pole.
  const bool north = Latitude() >= 0.0;
  if ((north && in.hourAngle > 0.0) || (!north && in.hourAngle < 0.0)) {
    out.axis0 = NormalizeAngle(kPi + out.axis0);
    out.axis1 = NormalizeAngle(kPi - out.axis1);
  }

  if (applyMountErrors != 0) {
    ApplyMountErrors(*this, out);
    out.axis0 = NormalizeAngle(out.axis0);
    out.axis1 = NormalizeAngle(out.axis1);
  }

  out.axis1 = EquatorialAxis1Angle(out.axis1);
  return 0;
}

// Stars within 15 degrees of a celestial pole are never offered.
int EquatorialMount::CheckTargetAltitude(const SkyPoint& point) {
  const int r = TelescopeMount::CheckTargetAltitude(point);
  if (r == 0) return 0;
  const int s = std::fabs(point.declination) < DegToRad(75.0) ? 5 : 0;
  return std::min(s, r);
}

// How far the current model and mount errors move the visible pole on the
// declination axis. The pole's nominal axis-1 angle is +90 degrees in both
// hemispheres (the southern matrix turns declination -90 into +90), so the
// offset is measured from there; measuring from the pole's declination
// would report half a turn for a perfect southern model.
double EquatorialMount::AlignmentAdjust() {
  SkyPoint p =
      Latitude() >= 0.0 ? SkyPoint{-kPi / 4.0, kPi / 2.0} : SkyPoint{kPi / 4.0, -kPi / 2.0};
  AxisPair out{};
  (void)SkyToAxes(p, out, 1);
  return std::fabs(out.axis1 - kPi / 2.0);
}

int EquatorialMount::CheckStars2(SkyPoint s1, SkyPoint s2, int mode) {
  const int r = CheckTargetAltitude(s2);
  if (r == 0) return 0;
  const bool same = SameSide(s1, s2);
  if (same) {
    const double d = std::fabs(NormalizeAngle(s1.declination + s2.declination));
    if (d < DegToRad(15.0)) return 0;
    const double e = std::fabs(NormalizeAngle(s1.hourAngle - s2.hourAngle));
    if (e < DegToRad(25.0)) return 0;
  } else {
    const double d = std::fabs(NormalizeAngle(kPi + s1.declination + s2.declination));
    if (d > DegToRad(160.0) || d < DegToRad(20.0)) return 0;
    const double e = std::fabs(NormalizeAngle(kPi + s1.hourAngle - s2.hourAngle));
    if (e < DegToRad(25.0)) return 0;
  }
  if (mode != 2) return r;
  if (!same) return 0;
  const double q = std::fabs(1.0 / std::cos(s1.declination) - 1.0 / std::cos(s2.declination));
  int score = 0;
  if (q < 0.1) {
    score = 5;
  } else if (q < 0.3) {
    score = 4;
  } else if (q < 0.6) {
    score = 3;
  } else if (q < 0.8) {
    score = 2;
  }
  return std::min(score, r);
}

// A third star must lie on the other side of the meridian from the first
// and differ from the others in the 1/cos(declination) term, which is what
// the collimation fit needs.
int EquatorialMount::CheckStars3(SkyPoint s1, SkyPoint s2, SkyPoint s3) {
  const int r = CheckTargetAltitude(s3);
  if (r == 0) return 0;
  if (SameSide(s1, s3)) return 0;
  const SkyPoint* partners[2] = {&s2, &s1};
  double value[2] = {0.0, 0.0};  // pair 2, pair 1; a pair never examined counts as 0
  for (int i = 0; i < 2; ++i) {
    const SkyPoint& si = *partners[i];
    const double a = std::fabs(NormalizeAngle(kPi + s3.hourAngle - si.hourAngle));
    if (a < DegToRad(20.0) || a > DegToRad(160.0)) {
      value[i] = 0.0;
      break;
    }
    value[i] = std::fabs(1.0 / std::cos(kPi + s3.declination) - 1.0 / std::cos(si.declination));
  }
  const double best = std::max(value[0], value[1]);
  int score = 0;
  if (best > 5.5) {
    score = 5;
  } else if (best > 3.5) {
    score = 4;
  } else if (best > 2.0) {
    score = 3;
  } else if (best > 1.0) {
    score = 2;
  } else if (best > 0.5) {
    score = 1;
  }
  return std::min(score, r);
}

MountResult EquatorialMount::AlignOneStar(AlignStar s1) {
  return TelescopeMount::AlignOneStar(WithNormalizedSky(s1));
}

MountResult EquatorialMount::AlignTwoStars(AlignStar s1, AlignStar s2) {
  return TelescopeMount::AlignTwoStars(WithNormalizedSky(s1), WithNormalizedSky(s2));
}

MountResult EquatorialMount::AlignThreeStars(AlignStar s1, AlignStar s2, AlignStar s3) {
  return TelescopeMount::AlignThreeStars(WithNormalizedSky(s1), WithNormalizedSky(s2),
                                         WithNormalizedSky(s3));
}

// Tracking turns the right ascension axis, so it cannot start while a goto
// or a hand move drives that axis (102), nor on an axis that does not answer
// (100). Otherwise the tracking start runs on its own thread for a new
// command number, and any later command ends it. Checked and drawn under the
// command lock, so that no motion claims the axis in between.
MountResult EquatorialMount::StartTracking() { return StartTrackingWith(std::nullopt); }

// After a sky goto the tracking follows the goto's target (on a controller
// whose rate steps need the follower).
MountResult EquatorialMount::StartTrackingOnTarget(const SkyPoint& target, uint32_t targetTick) {
  return StartTrackingWith(SkyReference::Value{target, targetTick});
}

MountResult EquatorialMount::StartTrackingWith(const std::optional<SkyReference::Value>& target) {
  // A silent axis is read first, with no lock held.
  const MountResult answers = CheckAxisAnswers(0);
  if (answers != kOk) return answers;
  const auto lock = LockCommands();
  if (ClaimOn(0) != 0) return kAxisBusy;
  const uint32_t command = BeginCommand(kAxis0);
  followCommand_ = command;
  followTarget_ = target;
  // A thread that could not be started (the mount is shutting down) moves
  // nothing.
  (void)LaunchTrackingStartThread(command);
  return kOk;
}

// The right ascension axis goes back to tracking instead of stopping while
// tracking is requested.
TelescopeMount::AfterStop EquatorialMount::AfterStopOf(int axis) {
  return axis == 0 && TrackingRequested() ? AfterStop::kTrack : AfterStop::kHalt;
}

// The declination target is taken into the axis's range first, so that the
// goto passes measure and command in the frame the drivers read the axis in
// (a target of -100 degrees is driven to, and arrives at, +260).
MountResult EquatorialMount::GotoAxes(double angle0, double angle1) {
  return StartAxesGoto(angle0, EquatorialAxis1Angle(angle1));
}

}  // namespace sidera
