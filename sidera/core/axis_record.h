// What the mount knows of each axis: where it is, what it does, the rate
// and goto angle last commanded, the direction it last turned, and (on the
// simulators) where the current straight segment of its motion began.
#pragma once

#include <atomic>
#include <cstdint>

#include "sidera/core/types.h"

namespace sidera {

// Written by the driver's reads and primitives (and the simulated axes),
// on whichever thread makes them; read by any thread. Every value is one
// atomic word, so a reader never sees half a store; values of two calls
// may come from two different reads.
class AxisRecord {
 public:
  // Where the axis is (rad, the host's frame): a position read, a sync, a
  // simulated axis brought up to the clock.
  double Position(int axis) const { return axes_[axis].position.load(); }
  void NotePosition(int axis, double angle) { axes_[axis].position.store(angle); }

  // The axis state word (AXIS_* flags) as last read or commanded.
  uint32_t State(int axis) const { return axes_[axis].state.load(); }
  void NoteState(int axis, uint32_t state) { axes_[axis].state.store(state); }

  // The angle the latest GotoAxisAngle sent the axis to, in the host's
  // frame. A goto pass commands an angle short of or beyond the target by
  // the approach distance or offset; drivers and simulators record it when
  // they command a goto, and judge arrival by it.
  double CommandedAngle(int axis) const { return axes_[axis].commandedAngle.load(); }
  void NoteCommandedAngle(int axis, double angle) { axes_[axis].commandedAngle.store(angle); }

  // The rate (rad/s) the axis was last commanded to turn at, a goto's
  // included.
  double Rate(int axis) const { return axes_[axis].rate.load(); }
  void NoteRate(int axis, double rate) { axes_[axis].rate.store(rate); }

  // The direction the axis last turned in at a nonzero rate; the backlash
  // take-up compares a new direction with it.
  bool LastDirectionPositive(int axis) const { return axes_[axis].lastPositive.load(); }
  void NoteDirection(int axis, bool positive) { axes_[axis].lastPositive.store(positive); }

  // Simulators: the position and tick at which the axis's current segment
  // of constant rate began. Only the simulated axis writes them, under its
  // own lock.
  double SegmentStartPosition(int axis) const { return axes_[axis].startPosition.load(); }
  uint32_t SegmentStartTick(int axis) const { return axes_[axis].startTick.load(); }
  void StartSegment(int axis, double position, uint32_t tick) {
    axes_[axis].startPosition.store(position);
    axes_[axis].startTick.store(tick);
  }

 private:
  struct Axis {
    std::atomic<double> position{0.0};
    std::atomic<double> commandedAngle{0.0};
    std::atomic<double> rate{0.0};
    std::atomic<double> startPosition{0.0};
    std::atomic<uint32_t> startTick{0};
    std::atomic<uint32_t> state{AXIS_STOPPED};
    std::atomic<bool> lastPositive{true};
  };
  Axis axes_[2];
};

}  // namespace sidera
