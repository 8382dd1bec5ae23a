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
  // Read-outs waiting for another thread's read of the axis stop waiting.
  turnEnded_.notify_all();
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

bool LineHealth::Unanswered(int axis) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return axes_[axis].failedSince && !axes_[axis].silent;
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

void LineHealth::Keep(int axis, Reading what, uint64_t epoch, double value) {
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  Axis& a = axes_[axis];
  if (a.epoch != epoch) return;
  if (what == kState && a.kept[kState].valid && a.kept[kState].value != value) {
    a.kept[kPosition].valid = false;
  }
  a.kept[what].value = value;
  a.kept[what].at = now;
  a.kept[what].valid = true;
}

void LineHealth::Forget(unsigned axes) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int a = 0; a < 2; ++a) {
    if ((axes & (1u << a)) == 0) continue;
    ++axes_[a].epoch;
    for (Axis::Kept& k : axes_[a].kept) k.valid = false;
  }
}

LineHealth::ReadingTurn::ReadingTurn(LineHealth& line, int axis, Reading what, bool share,
                                     Clock::duration window)
    : line_(line), axis_(axis), what_(what) {
  std::unique_lock<std::mutex> lock(line.mutex_);
  Axis& a = line.axes_[axis];
  Axis::Kept& k = a.kept[what];
  const Clock::time_point giveUp = Clock::now() + kTurnWait;
  while (share && !a.silent) {
    if (k.valid && Clock::now() - k.at <= window) {
      kept_ = true;
      value_ = k.value;
      return;
    }
    if (k.readers == 0) break;
    // Another thread reads it now; its answer will do. The wait ends with
    // that read (the exchange's own deadline bounds it), when the axis
    // falls silent, or after kTurnWait at most.
    if (line.turnEnded_.wait_until(lock, giveUp) == std::cv_status::timeout) break;
  }
  ++k.readers;
  reading_ = true;
  epoch_ = a.epoch;
}

LineHealth::ReadingTurn::~ReadingTurn() {
  if (!reading_) return;
  {
    std::lock_guard<std::mutex> lock(line_.mutex_);
    --line_.axes_[axis_].kept[what_].readers;
  }
  line_.turnEnded_.notify_all();
}

void LineHealth::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  woken_ = true;
  changed_.notify_all();
}

}  // namespace sidera
