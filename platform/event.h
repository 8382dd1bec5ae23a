// Manual- and auto-reset events with timed waits.
//
// A manual-reset event stays signalled until Reset(); every waiter passes.
// An auto-reset event lets exactly one waiter pass per Set() and clears
// itself as that waiter wakes. Timeouts are tick milliseconds (see clock.h).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace sidera::platform {

class Event {
 public:
  enum class Mode { kManualReset, kAutoReset };
  static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

  Event(Mode mode, bool initiallySignalled);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when the event was (or became) signalled within the timeout; an
  // auto-reset event is consumed by a successful wait.
  bool Wait(uint32_t timeoutTicks);
  // Waits like Wait() and, when the event was signalled, resets it in the
  // same step: of several threads waiting on a manual-reset event this way,
  // exactly one passes per Set(). Used to take ownership of something the
  // event guards (the axes of a mount).
  bool WaitAndReset(uint32_t timeoutTicks);
  // Current state without waiting or consuming.
  bool IsSet() const;

 private:
  // Waits for the event; when it passed and `reset` holds, clears it under
  // the same lock.
  bool WaitThen(uint32_t timeoutTicks, bool reset);

  const Mode mode_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_;
};

}  // namespace sidera::platform
