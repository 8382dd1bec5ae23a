// The leases of the browser hand controller's direction pad. A press starts
// an axis moving under a lease that the page renews while the button is held;
// a release stops the axis at once, and a lease that is not renewed within
// its term (a closed page, a phone that locks, a lost network) lapses and its
// axis is stopped by the lease's own thread. Leases belong to the pad alone:
// the Alpaca MoveAxis member never takes or ends one.
//
// Starting a move and stopping one are ordered by one command lock, so that
// a lapse or release of an older lease can never stop the newer move that
// replaced it on the same axis. Stopping everything (which goes to the mount
// on its own lane) never waits for that lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace sidera::alpaca {

class ControlLease {
 public:
  using Clock = std::chrono::steady_clock;
  // Stops `axis` when its lease ends by a release or a lapse. It may throw;
  // the lease is over all the same.
  using StopAxis = std::function<void(int axis)>;

  explicit ControlLease(StopAxis stop, std::chrono::milliseconds term = kDefaultTerm);
  ~ControlLease();  // ends the lapse thread; stops nothing
  ControlLease(const ControlLease&) = delete;
  ControlLease& operator=(const ControlLease&) = delete;

  // The page renews every 200 ms; a term of three renewals rides out one
  // late or lost request on a phone's Wi-Fi and still stops well within 1 s.
  static constexpr std::chrono::milliseconds kDefaultTerm{600};

  // Takes a lease on `axis` and runs `start` (which moves the axis) under
  // the command lock. The axis's former lease, if any, ends without a stop:
  // the new move took the axis. When `start` throws, the new lease ends
  // without a stop and the exception goes on. Returns the lease's number.
  uint64_t Start(int axis, const std::function<void()>& start);
  // Extends a lease by its term; false when it has ended (lapsed, released,
  // replaced, or dropped by Forget).
  bool Renew(uint64_t lease);
  // Ends a lease and stops its axis now; false (and no stop) when it had
  // already ended.
  bool Release(uint64_t lease);
  // Ends every lease without a stop: everything was stopped another way.
  void Forget();
  // The number of leases running.
  int Held() const;

 private:
  struct Lease {
    int axis;
    Clock::time_point until;
  };
  void LapseLoop();

  const StopAxis stop_;
  const std::chrono::milliseconds term_;
  std::mutex command_;  // orders the moves and stops; taken before mutex_
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<uint64_t, Lease> leases_;  // lease number -> its axis and end
  uint64_t next_ = 1;
  bool ending_ = false;
  std::thread lapses_;
};

}  // namespace sidera::alpaca
