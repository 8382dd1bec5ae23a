// Software tracking of the alt-azimuth kind.
//
// A short-lived starter takes the reference, the sky position to follow (the
// target of the sky goto that hands over to tracking, or else where the
// mount points), and makes sure one long-lived loop runs; the loop
// recomputes both axis rates every 10 s (30 s once aligned; less on a
// controller with coarse rate steps) or when woken, and ends when tracking
// is no longer wanted (RequestTrackingStop), a goto or hand move claims an
// axis, or the mount shuts down.
//
// Rates. Unaligned, they come from the axis angles alone. Aligned, they
// bring the axes onto the reference's track one cycle ahead. A controller
// that runs rates in coarse steps (RateStep) is given the step nearest each
// rate, and follows the reference's track unaligned too: the axis-angle
// rates have no way to take back what the steps leave over, which would
// add up cycle after cycle. After a goto the
// axes stopped within the goto's tolerance of a target that the goto aimed
// a lead time ahead; the first cycles follow the target itself until the
// axes are on its track (turning an axis back if it is ahead), unaligned
// too, and only then track as usual. A backlash take-up turns an axis
// through its gear play; the reference stays on the star and the rate after
// the take-up allows for the angle it turned.
//
// Neither thread takes the idle axes: the motion operations of this kind stop
// the loop before they start a motion, and every command the loop sends is
// checked under the command lock, so none goes out after a stop even when
// the loop was held up longer than the stopper waited.
#include <cmath>
#include <mutex>

#include "platform/clock.h"
#include "platform/debug_log.h"
#include "sidera/core/angles.h"
#include "sidera/core/backlash_take_up.h"
#include "sidera/mounts/alt_az_mount.h"

