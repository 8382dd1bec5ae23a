// Guide pulses: timed sky-rate offsets on two lanes, east-west and
// north-south, that run side by side. A pulse starts on the worker's calls
// lane (it reads how the axes follow the sky there); its end runs on the stop
// lane at its time, however long the calls lane is busy with a slow
// controller, and makes no read that could fail: the axes go back to
// tracking, or to the rates of the pulse still running on the other lane.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>

#include "host/motion_rates.h"
#include "host/mount_worker.h"

namespace sidera::host {

class GuidePulses {
 public:
  using Clock = TaskLane::Clock;
  static constexpr int kEastWest = 0;
  static constexpr int kNorthSouth = 1;
  // The lane of a pulse towards `d` (also the axis of its guide rate), and
  // the sign of its rate: north and west positive.
  static int LaneOf(Direction d) {
    return d == Direction::North || d == Direction::South ? kNorthSouth : kEastWest;
  }
  static double SignOf(Direction d) {
    return d == Direction::North || d == Direction::West ? 1.0 : -1.0;
  }

  // Ends run on `stops`, which must have stopped before the pulses go.
  explicit GuidePulses(TaskLane& stops) : stops_(stops) {}
  GuidePulses(const GuidePulses&) = delete;
  GuidePulses& operator=(const GuidePulses&) = delete;

  // Called on the stop lane once a pulse on `lane` has ended and the axes
  // were told, with the tag its start was given and the library's code for
  // the end (0 when it worked). Not called for pulses that were replaced or
  // forgotten.
  void OnEnded(std::function<void(int lane, uint64_t tag, int code)> ended) {
    ended_ = std::move(ended);
  }

  // On the calls lane: a pulse on `lane` of `offset` radians per second on
  // the sky (west or north when positive) for `duration` of real time; one
  // running on that lane is replaced. A zero offset or duration ends the
  // lane's pulse now. `trackingRate` is the sky rate tracking follows (0
  // when off). `tag` comes back with the end, so that a caller can tell its
  // pulses apart. Returns the first library code that was not 0.
  int Start(int lane, double offset, Clock::duration duration, MountGeometry geometry,
            double trackingRate, uint64_t tag = 0);
  // Ends the pulse on `lane` now, on the stop lane (nothing when none runs).
  void EndNow(int lane);
  // A goto, a stop or a new connection took the axes: the pulses are
  // forgotten without a call to the library, and their ends do nothing.
  void Forget();

  bool Running() const;
  bool Running(int lane) const;

 private:
  struct Lane {
    double offset = 0;   // radians per second on the sky; 0: no pulse
    uint64_t pulse = 0;  // which pulse runs, so that a replaced one's end does nothing
    uint64_t tag = 0;    // the caller's
  };
  void End(int lane, uint64_t pulse);  // on the stop lane
  // With driveMutex_ held: drives the axes as `plan` says, an axis no longer
  // driven back to tracking; the first failure's code, or 0. Without
  // `resend`, an axis already at its planned rate is left alone.
  int Drive(const GuidePlan& plan, bool resend);
  GuidePlan PlanLocked() const;  // with mutex_ held

  TaskLane& stops_;
  std::function<void(int, uint64_t, int)> ended_;  // set before use

  // Held while the axes are given their rates (taken before mutex_), so that
  // an end on the stop lane and a start on the calls lane reach them in turn.
  std::mutex driveMutex_;
  // Guarded by mutex_.
  mutable std::mutex mutex_;
  std::array<Lane, 2> lanes_{};
  uint64_t pulses_ = 0;     // pulses started, for Lane::pulse
  uint64_t forgotten_ = 0;  // Forget calls, so that a start under way then drives nothing
  GuidePlan plan_;          // the plan now applied to the axes
  // How the axes followed the sky when the last pulse started: an end
  // re-plans the other lane's pulse from it, with no read.
  MountGeometry geometry_;
  Jacobian jacobian_;
  double trackingRate_ = 0;
};

}  // namespace sidera::host
