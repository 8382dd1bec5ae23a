// The points a user has synced on, kept for the mount's pointing model. Each
// sync adds an observation: the star's fixed sky position and what the
// mount read with it centred. One to three points give the one-, two- or
// three-star alignment, more the many-star model.
#pragma once

#include <cstddef>
#include <vector>

#include "sidera.h"

namespace sidera::indi {

struct SyncedStar {
  double rightAscension = 0;  // radians, for telling points apart
  double declination = 0;
  AlignStar observation{};  // hour angle at the sync, declination, both axis angles
};

class AlignmentBook {
 public:
  static constexpr size_t kMaxStars = 100;
  // Syncs closer than this to a point already held count as the same point.
  static constexpr double kSameStar = 0.5 / 180.0 * 3.141592653589793;

  // Takes a new observation. A sync on a point already held (within
  // kSameStar) replaces that point's observation, so re-centring refines
  // the model instead of weighting one place twice; otherwise the point is
  // added, and one beyond kMaxStars pushes out the oldest. The newest point
  // is always last: the model reads it back exactly.
  void Add(const SyncedStar& star);
  void Clear() { stars_.clear(); }
  const std::vector<SyncedStar>& stars() const { return stars_; }
  // The observations in order, as AlignStars takes them.
  std::vector<AlignStar> Observations() const;

 private:
  std::vector<SyncedStar> stars_;
};

}  // namespace sidera::indi
