// The worker and stop lanes.
#include "host/mount_worker.h"

namespace sidera::host {

TaskLane::TaskLane() : thread_([this] { Run(); }) {}

void TaskLane::PostAt(Clock::time_point when, Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (when == Clock::time_point::min()) ++due_;
    tasks_.emplace(when, std::move(task));
  }
  wake_.notify_one();
}

size_t TaskLane::pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return due_ + running_;
}

void TaskLane::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    // The timed tasks not yet due go; those due still run.
    tasks_.erase(tasks_.upper_bound(Clock::now()), tasks_.end());
  }
  wake_.notify_all();
  if (thread_.joinable() && !OnLane()) thread_.join();
}

void TaskLane::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!tasks_.empty() && tasks_.begin()->first <= Clock::now()) {
      if (tasks_.begin()->first == Clock::time_point::min()) --due_;
      Task task = std::move(tasks_.begin()->second);
      tasks_.erase(tasks_.begin());
      ++running_;
      lock.unlock();
      task();
      task = nullptr;  // what it holds is released off the lock too
      lock.lock();
      --running_;
      continue;
    }
    if (stopping_ && tasks_.empty()) return;
    if (tasks_.empty()) {
      wake_.wait(lock);
    } else {
      // A copy: the wait reads the time again after waking, when Stop or a
      // task run meanwhile may have erased the entry.
      const Clock::time_point next = tasks_.begin()->first;
      wake_.wait_until(lock, next);
    }
  }
}

}  // namespace sidera::host
