// Lets a test set parts of a mount's pointing model directly, to start a
// fit or a conversion from chosen terms; in the library only the alignment
// code writes the model.
#pragma once

#include <utility>

#include "sidera/core/telescope_mount.h"

namespace sidera {

// Applies `change` to a copy of the model and loads the copy back.
template <class Change>
void EditModel(TelescopeMount& mount, Change change) {
  PointingValues values = mount.Model().Copy();
  change(values);
  mount.Model().Load(std::move(values));
}

}  // namespace sidera
