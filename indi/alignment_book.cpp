// Bookkeeping of the synced stars that make up the alignment.
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

}  // namespace sidera::indi
