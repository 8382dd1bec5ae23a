// A sync is a new fit of the pointing model; a fit that fails resets the
// model and may leave half-solved error terms behind. Every front end syncs
// through here, so a failed sync leaves the model in force as it was.
#pragma once

#include <functional>

namespace sidera::host {

// Runs `fit` (AlignStars or one of the one- to three-star alignments on the
// current mount) and returns its code; when that is not 0, the whole model
// saved before (SaveAlignmentModel) is loaded again.
int FitOrRestore(const std::function<int()>& fit);

}  // namespace sidera::host
