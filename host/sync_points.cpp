// Bookkeeping of the synced points that make up the pointing model.
#include "host/sync_points.h"

#include "host/sky_angles.h"

namespace sidera::host {

void SyncPoints::Add(const SyncPoint& point) {
  for (auto it = points_.begin(); it != points_.end(); ++it) {
    if (Separation(it->rightAscension, it->declination, point.rightAscension, point.declination) <
        kSamePoint) {
      points_.erase(it);
      break;
    }
  }
  if (points_.size() == kMaxPoints) points_.erase(points_.begin());
  points_.push_back(point);
}

std::vector<AlignStar> SyncPoints::Observations() const {
  std::vector<AlignStar> observations;
  observations.reserve(points_.size());
  for (const SyncPoint& p : points_) observations.push_back(p.observation);
  return observations;
}

}  // namespace sidera::host
