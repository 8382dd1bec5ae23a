// The alt-azimuth mount kind: its starting matrix, star ratings for this
// geometry, and software tracking. An alt-azimuth mount follows the sky by
// recomputing both axis rates on a tracking thread every 10 s (30 s once
// aligned; less on a controller with coarse rate steps); every other motion
// stops that thread first (EndKindMotions).
// After a sky goto the tracking follows the goto's target: its first cycles
// close what the goto left of the distance, then it tracks as usual.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/event.h"
#include "sidera/core/telescope_mount.h"

namespace sidera {

class AltAzMount : public virtual TelescopeMount {
 public:
  AltAzMount();
  ~AltAzMount() override;

  int CheckTargetAltitude(const SkyPoint& point) override;
  int ResetAlignment() override;
  double AlignmentAdjust() override;
  int CheckStars2(SkyPoint s1, SkyPoint s2, int mode) override;
  int CheckStars3(SkyPoint s1, SkyPoint s2, SkyPoint s3) override;
  MountResult AlignOneStar(AlignStar s1) override;
  MountResult AlignTwoStars(AlignStar s1, AlignStar s2) override;
  MountResult AlignThreeStars(AlignStar s1, AlignStar s2, AlignStar s3) override;
  MountResult StartTracking() override;
  MountResult StartTrackingOnTarget(const SkyPoint& target, uint32_t targetTick) override;
  MountResult StopTracking() override;
  MountResult GotoAxes(double angle0, double angle1) override;
  void RequestKindMotionsEnd() override;
  bool KindMotionUnderWay() override { return trackingWanted; }
  void AwaitKindMotionsEnd() override;
  AfterStop AfterStopOf(int axis) override;
  void Shutdown() override;
  void WakeWorkersForShutdown() override;

  // Ends the tracking: RequestTrackingStop, then AwaitTrackingStopped.
  void StopTrackingThread();
  // From the moment it returns no tracking thread sends another motion
  // command (a request of the loop's already on the line goes before
  // anything sent afterwards): clears MOUNT_TRACKING and wakes the loop.
  void RequestTrackingStop();
  // Waits up to 3000 ms for the loop to end (a loop held up in a slow
  // exchange ends later, without commanding anything).
  void AwaitTrackingStopped();
  MountResult TrackingLoopThread();

  // Auto-reset, created clear: wakes the loop at once.
  platform::Event trackingWakeEvent;
  // Manual-reset, created set: reset while a loop exists; the loop sets it
  // as its last act.
  platform::Event trackingStoppedEvent;
  // Nonzero while a loop thread exists. Written under the command lock by the
  // starter and the loop.
  std::atomic<bool> trackingThread;
  // Nonzero while tracking is wanted: set by a starter, cleared by
  // StopTrackingThread and by a loop that fails; written under
  // the command lock. The loop sends a command only while it is set and no goto
  // or hand move claims an axis (checked under the command lock). Kept apart
  // from the MOUNT_TRACKING bit, which the status derivation rewrites.
  std::atomic<bool> trackingWanted;

 protected:
  // The body of this kind's ResetAlignment, callable from constructors.
  int ResetAltAzAlignment();

  // Axis rates (radians per second) of one tracking cycle before alignment,
  // from the axis angles alone: how fast azimuth and altitude of the sky
  // change at that point for the site latitude.
  static AxisPair UnalignedTrackingRates(double latitude, const AxisPair& position);
  // Axis rates of one tracking cycle that follows the reference, from the
  // model's axis angles of the tracked point now (`onTrack`) and `seconds`
  // ahead (`ahead`) and the axes' readings (`current`): catch up with the
  // track within those seconds, unless that would turn the axis against the
  // track's own direction and `mayReverse` does not allow it for the axis;
  // then run at 3/4 of the track's rate and let the track come to the axis.
  // Tracking along the track looks one cycle ahead and never reverses.
  static AxisPair AlignedTrackingRates(const AxisPair& onTrack, const AxisPair& ahead,
                                       const AxisPair& current, double seconds = 30.0,
                                       std::array<bool, 2> mayReverse = {false, false});
  // An azimuth difference within 5 degrees of a whole turn, folded back by
  // that turn (the track crossed the +-180 degree seam).
  static double FoldAzimuthWrap(double difference);

