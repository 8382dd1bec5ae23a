// The gate between exported calls and the creation and deletion of the
// current mount.
#include "sidera/api/mount_access.h"

#include <condition_variable>

namespace sidera {

namespace {

// A shared/exclusive gate that lets a waiting exclusive holder in before new
// shared holders.
class Gate {
 public:
  void EnterShared() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !exclusive_ && exclusiveWaiting_ == 0; });
    ++shared_;
  }
  void LeaveShared() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--shared_ == 0) changed_.notify_all();
  }
  void EnterExclusive() {
    std::unique_lock<std::mutex> lock(mutex_);
    ++exclusiveWaiting_;
    changed_.wait(lock, [this] { return !exclusive_ && shared_ == 0; });
    --exclusiveWaiting_;
    exclusive_ = true;
  }
  void LeaveExclusive() {
    std::lock_guard<std::mutex> lock(mutex_);
    exclusive_ = false;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int shared_ = 0;
  int exclusiveWaiting_ = 0;
  bool exclusive_ = false;
};

Gate& MountGate() {
  static Gate gate;
  return gate;
}

// Create and destroy, one at a time.
std::mutex& LifecycleMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

CurrentMount::CurrentMount() {
  MountGate().EnterShared();
  mount_ = g_mount;
}

CurrentMount::~CurrentMount() { MountGate().LeaveShared(); }

MountLifecycle::MountLifecycle() : lock_(LifecycleMutex()) {}

MountLifecycle::~MountLifecycle() = default;

void MountLifecycle::Publish(TelescopeMount* mount) {
  MountGate().EnterExclusive();
  g_mount = mount;
  MountGate().LeaveExclusive();
}

TelescopeMount* MountLifecycle::Withdraw() {
  MountGate().EnterExclusive();
  TelescopeMount* mount = g_mount;
  g_mount = nullptr;
  MountGate().LeaveExclusive();
  return mount;
}

}  // namespace sidera
