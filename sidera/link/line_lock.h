// The lock of one serial line: held for the length of one exchange.
//
// Callers get the line in the order they asked for it, except that a caller
// marked urgent (a stop) goes before every caller that is not, and has the
// holder hurried: `hurry` runs once for every holder an urgent caller finds
// on the line (the link uses it to cut the holder's reply wait short),
// unless that holder is urgent itself: one stop never cuts another short.
// On a line whose replies come in the order of the requests, a stop need not
// wait for another stop's replies, only for its writes: once an urgent
// holder has written everything and only reads (BeginReading), the urgent
// caller first in line runs its `writeAhead` (it puts its requests on the
// wire) and then waits for the line as before, to read its replies after
// the holder's. The holder's reading does not end (EndReading) while such
// a write is under way.
// Waits are bounded; a caller that does not get the line in time gives up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>

namespace sidera {

class LineLock {
 public:
  // True once the caller holds the line; false when `timeout` (real time)
  // passed first, or when `giveUp` (looked at while waiting, at least every
  // kGiveUpCheck) turns true.
  // `writeAhead` (urgent callers only; none: never) runs at most once,
  // with no lock held, as described above.
  bool Acquire(bool urgent, std::chrono::nanoseconds timeout, const std::function<void()>& hurry,
               const std::function<bool()>& giveUp = {},
               const std::function<void()>& writeAhead = {});
  void Release();
  // The holder has written all it sends and now only reads its replies; an
  // urgent holder's reading lets the urgent caller first in line write
  // ahead. EndReading waits for a write ahead under way to finish.
  void BeginReading();
  void EndReading();
  bool Held() const;
  // True while an urgent caller waits. The holder checks it once it has set
  // up its own wait, so that a hurry that came just before is not lost.
  bool UrgentWaiting() const;
  // True while an urgent caller waits and the holder is not urgent: the
  // holder is to be hurried.
  bool HurryDue() const;

  static constexpr std::chrono::milliseconds kGiveUpCheck{50};

 private:
  struct Waiter {
    bool urgent;
  };
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool holderUrgent_ = false;
  bool holderReading_ = false;
  bool writingAhead_ = false;
  // Waiting callers, urgent ones first, each kind in order of arrival.
  std::list<Waiter*> queue_;
  int urgentWaiting_ = 0;
  uint64_t holders_ = 0;  // counts acquisitions, so each holder is hurried once
};

}  // namespace sidera