  // True while a tracking start is pending or a tracking loop exists
  // (trackingStoppedEvent is reset exactly then).
  bool TrackingActive() const;
  // A tracking start on `target` (a goto's target and the tick its hour
  // angle held at) or, without one, on where the axes point now.
  MountResult StartTrackingFrom(const std::optional<SkyReference::Value>& target);
  // The starter's work for the tracking start numbered `command`: take the
  // reference (`target`, or the sky position the axes point at) and make
  // sure one loop runs, unless a newer command came.
  MountResult RunTrackingStarter(uint32_t command, std::optional<SkyReference::Value> target);

  // What one tracking cycle commands: a rate per axis, and the look-ahead
  // (ms) along the reference's track they aim at, 0 when they come from the
  // axis angles alone.
  struct CyclePlan {
    double rate[2] = {0.0, 0.0};
    uint32_t lookAhead = 0;
  };
  // The loop's own view of the reference: the number of the start it last
  // saw, and whether it still closes the distance to a goto's target (and
  // for how many cycles so far).
  struct LoopReference {
    uint32_t seen = 0;
    bool closing = false;
    int closingCycles = 0;
  };
  enum class CycleStep { kCommand, kSkip, kEnd };
  // The rates of one cycle: from the axis angles (unaligned), or along the
  // reference's track (aligned, and while closing the distance to a goto's
  // target). kSkip when an axis read failed; kEnd when the reference could
  // not be re-captured.
  CycleStep PlanCycle(LoopReference& reference, CyclePlan& plan);
  // The loop's backlash take-ups: the axes marked by one (halted and
  // restarted in every later cycle as well), when each take-up ends, and
  // which began in the current cycle.
  struct TakeUps {
    bool marked[2] = {false, false};
    uint32_t deadline[2] = {0, 0};
    bool thisCycle[2] = {false, false};
  };
  // What a step of a cycle leaves the loop to do: go on, or end with
  // `result`.
  struct LoopStep {
    bool end = false;
    MountResult result = kOk;
  };
  // Starts a take-up on each axis about to reverse and shortens the plan's
  // rate by what the take-up turns.
  LoopStep StartTakeUps(CyclePlan& plan, TakeUps& takeUps);
  // Restarts each marked axis at its planned rate once its take-up is done.
  LoopStep RestartAfterTakeUps(const CyclePlan& plan, TakeUps& takeUps);
  // The angle (radians) a backlash take-up turns `axis` through; 0 when the
  // axis takes none.
  double TakeUpAngle(int axis) const;
  // The step (radians per second) in which the controller runs `axis`'s
  // rates, truncating a commanded rate toward zero to a whole number of
  // steps; 0 for a controller whose rates are fine enough to need no care.
  virtual double RateStep(int /*axis*/) const { return 0.0; }
  // The rate to command so that `axis` runs at the step nearest `rate`.
  double NearestRunRate(int axis, double rate) const;
  // Whether either axis has such a step.
  bool CoarseRateSteps() const;
  // Ms between two cycles (and how far ahead along the track they aim):
  // 10 s, 30 s once aligned, less on a controller with a coarse rate step.
  uint32_t TrackingPeriod(bool aligned) const;
  // Whether the loop may command the axes; the command lock held.
  bool LoopWanted() const;
  // The loop's exit: under the command lock, clears trackingWanted,
  // MOUNT_TRACKING and trackingThread and sets trackingStoppedEvent, the
  // state that later starts and stops rely on; then halts the axes it left
  // at the take-up rate (no lock held while they go out). Unless
  // `evenIfWanted`, a loop that a new start wants again goes on instead
  // (false).
  bool EndTrackingLoop(MountResult result, bool evenIfWanted);
  // Halts `axis` unless a goto or hand move claims it (checked on the line,
  // right before the halt goes out).
  void HaltUnclaimed(int axis);

  // Axes the loop has left running at the take-up rate; the loop thread's
  // alone.
  bool takeUpRunning_[2] = {false, false};
  // The reference the latest tracking start stored: each start numbers it,
  // and says whether it is a goto's target the axes have yet to reach (the
  // loop closes that distance first) or where the axes already point.
  // Written by the starter, read by the loop; the command lock.
  uint32_t referenceNumber_ = 0;
  bool referenceIsTarget_ = false;
};

}  // namespace sidera
