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
// It also keeps what the axis last said to a read: its position and its
// state, each with the time it came, so that the host's read-outs share
// one reading within a short window instead of each queueing an exchange
// (see kReadOutWindow in sidera/core/mount_settings.h). A read keeps what it learnt only
// when no command went to the axis since it began, and every command
// forgets the axis's kept readings at once, so a kept reading is never
// older than the last command. Read-outs that find the reading stale while
// another read-out is already reading it wait for that read rather than
// queue one of their own.
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
  // True when the axis's latest exchange got no reply and it is not (yet)
  // judged silent: its reply may only be late. A refusal is a reply.
  bool Unanswered(int axis) const;
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

  // ---- Kept readings. ----
  enum Reading : int { kPosition = 0, kState = 1 };
  // A read of `axis` begun at `epoch` answered `value` (a state word is
  // kept as its number). A state other than the kept one also forgets the
  // kept position: the axis started or stopped.
  void Keep(int axis, Reading what, uint64_t epoch, double value);
  // A command is going to the axes in `axes` (line bits): their kept
  // readings are forgotten, and reads under way keep nothing.
  void Forget(unsigned axes);

  // A turn at one reading. For a read-out (`share`): Kept() when the
  // reading is at most `window` old, in Value(); otherwise the holder of
  // the turn reads the line and hands what came back to Keep(). A read-out
  // that finds another thread reading the same thing waits for that read
  // (up to kTurnWait, and no longer once the axis is silent) and takes its
  // answer, or the turn when it kept nothing. No lock is held meanwhile. The library's own reads
  // (not `share`) never wait: they take a turn at once, so that read-outs wait for them in turn.
  class ReadingTurn {
   public:
    ReadingTurn(LineHealth& line, int axis, Reading what, bool share, Clock::duration window);
    ~ReadingTurn();
    ReadingTurn(const ReadingTurn&) = delete;
    ReadingTurn& operator=(const ReadingTurn&) = delete;
    bool Kept() const { return kept_; }
    double Value() const { return value_; }
    void Keep(double value) { line_.Keep(axis_, what_, epoch_, value); }

   private:
    LineHealth& line_;
    const int axis_;
    const Reading what_;
    bool kept_ = false;
    bool reading_ = false;
    double value_ = 0.0;
    uint64_t epoch_ = 0;
  };
  // Longer than any one exchange may take with the wait for the line.
  static constexpr std::chrono::milliseconds kTurnWait{5000};

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
    struct Kept {
      double value = 0.0;
      Clock::time_point at;
      bool valid = false;
      int readers = 0;  // turns taken for reads under way
    };
    Kept kept[2];        // by Reading
    uint64_t epoch = 0;  // counts the commands to the axis
  };
  // True when the axis fell silent.
  bool SetSilentLocked(Axis& axis, bool silent);
  // Marks every axis silent that meets the rule at `now`; true when one fell
  // silent.
  bool JudgeLocked(Clock::time_point now);

  std::function<void()> onSilent_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::condition_variable turnEnded_;
  Axis axes_[2];
  uint64_t changes_ = 0;
  bool woken_ = false;
};

}  // namespace sidera
