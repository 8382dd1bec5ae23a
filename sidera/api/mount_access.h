// Access to the current mount from the exported operations, safe while
// other host threads create and destroy mounts.
//
// Every exported operation that uses the mount holds the mount for its whole
// length through a CurrentMount (shared: any number of calls at once).
// CreateMount and DestroyMount run one at a time under a MountLifecycle and
// take the mount exclusively only to publish or withdraw g_mount: a
// withdrawal waits for the calls in progress, later calls find no mount, and
// the withdrawn mount is shut down and freed outside the exclusive hold.
// Waiting withdrawals and publications go before new calls, so a host thread
// that polls without pause cannot hold them off.
#pragma once

#include <mutex>

#include "sidera/api/globals.h"
#include "sidera/core/types.h"

namespace sidera {

class TelescopeMount;

class CurrentMount {
 public:
  CurrentMount();
  ~CurrentMount();
  CurrentMount(const CurrentMount&) = delete;
  CurrentMount& operator=(const CurrentMount&) = delete;

  explicit operator bool() const { return mount_ != nullptr; }
  TelescopeMount* operator->() const { return mount_; }
  TelescopeMount& operator*() const { return *mount_; }

 private:
  TelescopeMount* mount_;
};

// The start every exported operation on the mount shares: holds the current
// mount for the whole call and answers 3 without one, then `refused` (4
// unless given) when the caller found the arguments unusable, and otherwise
// what `body` answers on the mount. No mount is reported before a bad
// argument, so a host without a mount hears 3 whatever it passed.
template <typename Body>
int OnCurrentMount(bool argumentsUsable, Body&& body, int refused = kInvalidParameter) {
  const CurrentMount mount;
  if (!mount) return kNoMount;
  if (!argumentsUsable) return refused;
  return body(*mount);
}

class MountLifecycle {
 public:
  MountLifecycle();
  ~MountLifecycle();
  MountLifecycle(const MountLifecycle&) = delete;
  MountLifecycle& operator=(const MountLifecycle&) = delete;

  // The current mount; stable while this lifecycle is held.
  TelescopeMount* Current() const { return g_mount; }
  // Makes `mount` the current mount.
  void Publish(TelescopeMount* mount);
  // Clears g_mount once no call uses it any more and returns it.
  TelescopeMount* Withdraw();

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace sidera
