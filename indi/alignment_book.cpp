// Bookkeeping of the synced points that make up the pointing model.
#include "indi/alignment_book.h"

#include "indi/host_names.h"

namespace sidera::indi {

void AlignmentBook::Add(const SyncedStar& star) {
  for (auto it = stars_.begin(); it != stars_.end(); ++it) {
    if (Separation(it->rightAscension, it->declination, star.rightAscension, star.declination) <
        kSameStar) {
      stars_.erase(it);
      break;
    }
  }
  if (stars_.size() == kMaxStars) stars_.erase(stars_.begin());
  stars_.push_back(star);
}

std::vector<AlignStar> AlignmentBook::Observations() const {
  std::vector<AlignStar> observations;
  observations.reserve(stars_.size());
  for (const SyncedStar& s : stars_) observations.push_back(s.observation);
  return observations;
}

}  // namespace sidera::indi
