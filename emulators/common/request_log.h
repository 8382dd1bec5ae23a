// The requests an emulator has received, in order, for the test or program
// that drives it: read them, clear them, wait until one of a kind has
// arrived, or have each one printed as it comes (a program's --log-requests,
// which lets a script act the moment a given command reaches the
// controller).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace sidera::emulator {

template <typename Request>
class RequestLog {
 public:
  using Match = std::function<bool(const Request&)>;

  // Serving thread: one request as it came off the line.
  void Add(const Request& request) {
    std::function<void(const Request&)> print;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      print = print_;
    }
    added_.notify_all();
    if (print) print(request);
  }

  std::vector<Request> All() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
  }

  // True as soon as a request that `match` accepts is in the log (one that
  // came before the call counts too); false when `timeout` passes first.
  bool WaitFor(const Match& match, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return added_.wait_for(lock, timeout, [&] {
      for (const Request& r : requests_) {
        if (match(r)) return true;
      }
      return false;
    });
  }

  // Called with every request from then on, on the serving thread.
  void SetPrinter(std::function<void(const Request&)> print) {
    std::lock_guard<std::mutex> lock(mutex_);
    print_ = std::move(print);
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable added_;
  std::vector<Request> requests_;
  std::function<void(const Request&)> print_;
};

}  // namespace sidera::emulator