namespace sidera {

namespace {

// Tick waits of the loop between two rate updates.
constexpr uint32_t kUnalignedPeriod = 10000;
constexpr uint32_t kAlignedPeriod = 30000;
// A controller that runs rates in coarse steps leaves the axis off the
// track by up to half a step times the cycle; cycles on such a controller
// are shortened so that this stays within the budget (the catch-up aims one
// cycle ahead, so it takes back an error of that size), down to the
// shortest cycle.
const double kStepDriftBudget = DegToRad(1.0 / 3600.0);
constexpr uint32_t kShortestPeriod = 5000;
// Closing the distance to a goto's target ends once both axes are this
// close to its track (a few counts of the coarsest encoder), or after this
// many cycles.
const double kOnTrack = DegToRad(5.0 / 3600.0);
constexpr int kMaxClosingCycles = 3;
// An axis this far off the predicted track was moved by other means.
const double kRecaptureThreshold = DegToRad(3.0);
// A reading that stays off the track right after a re-capture does not get
// another one in the same cycle; the next cycle tries again.
constexpr int kMaxRecapturesPerCycle = 2;
// A rate command after a take-up that keeps failing is tried this often,
// then tracking ends.
constexpr int kMaxTakeUpAttempts = 3;
// Sleep step (ticks) while a take-up runs.
constexpr uint32_t kTakeUpPoll = 10;
// Longest time the stopper waits for the loop to end.
constexpr uint32_t kStopWait = 3000;

// Sky position `reference`, taken at `referenceTick`, as it stands `ahead`
// ms after `now`.
SkyPoint Advance(SkyPoint reference, uint32_t referenceTick, uint32_t now, uint32_t ahead) {
  // Signed: a starter may store a reference newer than `now` between the
  // caller's reading of the clock and its reading of the reference.
  const double elapsed = static_cast<double>(platform::TicksBetween(referenceTick, now)) + ahead;
  reference.hourAngle += elapsed * kSiderealRate / 1000.0;
  return reference;
}

// 0.75 x nominal when the catch-up rate would run against the track.
double ChooseRate(double nominal, double catchUp) {
  const bool against = (nominal >= 0.0 && catchUp < 0.0) || (nominal < 0.0 && catchUp >= 0.0);
  return against ? 0.75 * nominal : catchUp;
}

}  // namespace

AxisPair AltAzMount::UnalignedTrackingRates(double latitude, const AxisPair& position) {
  const double a0 = position.axis0;
  const double a1 = position.axis1;
  return AxisPair{
      kSiderealRate * (std::sin(latitude) - std::cos(latitude) * std::tan(a1) * std::cos(a0)),
      kSiderealRate * std::cos(latitude) * std::sin(a0)};
}

double AltAzMount::FoldAzimuthWrap(double difference) {
  if (std::fabs(std::fabs(difference) - kTwoPi) < DegToRad(5.0)) {
    return difference > 0.0 ? difference - kTwoPi : difference + kTwoPi;
  }
  return difference;
}

AxisPair AltAzMount::AlignedTrackingRates(const AxisPair& onTrack, const AxisPair& ahead,
                                          const AxisPair& current, double seconds,
                                          std::array<bool, 2> mayReverse) {
  const double toRate = 1.0 / seconds;
  const double nominal0 = FoldAzimuthWrap(ahead.axis0 - onTrack.axis0) * toRate;
  const double catchUp0 = FoldAzimuthWrap(ahead.axis0 - current.axis0) * toRate;
  const double nominal1 = (ahead.axis1 - onTrack.axis1) * toRate;
  const double catchUp1 = (ahead.axis1 - current.axis1) * toRate;
  return AxisPair{mayReverse[0] ? catchUp0 : ChooseRate(nominal0, catchUp0),
                  mayReverse[1] ? catchUp1 : ChooseRate(nominal1, catchUp1)};
}

bool AltAzMount::CoarseRateSteps() const { return RateStep(0) > 0.0 || RateStep(1) > 0.0; }

uint32_t AltAzMount::TrackingPeriod(bool aligned) const {
  const uint32_t period = aligned ? kAlignedPeriod : kUnalignedPeriod;
  const double step = std::fmax(RateStep(0), RateStep(1));
  if (step <= 0.0) return period;
  const double ms = 1000.0 * kStepDriftBudget / (0.5 * step);
  if (ms >= period) return period;
  return ms <= kShortestPeriod ? kShortestPeriod : static_cast<uint32_t>(ms);
}

double AltAzMount::NearestRunRate(int axis, double rate) const {
  const double step = RateStep(axis);
  if (step <= 0.0) return rate;
  const double units = std::round(rate / step);
  // Nearest is no motion: the rate as planned, which the controller
  // truncates to zero while its sign still gives the direction.
  if (units == 0.0) return rate;
  // A quarter step beyond the whole number, so that the controller's
  // truncation lands on it despite rounding in its conversion.
  return (units + (units > 0.0 ? 0.25 : -0.25)) * step;
}

double AltAzMount::TakeUpAngle(int axis) const {
  if (!Rates().CompensatesBacklash() || Rates().TakeUpTicks(axis) <= kMinTakeUpTicks) return 0.0;
  return Rates().TakeUpRate() * Rates().TakeUpTicks(axis) / 1000.0;
}

bool AltAzMount::TrackingActive() const { return trackingThread || !trackingStoppedEvent.IsSet(); }

void AltAzMount::StopTrackingThread() {
  RequestTrackingStop();
  AwaitTrackingStopped();
}

void AltAzMount::RequestTrackingStop() {
  {
    const auto lock = LockCommands();
    // A start still on its way gives up; the loop sends nothing more.
    const uint32_t command = BeginCommand(kBothAxes);
    SIDERA_DEBUG_LOG(kMotion, "tracking loop asked to stop (#%u)", command);
    trackingWanted = false;
    ClearTrackingState();
  }
  trackingWakeEvent.Set();
}

void AltAzMount::AwaitTrackingStopped() {
  (void)trackingStoppedEvent.Wait(kStopWait);  // a time-out is ignored
}

// Refused while a goto or hand move drives an axis (102) or an axis does not
// answer (100/101); otherwise a starter thread runs for a new command
// number. Checked and drawn under the command lock, so that no motion claims
// an axis in between; a silent axis is read before, with no lock held.
MountResult AltAzMount::StartTracking() { return StartTrackingFrom(std::nullopt); }

MountResult AltAzMount::StartTrackingOnTarget(const SkyPoint& target, uint32_t targetTick) {
  return StartTrackingFrom(SkyReference::Value{target, targetTick});
}

MountResult AltAzMount::StartTrackingFrom(const std::optional<SkyReference::Value>& target) {
  const MountResult answers = CheckAxesAnswer(kBothAxes);
  if (answers != kOk) return answers;
  const auto lock = LockCommands();
  if (ClaimOn(0) != 0 || ClaimOn(1) != 0) return kAxisBusy;
  const uint32_t command = BeginCommand(kBothAxes);
  trackingStoppedEvent.Reset();
  if (!Workers().Start([this, command, target] { (void)RunTrackingStarter(command, target); }, 1)) {
    // Nothing will start a loop: put the stopped state back unless one runs.
    if (!trackingThread) trackingStoppedEvent.Set();
  }
  return kOk;
}

MountResult AltAzMount::RunTrackingStarter(uint32_t command,
                                           std::optional<SkyReference::Value> target) {
  SkyPoint reference{};
  const bool captured = target.has_value() || GetSkyPosition(&reference) == kOk;
  if (target.has_value()) reference = target->point;
  bool wake = false;
  {
    const auto lock = LockCommands();
    // Given up when any command came after this start (a stop, a motion,
    // another start), or a motion holds an axis.
    const bool cancelled = !IsLatestCommand(command, kBothAxes) || ShuttingDown() ||
                           ClaimOn(0) != 0 || ClaimOn(1) != 0;
    if (captured && !cancelled) {
      TrackingReference().Store(reference, target.has_value() ? target->tick : platform::Now());
      ++referenceNumber_;
      referenceIsTarget_ = target.has_value();
      // A loop that was told to stop but has not ended yet carries on.
      trackingWanted = true;
      SIDERA_DEBUG_LOG(kMotion, "tracking start #%u: %s %s %.4f %.4f", command,
                       !trackingThread ? "the loop starts" : "the loop follows",
                       target.has_value() ? "the goto's target" : "the position",
                       reference.hourAngle * 180.0 / kPi, reference.declination * 180.0 / kPi);
      if (!trackingThread) {
        published_.SetMountState(MOUNT_TRACKING);
        trackingThread = true;
        trackingStoppedEvent.Reset();
        if (!Workers().Start([this] { (void)TrackingLoopThread(); }, 3)) {
          trackingWanted = false;
          ClearTrackingState();
          trackingThread = false;
        }
      } else {
        published_.SetMountState(MOUNT_TRACKING);
      }
      wake = true;
    } else if (captured) {
      SIDERA_DEBUG_LOG(kMotion, "tracking start #%u called off by a newer command", command);
    }
    // No loop to report its end: the stopped state holds again, so that a
    // later stop does not wait for a loop that does not exist.
    if (!trackingThread) trackingStoppedEvent.Set();
  }
  if (!captured) return kNoResponseAxis0;
  if (wake) trackingWakeEvent.Set();  // a running loop picks up the new reference
  return kOk;
}

bool AltAzMount::LoopWanted() const {
  return trackingWanted && !ShuttingDown() && ClaimOn(0) == 0 && ClaimOn(1) == 0;
}

void AltAzMount::HaltUnclaimed(int axis) {
  (void)SendIf([this, axis] { return ClaimOn(axis) == 0; },
               [this, axis] { return HaltAxis(axis); });
}

bool AltAzMount::EndTrackingLoop(MountResult result, bool evenIfWanted) {
  bool takeUp[2] = {false, false};
  {
    const auto lock = LockCommands();
    // A start that came after the stop keeps this loop going.
    if (!evenIfWanted && LoopWanted()) return false;
    for (int axis = 0; axis < 2; ++axis) {
      takeUp[axis] = takeUpRunning_[axis];
      takeUpRunning_[axis] = false;
    }
    trackingWanted = false;
    ClearTrackingState();
    trackingThread = false;
    trackingStoppedEvent.Set();
  }
  SIDERA_DEBUG_LOG(kMotion, "tracking loop ends (%d)", result);
  // Axes left at the take-up rate are halted, with no lock held, unless a
  // goto or hand move claims them (it commands them itself) or tracking was
  // started again (its loop does).
  for (int axis = 0; axis < 2; ++axis) {
    if (!takeUp[axis]) continue;
    (void)SendIf([this, axis] { return ClaimOn(axis) == 0 && !trackingWanted; },
                 [this, axis] { return HaltAxis(axis); });
  }
  return true;
}

AltAzMount::CycleStep AltAzMount::PlanCycle(LoopReference& track, CyclePlan& plan) {
  const bool aligned = Model().Aligned();
  const bool followTrack = aligned || CoarseRateSteps();
  const auto fromAxisAngles = [&](const AxisPair& position) {
    const AxisPair r = UnalignedTrackingRates(Latitude(), position);
    plan = CyclePlan{{r.axis0, r.axis1}, 0};
    return CycleStep::kCommand;
  };
  AxisPair current{};
  if (!followTrack && !track.closing) {
    if (GetAxisPosition(0, &current.axis0) != kOk || GetAxisPosition(1, &current.axis1) != kOk) {
      return CycleStep::kSkip;
    }
    return fromAxisAngles(current);
  }

  const uint32_t lookAhead = TrackingPeriod(aligned);
  for (int recaptures = 0;; ++recaptures) {
    // The readings hold at the middle of the time they took: a slow line
    // would otherwise show the axes ahead of the track by what the sky
    // turned meanwhile, and the catch-up would hold them back by as much.
    const uint32_t beforeReads = platform::Now();
    if (GetAxisPosition(0, &current.axis0) != kOk || GetAxisPosition(1, &current.axis1) != kOk) {
      return CycleStep::kSkip;
    }
    const uint32_t now =
        beforeReads +
        static_cast<uint32_t>(platform::TicksBetween(beforeReads, platform::Now())) / 2;
    const SkyReference::Value reference = TrackingReference().Load();
    SkyPoint p = Advance(reference.point, reference.tick, now, 0);
    AxisPair onTrack{};
    (void)SkyToAxes(p, onTrack, 1);
    // Azimuth readings and the model may differ by whole turns; only the
    // remainder says whether the mount was moved.
    const double off[2] = {std::fabs(NormalizeAngle(current.axis0 - onTrack.axis0)),
                           std::fabs(current.axis1 - onTrack.axis1)};
    if (off[0] > kRecaptureThreshold || off[1] > kRecaptureThreshold) {
      // Moved by other means (or a goto that gave up far off): nothing to
      // close; tracking along the track follows from the new position.
      track.closing = false;
      if (!followTrack) return fromAxisAngles(current);
      if (recaptures >= kMaxRecapturesPerCycle) return CycleStep::kSkip;
      SkyPoint here{};
      if (GetSkyPosition(&here) != kOk) return CycleStep::kEnd;
      TrackingReference().Store(here, platform::Now());
      continue;
    }
    // The first cycle closes even from on the track: a goto that ended on
    // its target is followed through the backlash take-up the first rates
    // may need, which turns the axis (and would otherwise leave it off).
    const bool settled = off[0] <= kOnTrack && off[1] <= kOnTrack && track.closingCycles > 0;
    if (track.closing && (settled || ++track.closingCycles > kMaxClosingCycles)) {
      track.closing = false;
      SIDERA_DEBUG_LOG(kMotion, "tracking loop: on the goto's target track");
      if (!followTrack) return fromAxisAngles(current);
    }
    // While closing, an axis ahead of the track turns back, unless the
    // distance is within its backlash take-up: that would overshoot.
    std::array<bool, 2> mayReverse = {false, false};
    for (int i = 0; i < 2; ++i) mayReverse[i] = track.closing && off[i] > TakeUpAngle(i);
    SkyPoint q = Advance(reference.point, reference.tick, now, lookAhead);
    AxisPair ahead{};
    (void)SkyToAxes(q, ahead, 1);
    const AxisPair r =
        AlignedTrackingRates(onTrack, ahead, current, lookAhead / 1000.0, mayReverse);
    plan = CyclePlan{{r.axis0, r.axis1}, lookAhead};
    return CycleStep::kCommand;
  }
}

// Backlash take-up: an axis about to reverse first crosses its gear
// backlash at the take-up rate.
AltAzMount::LoopStep AltAzMount::StartTakeUps(CyclePlan& plan, TakeUps& takeUps) {
  const auto wanted = [this] { return LoopWanted(); };
  double* const rates = plan.rate;
  for (int i = 0; i < 2; ++i) {
    takeUps.thisCycle[i] = false;
    if (!NeedsBacklashTakeUp(*this, i, rates[i])) continue;
    const double takeUpRate = BacklashTakeUpRate(*this, rates[i]);
    const MountResult r = SendIf(wanted, [&] {
      const MountResult sent = SlewAxisAtRate(i, takeUpRate);
      if (sent == kOk) takeUpRunning_[i] = true;
      return sent;
    });
    if (r == kUserInterrupt && EndTrackingLoop(kOk, false)) return {true, kOk};
    if (r != kOk && r != kUserInterrupt) {
      NoteAxisResult(i, r);
      (void)EndTrackingLoop(r, true);
      return {true, r};
    }
    if (r != kOk) continue;  // held back, but tracking was started again
    takeUps.deadline[i] = platform::Now() + Rates().TakeUpTicks(i);
    takeUps.marked[i] = true;
    takeUps.thisCycle[i] = true;
    // Rates along the track aim at a point on it: the take-up has already
    // turned the axis part of the way (or past it, then the axis runs on
    // slowly and lets the track come).
    const uint32_t takeUpTime = Rates().TakeUpTicks(i);
    if (plan.lookAhead > takeUpTime) {
      const double planned = rates[i] * plan.lookAhead / 1000.0;
      const double turned = takeUpRate * takeUpTime / 1000.0;
      rates[i] = ChooseRate(rates[i], (planned - turned) * 1000.0 / (plan.lookAhead - takeUpTime));
    }
  }
  return {};
}

AltAzMount::LoopStep AltAzMount::RestartAfterTakeUps(const CyclePlan& plan, TakeUps& takeUps) {
  if (!takeUps.marked[0] && !takeUps.marked[1]) return {};
  const auto wanted = [this] { return LoopWanted(); };
  bool restarted[2] = {!takeUps.marked[0], !takeUps.marked[1]};
  int attempts[2] = {0, 0};
  for (;;) {
    const uint32_t t = platform::Now();
    for (int i = 0; i < 2; ++i) {
      if (restarted[i]) continue;
      // A marker from an earlier cycle has long expired; the signed
      // difference handles a wrap of the tick counter.
      const bool due = !takeUps.thisCycle[i] || platform::TicksBetween(takeUps.deadline[i], t) >= 0;
      if (!due) continue;
      const MountResult r = SendIf(wanted, [&] {
        (void)HaltAxis(i);
        takeUpRunning_[i] = false;
        return SlewAxisAtRate(i, plan.rate[i]);
      });
      if (r == kUserInterrupt) {
        if (EndTrackingLoop(kOk, false)) return {true, kOk};
        continue;  // started again meanwhile: send it once more
      }
      if (r == kOk) {
        restarted[i] = true;
      } else if (++attempts[i] >= kMaxTakeUpAttempts) {
        NoteAxisResult(i, r);
        (void)SendIf(wanted, [this] {
          (void)HaltAxis(0);
          return HaltAxis(1);
        });
        (void)EndTrackingLoop(r, true);
        return {true, r};
      }
    }
    if (restarted[0] && restarted[1]) return {};
    // A stop while a take-up runs: the exit halts the take-up axes.
    if (!LoopWanted() && EndTrackingLoop(kOk, false)) return {true, kOk};
    platform::Sleep(kTakeUpPoll);
  }
}

// One cycle every period: plan the rates, cross any backlash, restart the
// axes that crossed it, then command the rates.
MountResult AltAzMount::TrackingLoopThread() {
  const auto wanted = [this] { return LoopWanted(); };
  TakeUps takeUps;
  LoopReference track;

  for (;;) {
    (void)trackingWakeEvent.Wait(TrackingPeriod(Model().Aligned()));
    if (!LoopWanted() && EndTrackingLoop(kOk, false)) return kOk;
    {
      const auto lock = LockCommands();
      if (referenceNumber_ != track.seen) {
        track = LoopReference{referenceNumber_, referenceIsTarget_, 0};
      }
    }

    CyclePlan plan;
    const CycleStep step = PlanCycle(track, plan);
    if (step == CycleStep::kSkip) continue;
    if (step == CycleStep::kEnd) {
      (void)EndTrackingLoop(kOk, true);
      return kOk;
    }
    SIDERA_DEBUG_LOG(kMotion, "tracking loop: rates %.6f %.6f deg/s%s", plan.rate[0] * 180.0 / kPi,
                     plan.rate[1] * 180.0 / kPi,
                     track.closing ? " (closing on the goto's target)" : "");

    if (const LoopStep s = StartTakeUps(plan, takeUps); s.end) return s.result;
    for (int i = 0; i < 2; ++i) plan.rate[i] = NearestRunRate(i, plan.rate[i]);
    if (const LoopStep s = RestartAfterTakeUps(plan, takeUps); s.end) return s.result;

    const MountResult r = SendIf(wanted, [&] {
      const MountResult first = SlewAxisAtRate(0, plan.rate[0]);
      if (first != kOk) return first;
      return SlewAxisAtRate(1, plan.rate[1]);  // a failure waits for the next cycle
    });
    if (r == kUserInterrupt && EndTrackingLoop(kOk, false)) return kOk;
  }
}

}  // namespace sidera
