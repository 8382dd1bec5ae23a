// The line lock with its urgent lane.
#include "sidera/link/line_lock.h"

namespace sidera {

bool LineLock::Acquire(bool urgent, std::chrono::nanoseconds timeout,
                       const std::function<void()>& hurry) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(mutex_);
  if (urgent) ++urgentWaiting_;
  uint64_t hurried = 0;  // holder number 0 never exists
  for (;;) {
    if (!held_ && (urgent || urgentWaiting_ == 0)) {
      held_ = true;
      ++holders_;
      if (urgent) --urgentWaiting_;
      return true;
    }
    if (urgent && held_ && hurried != holders_) {
      hurried = holders_;
      lock.unlock();
      if (hurry) hurry();
      lock.lock();
      continue;
    }
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
        std::chrono::steady_clock::now() >= deadline) {
      if (!held_ && (urgent || urgentWaiting_ == 0)) continue;  // freed at the last moment
      if (urgent) {
        --urgentWaiting_;
        changed_.notify_all();  // callers held back for this one may go now
      }
      return false;
    }
  }
}

void LineLock::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_ = false;
  changed_.notify_all();
}

bool LineLock::UrgentWaiting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return urgentWaiting_ > 0;
}

bool LineLock::Held() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_;
}

}  // namespace sidera
