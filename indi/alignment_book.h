// The stars a user has synced on, kept for the mount's one-, two- or
// three-star alignment. Each sync adds an observation: the star's fixed sky
// position and what the mount read with it centred.
#pragma once

#include <cstddef>
#include <vector>

#include "sidera.h"

namespace sidera::indi {

struct SyncedStar {
  double rightAscension = 0;  // radians, for telling stars apart
  double declination = 0;
  AlignStar observation{};  // hour angle at the sync, declination, both axis angles
};

class AlignmentBook {
 public:
  static constexpr size_t kMaxStars = 3;
  // Syncs closer than this to a star already held count as the same star.
  static constexpr double kSameStar = 10.0 / 180.0 * 3.141592653589793;

  // Takes a new observation. A sync on a star already held (within kSameStar)
  // replaces that star's observation, so re-centring refines the alignment
  // instead of spoiling it with two observations of one point; otherwise the
  // star is added, and a fourth pushes out the oldest. The newest star is
  // always last.
  void Add(const SyncedStar& star);
  void Clear() { stars_.clear(); }
  const std::vector<SyncedStar>& stars() const { return stars_; }

 private:
  std::vector<SyncedStar> stars_;
};

}  // namespace sidera::indi
