// The line lock: a queue with an urgent lane.
#include "sidera/link/line_lock.h"

#include <algorithm>

namespace sidera {

bool LineLock::Acquire(bool urgent, std::chrono::nanoseconds timeout,
                       const std::function<void()>& hurry, const std::function<bool()>& giveUp) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(mutex_);
  Waiter me{urgent};
  // Urgent callers queue behind the urgent ones already waiting only.
  auto place = queue_.end();
  if (urgent) {
    place = std::find_if(queue_.begin(), queue_.end(), [](const Waiter* w) { return !w->urgent; });
    ++urgentWaiting_;
  }
  const auto mine = queue_.insert(place, &me);
  const auto leave = [&] {
    queue_.erase(mine);
    if (urgent) --urgentWaiting_;
    changed_.notify_all();  // the next in line may be the front now
  };
  uint64_t hurried = 0;  // holder number 0 never exists
  for (;;) {
    if (!held_ && queue_.front() == &me) {
      held_ = true;
      holderUrgent_ = urgent;
      ++holders_;
      leave();
      return true;
    }
    if (urgent && held_ && !holderUrgent_ && hurried != holders_) {
      hurried = holders_;
      lock.unlock();
      if (hurry) hurry();
      lock.lock();
      continue;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline || (giveUp && giveUp())) {
      leave();
      return false;
    }
    const auto until = giveUp ? std::min(deadline, now + kGiveUpCheck) : deadline;
    (void)changed_.wait_until(lock, until);
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

bool LineLock::HurryDue() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return urgentWaiting_ > 0 && held_ && !holderUrgent_;
}

bool LineLock::Held() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_;
}

}  // namespace sidera
