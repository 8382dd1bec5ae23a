// What a mount shows of its motions: its state word, whether a goto is
// under way, and the sky target of the latest sky goto.
#pragma once

#include <atomic>
#include <cstdint>

#include "sidera/core/types.h"

namespace sidera {

class AltAzMount;
class TelescopeMount;
// The tests' way to set the state directly (tests/support).
struct PublishedStateAccess;

// Read by any thread, as copies. Written only by the motion paths: the
// operations and motion threads of TelescopeMount and the alt-azimuth
// tracking of AltAzMount. A driver has no way to set it: it reports its
// axes, and the state is derived from them.
class PublishedState {
 public:
  // One of MOUNT_STOPPED, MOUNT_TRACKING, MOUNT_SLEWING, MOUNT_GOTO.
  uint32_t MountState() const { return mountState_.load(); }
  bool GotoActive() const { return gotoActive_.load(); }
  // For display: the goto thread carries its own copy. The two halves are
  // stored one by one, so a reader may see the halves of two gotos.
  SkyPoint GotoTarget() const {
    return SkyPoint{targetHourAngle_.load(), targetDeclination_.load()};
  }

 private:
  friend class TelescopeMount;
  friend class AltAzMount;
  friend struct PublishedStateAccess;

  void SetMountState(uint32_t state) { mountState_.store(state); }
  void SetGotoActive(bool active) { gotoActive_.store(active); }
  void SetGotoTarget(const SkyPoint& p) {
    targetHourAngle_.store(p.hourAngle);
    targetDeclination_.store(p.declination);
  }

  // Every change is one atomic step, so a bit that another thread sets or
  // clears meanwhile is never lost (see TelescopeMount::UpdateMountState).
  std::atomic<uint32_t> mountState_{MOUNT_STOPPED};
  std::atomic<bool> gotoActive_{false};
  std::atomic<double> targetHourAngle_{0.0};
  std::atomic<double> targetDeclination_{0.0};
};

}  // namespace sidera
