// Follows a goto or a park through the driver's status polls and decides when
// it has ended and whether it failed. The library reports a goto only through
// the mount state, which can miss a short goto between two polls, can show
// "stopped" before the goto's thread has taken the axes, and (with a dead
// controller) may never leave the goto state; the watch allows for all three.
#pragma once

#include <cstdint>

namespace sidera::indi {

class GotoWatch {
 public:
  struct Limits {
    double startAllowance = 6.0;  // sky seconds a goto may take to show itself
    double maxDuration = 600.0;   // sky seconds before a goto counts as hung
    int maxFailedPolls = 3;       // consecutive polls with an error code
    double missLimit = 0.0175;    // radians (1 degree): an end this far off is a failure
  };

  // One status poll: the code of the reads (0 when they worked), the mount
  // state word, and the distance from the target in radians.
  struct Poll {
    int code = 0;
    uint32_t mountState = 0;
    double distance = 0;
  };

  enum class Verdict { Idle, Running, Arrived, Failed };
  enum class Failure { None, Link, Hung, NeverStarted, Missed };

  GotoWatch() = default;
  explicit GotoWatch(Limits limits) : limits_(limits) {}

  // A goto was started at sky time `now` (seconds); it has arrived once it is
  // within `tolerance` radians of its target.
  void Start(double now, double tolerance);
  void Cancel() { active_ = false; }
  bool active() const { return active_; }

  // Judges one poll. Returns Arrived or Failed once when the goto ends, Running
  // while it goes on, Idle when no goto is watched.
  Verdict Observe(double now, const Poll& poll);

  Failure failure() const { return failure_; }
  int failureCode() const { return failureCode_; }

 private:
  Verdict End(Failure failure, int code = 0);

  Limits limits_;
  bool active_ = false;
  bool seenGoto_ = false;
  double started_ = 0;
  double tolerance_ = 0;
  int failedPolls_ = 0;
  Failure failure_ = Failure::None;
  int failureCode_ = 0;
};

}  // namespace sidera::indi
