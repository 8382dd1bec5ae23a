// The line lock: a queue with an urgent lane.
#include "sidera/link/line_lock.h"

#include <algorithm>

namespace sidera {

bool LineLock::Acquire(bool urgent, std::chrono::nanoseconds timeout,
                       const std::function<void()>& hurry, const std::function<bool()>& giveUp,
                       const std::function<void()>& writeAhead) {
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
  bool wroteAhead = false;
  for (;;) {
    if (!held_ && queue_.front() == &me) {
      held_ = true;
      holderUrgent_ = urgent;
      holderReading_ = false;
      ++holders_;
      leave();
      return true;
    }
    // Only the first in line writes ahead, so that it also reads next: the
    // replies are read in the order the requests went out.
    if (urgent && writeAhead && !wroteAhead && held_ && holderUrgent_ && holderReading_ &&
        !writingAhead_ && queue_.front() == &me) {
      wroteAhead = true;
      writingAhead_ = true;
      lock.unlock();
      writeAhead();
      lock.lock();
      writingAhead_ = false;
      changed_.notify_all();
      continue;
    }
    if (urgent && held_ && !holderUrgent_ && hurried != holders_) {
      hurried = holders_;
      lock.unlock();
      if (hurry) hurry();
      lock.lock();
      continue;
    }
    // Requests written ahead are read by this caller, whatever the wait:
    // it no longer gives up (the holder's exchange is bounded).
    if (wroteAhead) {
      changed_.wait(lock);
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
  holderReading_ = false;
  changed_.notify_all();
}

void LineLock::BeginReading() {
  std::lock_guard<std::mutex> lock(mutex_);
  holderReading_ = true;
  changed_.notify_all();
}

void LineLock::EndReading() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !writingAhead_; });
  holderReading_ = false;
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
