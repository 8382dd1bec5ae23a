// The pad's leases and the thread that stops the axes of lapsed ones.
#include "alpaca/control_lease.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>
#include <vector>

namespace sidera::alpaca {

ControlLease::ControlLease(StopAxis stop, std::chrono::milliseconds term)
    : stop_(std::move(stop)), term_(term), lapses_([this] { LapseLoop(); }) {}

ControlLease::~ControlLease() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  lapses_.join();
}

uint64_t ControlLease::Start(int axis, const std::function<void()>& start) {
  std::lock_guard<std::mutex> command(command_);
  uint64_t number = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(leases_, [&](const auto& l) { return l.second.axis == axis; });
    number = next_++;
    leases_[number] = Lease{axis, Clock::now() + term_};
  }
  changed_.notify_all();
  try {
    start();
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    leases_.erase(number);
    throw;
  }
  // The move may have taken long to start (a slow controller): its term
  // runs from now.
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto it = leases_.find(number); it != leases_.end()) it->second.until = Clock::now() + term_;
  return number;
}

bool ControlLease::Renew(uint64_t lease) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = leases_.find(lease);
  if (it == leases_.end()) return false;
  it->second.until = Clock::now() + term_;
  return true;
}

bool ControlLease::Release(uint64_t lease) {
  std::lock_guard<std::mutex> command(command_);
  int axis = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = leases_.find(lease);
    if (it == leases_.end()) return false;
    axis = it->second.axis;
    leases_.erase(it);
  }
  changed_.notify_all();
  stop_(axis);  // a failure goes to the page that released
  return true;
}

void ControlLease::Forget() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    leases_.clear();
  }
  changed_.notify_all();
}

int ControlLease::Held() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(leases_.size());
}

void ControlLease::LapseLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!ending_) {
    Clock::time_point next = Clock::time_point::max();
    bool lapsed = false;
    const auto now = Clock::now();
    for (const auto& [number, lease] : leases_) {
      if (lease.until <= now) lapsed = true;
      next = std::min(next, lease.until);
    }
    if (!lapsed) {
      if (next == Clock::time_point::max()) {
        changed_.wait(lock);
      } else {
        changed_.wait_until(lock, next);
      }
      continue;
    }
    // The command lock comes first: leave mutex_ for it, then look again, as
    // a renewal or a newer move may have come meanwhile.
    lock.unlock();
    std::vector<int> axes;
    {
      std::lock_guard<std::mutex> command(command_);
      {
        std::lock_guard<std::mutex> state(mutex_);
        const auto then = Clock::now();
        std::erase_if(leases_, [&](const auto& l) {
          if (l.second.until > then) return false;
          axes.push_back(l.second.axis);
          return true;
        });
      }
      for (int axis : axes) {
        try {
          stop_(axis);
        } catch (const std::exception& e) {
          std::fprintf(stderr, "sidera-alpaca: stopping axis %d after its pad lease lapsed: %s\n",
                       axis, e.what());
        }
      }
    }
    lock.lock();
  }
}

}  // namespace sidera::alpaca
