// The software axis drive of the two simulated mounts: constant-rate
// segments worked out from the tick clock.
#include "sidera/sim/simulated_axis.h"

#include "platform/clock.h"
#include "sidera/core/angles.h"
#include "sidera/core/telescope_mount.h"

namespace sidera::sim {

namespace {

// One day of ticks.
constexpr uint32_t kSegmentRestartTicks = 24 * 3600 * 1000;

}  // namespace

SimulatedAxes::SimulatedAxes(TelescopeMount& mount, double slewSpeed, bool foldLowAxis1Targets)
    : mount_(mount), slewSpeed_(slewSpeed), foldLowAxis1Targets_(foldLowAxis1Targets) {}

void SimulatedAxes::UpdatePositionLocked(int axis, uint32_t now) {
  if (mount_.Axes().State(axis) & AXIS_STOPPED) return;
  // `now` is read under the lock that guards the segment, so it is never
  // older than the segment's start: the difference, right across a wrap of
  // the 32-bit tick counter, is read unsigned.
  const uint32_t elapsed =
      static_cast<uint32_t>(platform::TicksBetween(mount_.Axes().SegmentStartTick(axis), now));
  const double position = mount_.Axes().SegmentStartPosition(axis) +
                          mount_.Axes().Rate(axis) * static_cast<double>(elapsed) / 1000.0;
  mount_.Axes().NotePosition(axis, position);
  if (elapsed >= kSegmentRestartTicks) {
    // A segment that has run for a day (tracking) goes on from where it has
    // come to, so that the difference never leaves the signed range.
    mount_.Axes().StartSegment(axis, position, now);
  }
}

void SimulatedAxes::CheckArrivalLocked(int axis) {
  const uint32_t state = mount_.Axes().State(axis);
  if (!(state & AXIS_GOTO)) return;
  const double target = mount_.Axes().CommandedAngle(axis);
  const double position = mount_.Axes().Position(axis);
  // Strict comparisons: a position exactly on the target is not yet past it.
  const bool passed = (state & AXIS_POSITIVE) ? target < position : target > position;
  if (passed) {
    mount_.Axes().NotePosition(axis, target);
    mount_.Axes().NoteState(axis, AXIS_STOPPED);
  }
}

MountResult SimulatedAxes::ReadPosition(int axis) {
  std::lock_guard<std::mutex> lock(mutex_);
  UpdatePositionLocked(axis, platform::Now());
  CheckArrivalLocked(axis);
  return kOk;
}

// The position is brought up to the clock here too: the goto threads poll
// only the state while they wait for an axis, and a controller reports the
// end of a goto whether or not anybody has read its position.
MountResult SimulatedAxes::ReadState(int axis) {
  std::lock_guard<std::mutex> lock(mutex_);
  UpdatePositionLocked(axis, platform::Now());
  CheckArrivalLocked(axis);
  return kOk;
}

MountResult SimulatedAxes::SlewAtRate(int axis, double rate) {
  std::lock_guard<std::mutex> lock(mutex_);
  mount_.Axes().StartSegment(axis, mount_.Axes().Position(axis), platform::Now());
  mount_.Axes().NoteRate(axis, rate);
  if (rate == 0.0) {
    // A stop keeps the direction of the last real motion.
    mount_.Axes().NoteState(axis, AXIS_STOPPED);
  } else if (rate > 0.0) {
    mount_.Axes().NoteDirection(axis, true);
    mount_.Axes().NoteState(axis, AXIS_RATE_MOTION | AXIS_POSITIVE);
  } else {
    mount_.Axes().NoteDirection(axis, false);
    mount_.Axes().NoteState(axis, AXIS_RATE_MOTION);
  }
  return kOk;
}

MountResult SimulatedAxes::GotoAngle(int axis, double angle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (axis == 1 && foldLowAxis1Targets_ && angle < -kPi / 2.0) angle += kTwoPi;
  mount_.Axes().NoteCommandedAngle(axis, angle);
  const double start = mount_.Axes().Position(axis);
  if (start == angle) {
    mount_.Axes().NoteState(axis, AXIS_STOPPED);
    return kOk;
  }
  mount_.Axes().StartSegment(axis, start, platform::Now());
  const double rate = start > angle ? -slewSpeed_ : slewSpeed_;
  mount_.Axes().NoteRate(axis, rate);
  // A goto does not count as a commanded direction: the motion threads set
  // the last direction themselves when a goto ends.
  mount_.Axes().NoteState(axis, rate > 0.0 ? (AXIS_GOTO | AXIS_POSITIVE) : AXIS_GOTO);
  return kOk;
}

MountResult SimulatedAxes::Halt(int axis) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t now = platform::Now();
  UpdatePositionLocked(axis, now);
  mount_.Axes().NoteRate(axis, 0.0);
  mount_.Axes().StartSegment(axis, mount_.Axes().Position(axis), now);
  mount_.Axes().NoteState(axis, AXIS_STOPPED);
  return kOk;
}

}  // namespace sidera::sim
