// The lock of one serial line: held for the length of one exchange.
//
// A caller marked urgent (a stop) goes before every caller that is not,
// whatever their order of arrival, and has the holder hurried: `hurry` runs
// once for every holder an urgent caller finds on the line (the link uses it
// to cut the holder's reply wait short). Waits are bounded; a caller that
// does not get the line in time gives up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace sidera {

class LineLock {
 public:
  // True once the caller holds the line; false when `timeout` (real time)
  // passed first.
  bool Acquire(bool urgent, std::chrono::nanoseconds timeout, const std::function<void()>& hurry);
  void Release();
  bool Held() const;
  // True while an urgent caller waits. The holder checks it once it has set
  // up its own wait, so that a hurry that came just before is not lost.
  bool UrgentWaiting() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  int urgentWaiting_ = 0;
  uint64_t holders_ = 0;  // counts acquisitions, so each holder is hurried once
};

}  // namespace sidera
