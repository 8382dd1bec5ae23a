// A mount whose axes follow a script, for driving the root bodies and the
// motion threads without hardware. Every command is recorded with its
// arguments and the tick count at which it arrived.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/clock.h"
#include "sidera/core/angles.h"
#include "sidera/core/telescope_mount.h"

namespace sidera::testing {

enum class Op { kGoto, kSlew, kHalt, kStartTracking, kResetAlignment };

struct Call {
  Op op;
  int axis;
  double value;
  uint32_t tick;
};

class ScriptedMount : public TelescopeMount {
 public:
  explicit ScriptedMount(int equatorial = 0) { DeclareEquatorial(equatorial != 0); }
  using TelescopeMount::DeclareEquatorial;
  using TelescopeMount::RefineEquatorialGotos;
  ~ScriptedMount() override { Shutdown(); }

  // State polls before a commanded goto arrives; negative: it never does.
  std::atomic<int> pollsPerGoto{1};
  // Where a goto really ends, relative to the commanded angle.
  std::atomic<double> gotoError{0.0};

  MountResult ReadAxisPosition(int) override { return kOk; }
  MountResult ReadAxisState(int axis) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pollsLeft_[axis] > 0 && --pollsLeft_[axis] == 0) {
      Axes().NotePosition(axis, goal_[axis]);
      Axes().NoteState(axis, AXIS_STOPPED);
    }
    return kOk;
  }
  MountResult GotoAxisAngle(int axis, double angle) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Record(Op::kGoto, axis, angle);
    goal_[axis] = angle + gotoError;
    pollsLeft_[axis] = pollsPerGoto;
    Axes().NoteState(axis, AXIS_GOTO);
    return kOk;
  }
  MountResult SlewAxisAtRate(int axis, double rate) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Record(Op::kSlew, axis, rate);
    pollsLeft_[axis] = 0;
    Axes().NoteState(axis, rate == 0.0 ? AXIS_STOPPED : AXIS_RATE_MOTION);
    if (rate != 0.0) Axes().NoteDirection(axis, rate > 0.0);
    return kOk;
  }
  MountResult HaltAxis(int axis) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Record(Op::kHalt, axis, 0.0);
    pollsLeft_[axis] = 0;
    Axes().NoteState(axis, AXIS_STOPPED);
    return kOk;
  }
  MountResult StartTracking() override {
    std::lock_guard<std::mutex> lock(mutex_);
    Record(Op::kStartTracking, 0, 0.0);
    return kOk;
  }
  int ResetAlignment() override {
    std::lock_guard<std::mutex> lock(mutex_);
    Record(Op::kResetAlignment, 0, 0.0);
    return 0;
  }

  std::vector<Call> Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  // The commands in order, one letter and the axis each: "G1 G0 H0".
  std::string Trace() const {
    std::string out;
    for (const Call& c : Calls()) {
      if (!out.empty()) out += ' ';
      out += "GSHTR"[static_cast<int>(c.op)];
      out += static_cast<char>('0' + c.axis);
    }
    return out;
  }

 private:
  void Record(Op op, int axis, double value) {
    calls_.push_back(Call{op, axis, value, platform::Now()});
  }

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  int pollsLeft_[2] = {0, 0};
  double goal_[2] = {0.0, 0.0};
};

// Waits (in short real sleeps) until `done` holds; a hang guard, not a timing
// requirement.
template <typename Pred>
bool Eventually(Pred done) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

inline double Deg(double d) { return d / 180.0 * kPi; }

}  // namespace sidera::testing
