// Events built on a mutex and a condition variable.

#include "platform/event.h"

#include <chrono>

#include "platform/clock.h"

namespace sidera::platform {

Event::Event(Mode mode, bool initiallySignalled) : mode_(mode), signalled_(initiallySignalled) {}

void Event::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = true;
  // Notifying under the lock lets a woken waiter destroy the event as soon as
  // it returns without racing this call.
  if (mode_ == Mode::kAutoReset) {
    changed_.notify_one();
  } else {
    changed_.notify_all();
  }
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool Event::Wait(uint32_t timeoutTicks) {
  return WaitThen(timeoutTicks, mode_ == Mode::kAutoReset);
}

bool Event::WaitAndReset(uint32_t timeoutTicks) { return WaitThen(timeoutTicks, true); }

bool Event::WaitThen(uint32_t timeoutTicks, bool reset) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto isSignalled = [this] { return signalled_; };
  bool passed;
  if (timeoutTicks == kInfinite) {
    changed_.wait(lock, isSignalled);
    passed = true;
  } else {
    // The deadline is fixed once, so spurious wake-ups do not stretch the wait.
    const auto deadline = std::chrono::steady_clock::now() + ToRealDuration(timeoutTicks);
    passed = changed_.wait_until(lock, deadline, isSignalled);
  }
  if (passed && reset) {
    signalled_ = false;
  }
  return passed;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

}  // namespace sidera::platform
