// Scopes, per thread, that tell the link how to treat the exchanges a
// thread makes inside them.
//
// UrgentExchanges marks stops: an urgent exchange goes onto the line ahead
// of every other waiting one, and cuts short the reply wait of the exchange
// that holds the line (see SerialLink::Exchange), so a stop reaches the wire
// promptly whatever the other threads are doing.
//
// ExchangeGuard carries the "is this motion still wanted?" test of a motion
// command: the link evaluates it once it holds the line, right before the
// request goes out, and sends nothing when it fails. A stop makes the motion
// unwanted before it asks for the line itself, so on the wire a motion
// command either comes before the stop (which then undoes it) or not at all.
#pragma once

#include <functional>

namespace sidera {

// A flag of the calling thread, set for the life of a scope (scopes nest:
// the outer one's flag comes back when an inner one ends). One flag per Tag.
template <class Tag>
class ThreadScope {
 public:
  ThreadScope() : previous_(flag_) { flag_ = true; }
  ~ThreadScope() { flag_ = previous_; }
  ThreadScope(const ThreadScope&) = delete;
  ThreadScope& operator=(const ThreadScope&) = delete;

  // True inside a scope of this kind on the calling thread.
  static bool Active() { return flag_; }

 private:
  static inline thread_local bool flag_ = false;
  bool previous_;
};

struct UrgentTag {};
using UrgentExchanges = ThreadScope<UrgentTag>;

// Inside a ReadOutExchanges scope the exchanges are reads that may be
// skipped (the host's read-outs, a goto's polls, the line watch's reads):
// one addressed only to silent controllers does not queue for the line (see
// SerialLink::Exchange). Commands always wait their turn.
struct ReadOutTag {};
using ReadOutExchanges = ThreadScope<ReadOutTag>;

// Inside a SharedReadOuts scope (the host's read-outs, set by the exported
// operations) a read of an axis may be answered from the reading the line
// record keeps (see LineHealth) instead of an exchange. The library's own
// threads always read the line: a goto decides from what the axes say now.
struct SharedReadOutTag {};
using SharedReadOuts = ThreadScope<SharedReadOutTag>;

class ExchangeGuard {
 public:
  explicit ExchangeGuard(std::function<bool()> wanted);
  ~ExchangeGuard();
  ExchangeGuard(const ExchangeGuard&) = delete;
  ExchangeGuard& operator=(const ExchangeGuard&) = delete;

  // True once the link has held back an exchange of this scope.
  bool Tripped() const { return tripped_; }

  // For the link, with the line held: false when a guard of the calling
  // thread is no longer wanted (the exchange must not go out; the guard
  // counts as tripped). True without a guard.
  static bool Allows();

 private:
  std::function<bool()> wanted_;
  bool tripped_ = false;
  ExchangeGuard* outer_;
};

}  // namespace sidera
