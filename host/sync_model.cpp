// Syncs as one-star alignments or as points of the many-star model.
#include "host/sync_model.h"

#include <cmath>

#include "host/sky_angles.h"
#include "host/sky_coordinates.h"
#include "host/sky_frame.h"
#include "host/sync_restore.h"

namespace sidera::host {
int ObserveCentredStar(double raHours, double decDegrees, const std::function<int64_t()>& utcNow,
                       double longitude, SyncPoint* point) {
  AxisPair axes{};
  const int64_t before = utcNow();
  const int code = GetAxisPositions(&axes);
  if (code != SIDERA_OK) return code;
  const double lst = LocalApparentSiderealTimeAt(longitude, before + (utcNow() - before) / 2);
  point->rightAscension = raHours / 12.0 * kPi;
  point->declination = Radians(decDegrees);
  point->observation = {HourAngleOf(raHours, lst), point->declination, axes.axis0, axes.axis1};
  return SIDERA_OK;
}

int SyncModel::Sync(const AlignStar& star, double raHours, bool addsPoint) {
  if (!addsPoint) {
    const int code = FitOrRestore([&] { return AlignOneStar(star); });
    if (code == SIDERA_OK) Forget();  // the model no longer comes from them
    return code;
  }
  SyncPoints next = points_;
  next.Add({raHours / 12.0 * kPi, star.declination, star});
  const std::vector<AlignStar> observations = next.Observations();
  const int code = FitOrRestore(
      [&] { return AlignStars(observations.data(), static_cast<int>(observations.size())); });
  if (code != SIDERA_OK) return code;
  points_ = next;
  ShowFit();
  return code;
}

void SyncModel::ShowFit() {
  const auto& points = points_.points();
  const int n = static_cast<int>(points.size());
  std::vector<double> residuals(points.size());
  std::vector<int> used(points.size(), 1);
  int count = 0;
  if (GetAlignmentResiduals(residuals.data(), used.data(), n, &count) != SIDERA_OK || count != n) {
    residuals.assign(points.size(), 0.0);
    used.assign(points.size(), 1);
  }
  double rms = 0;
  (void)GetAlignmentQuality(&rms);
  SyncModelView view;
  for (int i = 0; i < n; ++i) {
    const double ra = std::fmod(points[i].rightAscension / kPi * 12.0 + 24.0, 24.0);
    view.points.push_back(
        {ra, points[i].declination / kPi * 180.0, residuals[i] * kArcsecPerRadian, used[i] != 0});
  }
  view.rmsArcsec = rms * kArcsecPerRadian;
  std::lock_guard<std::mutex> lock(mutex_);
  view_ = view;
}

int SyncModel::Clear(bool connected) {
  Forget();
  return connected ? SetMountErrors(0.0, 0.0) : SIDERA_OK;
}

void SyncModel::Forget() {
  points_.Clear();
  std::lock_guard<std::mutex> lock(mutex_);
  view_ = {};
}

SyncModelView SyncModel::View() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return view_;
}

}  // namespace sidera::host
