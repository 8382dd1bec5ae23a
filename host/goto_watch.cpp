// The goto watch: waits for the library's record of the host's own goto.
#include "host/goto_watch.h"

namespace sidera::host {

namespace {

// Command numbers grow by one per command; compared as serial numbers.
bool Newer(uint32_t number, uint32_t than) {
  return number != 0 && static_cast<int32_t>(number - than) > 0;
}

GotoWatch::End EndOf(int32_t outcome) {
  switch (outcome) {
    case SIDERA_OUTCOME_ARRIVED:
      return GotoWatch::End::kArrived;
    case SIDERA_OUTCOME_NOT_ARRIVED:
      return GotoWatch::End::kNotArrived;
    case SIDERA_OUTCOME_STOPPED:
      return GotoWatch::End::kStopped;
    case SIDERA_OUTCOME_REPLACED:
      return GotoWatch::End::kReplaced;
    default:
      return GotoWatch::End::kFailed;
  }
}

}  // namespace

void GotoWatch::Start(const MotionOutcome& afterGoto, double now, double limitSeconds) {
  active_ = true;
  command_ = afterGoto.started;
  started_ = now;
  limit_ = limitSeconds;
  end_ = End::kNone;
  outcome_ = MotionOutcome{};
}

GotoWatch::State GotoWatch::Finish(End end, const MotionOutcome& outcome) {
  active_ = false;
  end_ = end;
  outcome_ = outcome;
  return State::kEnded;
}

GotoWatch::State GotoWatch::Observe(const MotionOutcome& record, double now) {
  if (!active_) return State::kIdle;
  if (record.command == command_) return Finish(EndOf(record.outcome), record);
  if (Newer(record.command, command_) || Newer(record.started, command_)) {
    MotionOutcome replaced{};
    replaced.command = command_;
    replaced.started = record.started;
    replaced.outcome = SIDERA_OUTCOME_REPLACED;
    replaced.code = SIDERA_USER_INTERRUPT;
    replaced.axis = -1;
    return Finish(End::kReplaced, replaced);
  }
  if (limit_ > 0 && now - started_ > limit_) {
    MotionOutcome hung{};
    hung.command = command_;
    return Finish(End::kTimedOut, hung);
  }
  return State::kRunning;
}

}  // namespace sidera::host
