// The alt-azimuth mount kind: starting matrix, zenith offset, star ratings,
// and the operations that end the software tracking before another motion.
// The tracking threads themselves are in alt_az_tracking.cpp.
#include "sidera/mounts/alt_az_mount.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "sidera/core/angles.h"
#include "sidera/core/transforms.h"
#include "sidera/core/vector_matrix.h"

namespace sidera {

namespace {

AlignStar WithNormalizedAngles(AlignStar s) {
  s.hourAngle = NormalizeAngle(s.hourAngle);
  s.declination = NormalizeAngle(s.declination);
  s.axis0 = NormalizeAngle(s.axis0);
  s.axis1 = NormalizeAngle(s.axis1);
  return s;
}

}  // namespace

AltAzMount::AltAzMount()
    : trackingWakeEvent(platform::Event::Mode::kAutoReset, false),
      trackingStoppedEvent(platform::Event::Mode::kManualReset, true),
      trackingThread(false),
      trackingWanted(false) {
  DeclareEquatorial(false);
}

// The tracking threads use this part's events; none may outlive it. After a
// Shutdown (the normal way to an end) there is nothing left to stop.
AltAzMount::~AltAzMount() {
  MarkShuttingDown();
  if (TrackingActive()) StopTrackingThread();
  Workers().CloseAndJoin([this] { trackingWakeEvent.Set(); });
}

// Tracking is done here, by the library: when the mount goes, axes that
// were tracking are halted rather than left running at the last rates.
void AltAzMount::Shutdown() {
  AwaitUnsentStarts();
  const bool tracking = trackingWanted;
  MarkShuttingDown();
  if (TrackingActive()) RequestTrackingStop();
  if (tracking) {
    HaltUnclaimed(0);
    HaltUnclaimed(1);
  }
  if (TrackingActive()) AwaitTrackingStopped();
  TelescopeMount::Shutdown();
}

// A tracking loop sleeps on trackingWakeEvent for up to 30 s: wake it so that
// it sees the shutdown, then wake the motion threads.
void AltAzMount::WakeWorkersForShutdown() {
  trackingWakeEvent.Set();
  TelescopeMount::WakeWorkersForShutdown();
}

// Turns (hour angle, declination) into (north-based azimuth, altitude).
int AltAzMount::ResetAlignment() { return ResetAltAzAlignment(); }

int AltAzMount::ResetAltAzAlignment() {
  const double phi = Latitude();
  Matrix3 nominal;
  SetDiagonal(nominal, -1.0);
  nominal.At(0, 0) = -std::sin(phi);
  nominal.At(0, 2) = std::cos(phi);
  nominal.At(2, 0) = std::cos(phi);
  nominal.At(2, 2) = std::sin(phi);
  return Model().SetNominal(nominal);
}

// The angle between the true zenith and the zenith of the current model,
// with the index error taken back out.
double AltAzMount::AlignmentAdjust() {
  const PointingModel::Lock lock = Model().Hold();
  SkyPoint zenith{0.0, Latitude()};
  AxisPair z{};
  (void)SkyToAxes(zenith, z, 1);
  const double a = z.axis1 + Model().View().axis1Index;
  const double c = std::sin(kPi / 2.0) * std::sin(a) +
                   std::cos(kPi / 2.0) * std::cos(a) * std::cos(0.0 - z.axis0);
  return std::fabs(c) <= 1.0 ? std::acos(c) : 0.0;
}

// Near the zenith an alt-azimuth mount cannot follow a star, so stars above
// 60 degrees are not offered.
int AltAzMount::CheckTargetAltitude(const SkyPoint& point) {
  const int r = TelescopeMount::CheckTargetAltitude(point);
  if (r == 0) return 0;
  const int s = AltitudeOf(*this, point) < DegToRad(60.0) ? 5 : 0;
  return std::min(r, s);
}

int AltAzMount::CheckStars2(SkyPoint s1, SkyPoint s2, int mode) {
  const int r = CheckTargetAltitude(s2);
  if (r == 0) return 0;
  const double a1 = AzimuthOf(*this, s1);
  const double a2 = AzimuthOf(*this, s2);
  if (std::fabs(a1 - a2) < DegToRad(60.0)) return 0;
  int q = r;
  if (mode == 2) {
    const double d =
        std::fabs(1.0 / std::cos(AltitudeOf(*this, s1)) - 1.0 / std::cos(AltitudeOf(*this, s2)));
    if (d < 0.1) {
      q = 5;
    } else if (d < 0.3) {
      q = 4;
    } else if (d < 0.6) {
      q = 3;
    } else if (d < 0.8) {
      q = 2;
    } else {
      q = 0;
    }
  }
  return std::min(q, r);
}

int AltAzMount::CheckStars3(SkyPoint s1, SkyPoint s2, SkyPoint s3) {
  const int r = CheckTargetAltitude(s3);
  if (r == 0) return 0;
  const SkyPoint* stars[3] = {&s1, &s2, &s3};
  double az[3];
  double alt[3];
  for (int i = 0; i < 3; ++i) {
    az[i] = AzimuthOf(*this, *stars[i]);
    alt[i] = AltitudeOf(*this, *stars[i]);
  }
  // w[i]: how much star i+1 and the third star differ in 1/cos(altitude);
  // a pair too close or too opposite in azimuth ends the search.
  double w[2] = {0.0, 0.0};
  for (int i = 1; i >= 0; --i) {
    const double d = std::fabs(NormalizeAngle(az[2] - az[i]));
    if (d < DegToRad(20.0) || d > DegToRad(160.0)) {
      w[i] = 0.0;
      break;
    }
    w[i] = std::fabs(1.0 / std::cos(alt[2]) - 1.0 / std::cos(alt[i]));
  }
  const int k = w[0] < w[1] ? 1 : 0;
  const int o = 1 - k;
  const SkyPoint& other = *stars[o];
  if (std::fabs(AngularSeparationOf(other.hourAngle, other.declination, s3.hourAngle,
                                    s3.declination)) <= DegToRad(45.0)) {
    return 0;
  }
  int q = 0;
  if (w[k] > 2.5) {
    q = 5;
  } else if (w[k] > 0.8452) {
    q = 4;
  } else if (w[k] > 0.6793) {
    q = 3;
  } else if (w[k] > 0.3789) {
    q = 2;
  } else if (w[k] > 0.1855) {
    q = 1;
  }
  return std::min(q, r);
}

MountResult AltAzMount::AlignOneStar(AlignStar s1) {
  return TelescopeMount::AlignOneStar(WithNormalizedAngles(s1));
}

MountResult AltAzMount::AlignTwoStars(AlignStar s1, AlignStar s2) {
  return TelescopeMount::AlignTwoStars(WithNormalizedAngles(s1), WithNormalizedAngles(s2));
}

MountResult AltAzMount::AlignThreeStars(AlignStar s1, AlignStar s2, AlignStar s3) {
  return TelescopeMount::AlignThreeStars(WithNormalizedAngles(s1), WithNormalizedAngles(s2),
                                         WithNormalizedAngles(s3));
}

// Tells the tracking loop to stop, halts the axes no goto or hand move
// claims, then waits for the loop to end.
MountResult AltAzMount::StopTracking() {
  const bool active = TrackingActive();
  if (active) RequestTrackingStop();
  const MountResult r = TelescopeMount::StopTracking();
  if (active) AwaitTrackingStopped();
  return r;
}

// Every motion other than tracking first ends the tracking loop, so that
// only one thread commands the axes.
void AltAzMount::RequestKindMotionsEnd() {
  if (TrackingActive()) RequestTrackingStop();
}

void AltAzMount::AwaitKindMotionsEnd() {
  if (TrackingActive()) AwaitTrackingStopped();
}

// Tracking resumes once both axes are released, if it was requested.
TelescopeMount::AfterStop AltAzMount::AfterStopOf(int) {
  const bool resume = ClaimOn(0) == 0 && ClaimOn(1) == 0 && TrackingRequested();
  return resume ? AfterStop::kHaltThenTrack : AfterStop::kHalt;
}

MountResult AltAzMount::GotoAxes(double angle0, double angle1) {
  return StartAxesGoto(angle0, angle1);
}

}  // namespace sidera
