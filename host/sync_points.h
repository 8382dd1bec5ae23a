// The points a user has synced on, kept for the mount's pointing model (the
// INDI driver's syncs, and the Alpaca server's when its setup asks for
// them). Each sync adds an observation: the star's fixed sky position and
// what the mount read with it centred. One to three points give the one-,
// two- or three-star alignment, more the many-star model.
#pragma once

#include <cstddef>
#include <vector>

#include "sidera.h"

namespace sidera::host {

struct SyncPoint {
  double rightAscension = 0;  // radians, for telling points apart
  double declination = 0;
  AlignStar observation{};  // hour angle at the sync, declination, both axis angles
};

class SyncPoints {
 public:
  static constexpr size_t kMaxPoints = 100;
  // Syncs closer than this to a point already held count as the same point.
  static constexpr double kSamePoint = 0.5 / 180.0 * 3.141592653589793;

  // Takes a new observation. A sync on a point already held (within
  // kSamePoint) replaces that point's observation, so re-centring refines
  // the model instead of weighting one place twice; otherwise the point is
  // added, and one beyond kMaxPoints pushes out the oldest. The newest point
  // is always last: the model reads it back exactly.
  void Add(const SyncPoint& point);
  void Clear() { points_.clear(); }
  const std::vector<SyncPoint>& points() const { return points_; }
  // The observations in order, as AlignStars takes them.
  std::vector<AlignStar> Observations() const;

 private:
  std::vector<SyncPoint> points_;
};

}  // namespace sidera::host
