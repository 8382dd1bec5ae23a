// Lets a test set a mount's published state directly, to derive from or to
// race with; the library's own writers are the motion paths alone.
#pragma once

#include <atomic>
#include <cstdint>

#include "sidera/core/published_state.h"
#include "sidera/core/telescope_mount.h"

namespace sidera {

struct PublishedStateAccess {
  static std::atomic<uint32_t>& MountState(TelescopeMount& m) { return Of(m).mountState_; }
  static void SetGotoActive(TelescopeMount& m, bool active) { Of(m).gotoActive_ = active; }

 private:
  // The mount is not const; its accessor only hands out a const view.
  static PublishedState& Of(TelescopeMount& m) {
    return const_cast<PublishedState&>(m.Published());
  }
};

}  // namespace sidera
