// The per-axis record of answers that every exchange of a link updates.
#include "sidera/link/line_health.h"

namespace sidera {

LineHealth::LineHealth() {
  const Clock::time_point now = Clock::now();
  for (Axis& axis : axes_) {
    axis.lastAnswer = now;
    axis.lastProbe = now;
  }
}

bool LineHealth::SetSilentLocked(Axis& axis, bool silent) {
  if (axis.silent == silent) return false;
  axis.silent = silent;
  ++changes_;
  changed_.notify_all();
  return silent;
}

void LineHealth::RecordAnswer(unsigned axes) {
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  for (int a = 0; a < 2; ++a) {
    if ((axes & (1u << a)) == 0) continue;
    axes_[a].lastAnswer = now;
    axes_[a].failedSince = false;
    SetSilentLocked(axes_[a], false);
  }
}

void LineHealth::RecordFailure(unsigned axes) {
  const Clock::time_point now = Clock::now();
  bool fell = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int a = 0; a < 2; ++a) {
      if ((axes & (1u << a)) != 0) axes_[a].failedSince = true;
    }
    fell = JudgeLocked(now);
  }
  if (fell && onSilent_) onSilent_();
}

bool LineHealth::JudgeLocked(Clock::time_point now) {
  bool fell = false;
  for (Axis& axis : axes_) {
    if (axis.failedSince && now - axis.lastAnswer >= kSilentAfter) {
      fell = SetSilentLocked(axis, true) || fell;
    }
  }
  return fell;
}

void LineHealth::MarkSilent(unsigned axes) {
  bool fell = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int a = 0; a < 2; ++a) {
      if ((axes & (1u << a)) == 0) continue;
      axes_[a].failedSince = true;
      fell = SetSilentLocked(axes_[a], true) || fell;
    }
  }
  if (fell && onSilent_) onSilent_();
}

bool LineHealth::Silent(int axis) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return axes_[axis].silent;
}

bool LineHealth::AllSilent(unsigned axes) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int a = 0; a < 2; ++a) {
    if ((axes & (1u << a)) != 0 && !axes_[a].silent) return false;
  }
  return axes != 0;
}

LineHealth::Clock::time_point LineHealth::LastAnswer(int axis) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return axes_[axis].lastAnswer;
}

bool LineHealth::TakeProbe(int axis, Clock::duration spacing) {
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  Axis& a = axes_[axis];
  if (now - a.lastProbe < spacing) return false;
  a.lastProbe = now;
  return true;
}

LineHealth::Clock::time_point LineHealth::ProbeDue(int axis, Clock::duration quiet) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Axis& a = axes_[axis];
  return (a.lastAnswer > a.lastProbe ? a.lastAnswer : a.lastProbe) + quiet;
}

uint64_t LineHealth::Changes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return changes_;
}

void LineHealth::WaitForChange(uint64_t seen, Clock::time_point until) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_until(lock, until, [&] { return changes_ != seen || woken_; });
  woken_ = false;
}

void LineHealth::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  woken_ = true;
  changed_.notify_all();
}

}  // namespace sidera
