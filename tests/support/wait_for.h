// Waiting for a condition in a test: polled every 10 ms, false if it has not
// come within `limit` (a liveness bound, not a timing check).
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace sidera::testing {

inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace sidera::testing
