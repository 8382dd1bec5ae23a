// Follows one goto of this host to its end through the outcome the library
// records (GetMotionOutcome for the mount): the library judges the arrival,
// the stop, the replacement and the failure; the host only waits for the
// record of its own goto. Reading the record makes no exchange, so a host
// may read it at every poll; it reads the state and positions only for
// what it shows meanwhile.
#pragma once

#include <cstdint>

#include "sidera.h"

namespace sidera::host {

class GotoWatch {
 public:
  enum class State { kIdle, kRunning, kEnded };
  enum class End { kNone, kArrived, kNotArrived, kStopped, kReplaced, kFailed, kTimedOut };

  // Watches the goto that the mount's record `afterGoto`, read right after
  // the goto answered 0, names as started. `now` and `limitSeconds` in the
  // host's seconds: a goto still running after the limit counts as hung
  // (0: no limit).
  void Start(const MotionOutcome& afterGoto, double now, double limitSeconds = 0);
  void Cancel() { active_ = false; }
  bool active() const { return active_; }
  uint32_t command() const { return command_; }

  // Judges one reading of the mount's record: kEnded once, when the goto's
  // own outcome is there, a newer goto has replaced it, or the limit is
  // past; kRunning meanwhile; kIdle when no goto is watched.
  State Observe(const MotionOutcome& record, double now);

  End end() const { return end_; }
  // The goto's recorded outcome once it has ended (for a goto a newer one
  // replaced before its record was read: outcome REPLACED, code 105).
  const MotionOutcome& outcome() const { return outcome_; }

 private:
  State Finish(End end, const MotionOutcome& outcome);

  bool active_ = false;
  uint32_t command_ = 0;
  double started_ = 0;
  double limit_ = 0;
  End end_ = End::kNone;
  MotionOutcome outcome_{};
};

}  // namespace sidera::host
