// The end-of-goto judgement made from status polls.
#include "indi/goto_watch.h"

#include "sidera.h"

namespace sidera::indi {

void GotoWatch::Start(double now, double tolerance) {
  active_ = true;
  seenGoto_ = false;
  started_ = now;
  tolerance_ = tolerance;
  failedPolls_ = 0;
  failure_ = Failure::None;
  failureCode_ = 0;
}

GotoWatch::Verdict GotoWatch::End(Failure failure, int code) {
  active_ = false;
  failure_ = failure;
  failureCode_ = code;
  return failure == Failure::None ? Verdict::Arrived : Verdict::Failed;
}

GotoWatch::Verdict GotoWatch::Observe(double now, const Poll& poll) {
  if (!active_) return Verdict::Idle;
  if (poll.code != 0) {
    if (++failedPolls_ >= limits_.maxFailedPolls) return End(Failure::Link, poll.code);
    return Verdict::Running;
  }
  failedPolls_ = 0;
  const double elapsed = now - started_;
  if (poll.mountState & SIDERA_MOUNT_GOTO) {
    seenGoto_ = true;
    return elapsed > limits_.maxDuration ? End(Failure::Hung) : Verdict::Running;
  }
  const bool near = poll.distance <= tolerance_;
  if (!seenGoto_ && !near && !(poll.mountState & SIDERA_MOUNT_TRACKING)) {
    // Not started yet (the goto's thread waits for the axes first), or
    // started and ended between two polls without reaching the target.
    return elapsed > limits_.startAllowance ? End(Failure::NeverStarted) : Verdict::Running;
  }
  return poll.distance > limits_.missLimit ? End(Failure::Missed) : End(Failure::None);
}

}  // namespace sidera::indi
