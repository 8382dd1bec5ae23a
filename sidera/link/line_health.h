// What the line has lately shown of each axis's controller: when it last
// answered, and whether it counts as silent.
//
// Every exchange of a link reports here what it learnt (a reply came, none
// came, or nothing to tell), whichever thread made it, so that the failures
// of the host's reads, of a goto's polls and of the line watch all count
// towards one verdict. An axis is silent once its latest exchange has failed
// and nothing has answered for it for kSilentAfter (looked at for every axis
// whenever any exchange fails, so the two controllers of a dead line are
// found together); a motion that gives up on an axis marks it silent at
// once. The next exchange it answers clears the mark. Times are real time: the line and its
// time-outs run on the wall clock, not on the library's (scalable) tick clock.
//
// Thread-safe: exchanges, the line watch, the motion threads and host calls
// all use it at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace sidera {

class LineHealth {
 public:
  using Clock = std::chrono::steady_clock;

  // An axis whose controller has not answered for this long, and whose
  // latest exchange failed, is silent.
  static constexpr std::chrono::milliseconds kSilentAfter{1500};

  LineHealth();

  // Bits of the axes an exchange spoke to (1: axis 0, 2: axis 1); a
  // controller that drives both axes answers for both.
  void RecordAnswer(unsigned axes);
  void RecordFailure(unsigned axes);
  // A motion found the axis not answering and gave up on it.
  void MarkSilent(unsigned axes);

  bool Silent(int axis) const;
  // True when every axis in `axes` is silent.
  bool AllSilent(unsigned axes) const;
  Clock::time_point LastAnswer(int axis) const;

  // Probes of a silent axis are spaced (see TelescopeMount's read-outs):
  // true when nobody has probed the axis within `spacing`, and then counts
  // the caller's probe as made now.
  bool TakeProbe(int axis, Clock::duration spacing);
  // When the axis is next due a read from somebody who reads an axis that
  // has been quiet for `quiet`: that long after its last answer or its last
  // probe, whichever is later.
  Clock::time_point ProbeDue(int axis, Clock::duration quiet) const;

  // Called (with no lock of the record held) whenever an axis falls silent.
  // Set once, before any exchange.
  void OnFallingSilent(std::function<void()> call) { onSilent_ = std::move(call); }

  // Changes of any Silent() flag are counted; the line watch waits on them.
  uint64_t Changes() const;
  // Waits until Changes() differs from `seen`, `until` passes, or Wake().
  void WaitForChange(uint64_t seen, Clock::time_point until);
  void Wake();

 private:
  struct Axis {
    Clock::time_point lastAnswer;
    Clock::time_point lastProbe;
    bool failedSince = false;  // an exchange failed after the last answer
    bool silent = false;
  };
  // True when the axis fell silent.
  bool SetSilentLocked(Axis& axis, bool silent);
  // Marks every axis silent that meets the rule at `now`; true when one fell
  // silent.
  bool JudgeLocked(Clock::time_point now);

  std::function<void()> onSilent_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Axis axes_[2];
  uint64_t changes_ = 0;
  bool woken_ = false;
};

}  // namespace sidera
