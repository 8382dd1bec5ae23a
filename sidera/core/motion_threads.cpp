// The motion threads: sky goto, axis goto, constant-rate move and the start
// of equatorial tracking, with the hand-over by which a new motion takes the
// axes from a running one.
//
// Hand-over. The idle event (manual reset; AxesIdle) is signalled while no motion thread
// owns the axes. A new motion asks the owner to give way (with its command's
// number: only an older command's motion gives way), waits for the idle event and
// resets it in the same step (so of two motions started back to back only
// one takes the axes at a time), then withdraws its request: from then on it
// owns the axes until it sets the event again on its way out. A running goto
// checks its claims on the axes (released by StopAxis, taken over by a
// newer command) and the give-way request at every poll, and every new command
// wakes it from its 200 ms sleep between polls; it gives way by halting
// both axes. Every motion command a thread sends goes through SendIf, so
// none goes out once the host has stopped or replaced the motion. Once
// ShuttingDown() is set no thread takes the axes any more, and every loop ends
// at its next check.
//
// Silence. A goto ends as soon as an axis counts as silent (LineHealth: an
// exchange failed and nothing has answered for the axis for 1.5 s): it
// halts what can be halted and leaves the mark for the host's read-outs.
//
// Arrival. A sky goto has arrived when the axes point within the goto
// tolerance of the target on the sky. An axis goto has arrived when each
// axis is within the tolerance of its own target: the host asked for axis
// angles, and on the sky an axis can stop counting (the right ascension
// axis of an equatorial mount with the declination axis at the pole).
//
// Outcome. Every motion records how it ended once, on its way out
// (RecordOutcome): a goto for the mount and both axes before it releases
// the axes (so that a newer motion's outcome always comes after it), a rate
// move or tracking start for its axis.
//
// With SIDERA_DEBUG=motion every hand-over, goto pass and end of a motion is
// logged, with the motion's command number ("#12").
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/clock.h"
#include "platform/debug_log.h"
#include "sidera/core/angles.h"
#include "sidera/core/backlash_take_up.h"
#include "sidera/core/goto_finish.h"
#include "sidera/core/telescope_mount.h"

namespace sidera {

namespace {

constexpr uint32_t kGotoHandOverTicks = 2000;
constexpr uint32_t kRateHandOverTicks = 5000;
constexpr uint32_t kGotoPollTicks = 200;
// A goto axis that moves less than kStallAngle in kStallTicks while its
// controller reports it in its goto is stalled, or is no such controller.
constexpr uint32_t kStallTicks = 5000;
const double kStallAngle = DegToRad(0.01);
constexpr int kGotoPasses = 6;
// How often a goto command that got no reply is sent before the goto fails
// with the axis's code (the line's record usually judges a dead controller
// silent before the last).
constexpr int kGotoTries = 4;

constexpr int kGotoPriority = 2;
constexpr int kNormalPriority = 3;

// The lowest declination-axis angle of an equatorial mount; below it the
// same axis position reads a turn higher (the axis keeps to -90..270
// degrees).
constexpr double kEquatorialAxis1Floor = -kPi / 2.0;

// Degrees, for the debug log.
double Deg(double radians) { return radians * 180.0 / kPi; }

// How far an axis at `current` is from `target`, the short way round: angles
// a whole turn apart are the same position of the axis (drivers read some
// axes in a frame a turn away from the host's targets).
double AxisDistance(double target, double current) {
  return std::fabs(NormalizeAngle(target - current));
}

// Waits up to `timeout` ticks for the axes to become free and takes them in
// the same step. False when they did not come free, or when the mount is
// shutting down (then the event may have been set only to wake this waiter:
// it is handed on, and the axes are not taken).
bool TakeFreeAxes(TelescopeMount& m, uint32_t timeout) {
  if (m.ShuttingDown()) return false;
  if (!m.TakeIdleAxes(timeout)) return false;
  if (!m.ShuttingDown()) return true;
  m.HandBackAxes();
  return false;
}

enum class HandOver {
  kTaken,
  kBusy,      // the axes did not come free (102), or the mount shuts down
  kReplaced,  // a newer command or a stop came before this motion's thread ran
};

// The full hand-over of a goto or rate move of `command`: ask a running
// motion of an older command to give way, wait for the axes, and take them.
// `replaced()` tells whether a newer command or a stop has already taken
// this motion's claims; it is asked after the request is made, so that a
// motion whose thread starts late either sees the newer command's claims
// and leaves the axes to it, or made its request first and gives way to
// the newer command's request in turn. Nothing is taken unless kTaken.
// `what` names the motion in the debug log.
HandOver TakeAxes(TelescopeMount& m, uint32_t timeout, const char* what, uint32_t command,
                  const std::function<bool()>& replaced) {
  m.AskToGiveWay(command);
  m.NotifyCommand();  // a goto asleep between its polls gives way at once
  if (replaced()) {
    m.WithdrawGiveWay(command);
    SIDERA_DEBUG_LOG(kMotion, "%s #%u: replaced or stopped before it began", what, command);
    return HandOver::kReplaced;
  }
  const bool taken = TakeFreeAxes(m, timeout);
  m.WithdrawGiveWay(command);
  if (!taken) {
    SIDERA_DEBUG_LOG(kMotion, "%s #%u: the axes did not come free within %u ms (%s)", what, command,
                     timeout, m.ShuttingDown() ? "shutting down" : "102");
    return HandOver::kBusy;
  }
  SIDERA_DEBUG_LOG(kMotion, "%s #%u takes the axes", what, command);
  return HandOver::kTaken;
}

// The angle actually commanded for one axis of a goto pass, given the
// target t and the current angle c.
double CommandedAngle(const TelescopeMount& m, int axis, double t, double c) {
  const double d = t - c;
  if (axis == 1 && m.Identity().Equatorial() && m.Identity().RefinesEquatorialGotos() &&
      std::fabs(d) > kPi) {
    // The declination axis never turns more than just under a half turn at
    // once, and always the way the difference points.
    const double oneDegree = DegToRad(1.0);
    return d > kPi ? (c + kPi) - oneDegree : (c - kPi) + oneDegree;
  }
  if (d >= 0.0) {
    // A long positive move stops short; a later pass makes the last short
    // move.
    const double g = m.GetGotoParameters().approachDistance;
    return d > 1.2 * g ? t - g : t;
  }
  // A negative move overshoots, so that the final approach is positive. The
  // overshoot of an equatorial declination axis stops at the bottom of the
  // axis's range: below it the drivers would take the angle a turn higher
  // and send the axis almost a full turn the other way.
  const double g = t - m.GetGotoParameters().approachOffset;
  if (axis == 1 && m.Identity().Equatorial() && g < kEquatorialAxis1Floor &&
      t >= kEquatorialAxis1Floor) {
    return kEquatorialAxis1Floor;
  }
  return g;
}

// The axis a result code concerns: 0 or 1 for the no-response codes, else -1.
int32_t AxisOfCode(MountResult code) {
  if (code == kNoResponseAxis0) return 0;
  if (code == kNoResponseAxis1) return 1;
  return -1;
}

// How a motion ended, before the command, motion and tick are added.
struct Ending {
  int32_t outcome = SIDERA_OUTCOME_NONE;
  MountResult code = kOk;
  int32_t axis = -1;
  double error = 0.0;
};

Ending Failed(MountResult code) { return Ending{SIDERA_OUTCOME_FAILED, code, AxisOfCode(code)}; }

// The one place a motion's outcome is recorded: for the axes in `axes` and,
// for a goto (`mount`), for the mount.
void RecordOutcome(TelescopeMount& m, unsigned axes, bool mount, uint32_t command, int32_t motion,
                   const Ending& e) {
  MotionOutcome o{};
  o.command = command;
  o.outcome = e.outcome;
  o.code = e.code;
  o.axis = e.axis;
  o.motion = motion;
  o.tick = platform::Now();
  o.error = e.error;
  m.Outcomes().Ended(axes, mount, o);
}

// Why a motion claiming `axes` is no longer wanted, as its outcome: an
// axis that fell silent (the line watch then ends every motion), the
// shutdown or a stop that released an axis, else a newer command that took
// the axes (claimed one, or waits for them).
Ending Interrupted(TelescopeMount& m, unsigned axes) {
  bool released = m.ShuttingDown();
  for (int axis = 0; axis < 2; ++axis) {
    if ((axes & (1u << axis)) == 0) continue;
    if (m.AxisSilent(axis)) return Failed(NoResponse(axis));
    if (m.ClaimOn(axis) == 0) released = true;
  }
  return Ending{released ? SIDERA_OUTCOME_STOPPED : SIDERA_OUTCOME_REPLACED, kUserInterrupt, -1};
}

// What a goto drives to: a sky position given at `startTick` that turns
// with the sky, or fixed axis angles.
struct GotoRequest {
  bool sky = false;
  SkyPoint skyTarget{};
  uint32_t startTick = 0;
  AxisPair axes{};
};

}  // namespace

// Nested in TelescopeMount: it publishes the goto's state.
class TelescopeMount::GotoRun {
 public:
  GotoRun(TelescopeMount& m, uint32_t command, const GotoRequest& request)
      : m_(m), command_(command), request_(request), what_(request.sky ? "goto" : "axes goto") {}

  MountResult Run() {
    const HandOver handOver =
        TakeAxes(m_, kGotoHandOverTicks, what_, command_, [this] { return Superseded(); });
    if (handOver == HandOver::kReplaced) {
      // A newer command or a stop came before this thread ran: the newer
      // motion keeps the axes.
      ending_ = Interrupted(m_, kBothAxes);
      RecordOutcome(m_, kBothAxes, true, command_, Motion(), ending_);
      return End(kUserInterrupt, "replaced or stopped before it began");
    }
    if (handOver == HandOver::kBusy) {
      // It never had the axes: shut down, or another motion kept them.
      RecordOutcome(m_, kBothAxes, true, command_, Motion(),
                    m_.ShuttingDown() ? Interrupted(m_, kBothAxes) : Failed(kAxisBusy));
      return kAxisBusy;
    }
    MountResult result = m_.HaltAxesBeforeGoto(command_);
    if (result != kOk) {
      // Given up for a newer command or a stop (105), or an axis failed.
      ending_ = result == kUserInterrupt ? Interrupted(m_, kBothAxes) : Failed(result);
      result = End(result, "the axes were not brought to a stop first");
    } else if (!Wanted()) {
      // Replaced or stopped while it waited for the axes: nothing to do.
      ending_ = Interrupted(m_, kBothAxes);
      result = End(kUserInterrupt, Interruption());
    } else {
      result = Passes();
    }

    // Exit. The state words and the outcome are written before the axes are
    // released, so that a newer motion taking over is never overwritten by
    // this one. The claims of a newer command stay.
    m_.published_.SetGotoActive(false);
    m_.published_.SetMountState(MOUNT_STOPPED);
    ending_.error = toGo_;
    RecordOutcome(m_, kBothAxes, true, command_, Motion(), ending_);
    m_.ReleaseClaims(command_);
    m_.HandBackAxes();
    if (request_.sky && result == kOk) result = StartTrackingIfLatest();
    return result;
  }

 private:
  int32_t Motion() const { return request_.sky ? SIDERA_MOTION_SKY_GOTO : SIDERA_MOTION_AXES_GOTO; }

  // The goto still owns its claims: no stop, no newer motion, no shutdown.
  bool Wanted() const {
    const int32_t own = TelescopeMount::ClaimOf(command_);
    return !m_.MustGiveWay(command_) && !m_.ShuttingDown() && m_.ClaimOn(0) == own &&
           m_.ClaimOn(1) == own;
  }

  // Neither axis still carries this goto's claim: a newer command or a stop
  // has replaced it.
  bool Superseded() const {
    const int32_t own = TelescopeMount::ClaimOf(command_);
    return m_.ClaimOn(0) != own && m_.ClaimOn(1) != own;
  }

  // Why the goto is no longer wanted, for the debug log.
  const char* Interruption() const {
    if (m_.ShuttingDown()) return "the mount shuts down";
    if (m_.MustGiveWay(command_)) return "gives way to a newer motion";
    if (m_.ClaimOn(0) == 0 || m_.ClaimOn(1) == 0) return "an axis was stopped";
    return "a newer command took an axis";
  }

  // Logs the end of the goto and returns `result`.
  MountResult End(MountResult result, const char* why) {
    SIDERA_DEBUG_LOG(kMotion, "%s #%u ends (%d): %s", what_, command_, result, why);
    return result;
  }

  void HaltBoth() {
    MountResult ignored[2];
    m_.HaltBothAxes(ignored);
  }

  // Gives way to a stop or a newer command.
  MountResult GiveWay() {
    ending_ = Interrupted(m_, kBothAxes);
    const MountResult r = End(kUserInterrupt, Interruption());
    HaltBoth();
    return r;
  }

  // How far the axes at (c0, c1) still are from (t0, t1): on the sky for a
  // sky goto, the larger of the two axis distances for an axis goto.
  double StillToGo(double c0, double c1, double t0, double t1) const {
    if (request_.sky) return std::fabs(AngularSeparationOf(c0, c1, t0, t1));
    return std::max(AxisDistance(t0, c0), AxisDistance(t1, c1));
  }

  MountResult Passes() {
    double t0 = request_.axes.axis0;
    double t1 = request_.axes.axis1;
    for (int pass = 1; pass <= kGotoPasses + 1; ++pass) {
      m_.published_.SetGotoActive(true);
      SkyPoint p{};
      if (request_.sky) {
        m_.trackingRequested_ = false;
        p = SkyTargetNow();
        AxisPair target{};
        (void)m_.SkyToAxes(p, target, 1);
        t0 = target.axis0;
        t1 = target.axis1;
      }
      double c0 = 0.0;
      double c1 = 0.0;
      // A failed read leaves the last known angle, which serves as well.
      (void)m_.GetAxisPosition(0, &c0);
      (void)m_.GetAxisPosition(1, &c1);

      const double tolerance = m_.GetGotoParameters().tolerance;
      const double toGo = StillToGo(c0, c1, t0, t1);
      toGo_ = toGo;
      if (pass > kGotoPasses) {
        // Close enough after the last pass: the goto ends as arrived (and
        // a sky goto tracks), its outcome says how far it is.
        SIDERA_DEBUG_LOG(kMotion, "%s #%u: %d passes done, %.4f deg to go", what_, command_,
                         kGotoPasses, Deg(toGo));
        return Finish("passes used up", toGo <= tolerance);
      }
      if (toGo <= tolerance) {
        SIDERA_DEBUG_LOG(kMotion, "%s #%u pass %d: at %.4f %.4f, %.4f deg from %.4f %.4f: arrived",
                         what_, command_, pass, Deg(c0), Deg(c1), Deg(toGo), Deg(t0), Deg(t1));
        return Finish(pass > 1 ? "arrived" : "already there", true);
      }

      if (request_.sky) {
        // Aim where the target will be once the axes get there.
        p.hourAngle += m_.GetGotoParameters().leadTime * kSiderealRate;
        AxisPair lead{};
        (void)m_.SkyToAxes(p, lead, 1);
        t0 = lead.axis0;
        t1 = lead.axis1;
      }
      // An axis within the tolerance of its target is left where it is.
      const double targets[2] = {t0, t1};
      const double current[2] = {c0, c1};
      bool move[2];
      double angle[2] = {0.0, 0.0};
      for (int axis = 0; axis < 2; ++axis) {
        move[axis] = AxisDistance(targets[axis], current[axis]) > tolerance;
        if (move[axis]) angle[axis] = CommandedAngle(m_, axis, targets[axis], current[axis]);
      }
      SIDERA_DEBUG_LOG(kMotion,
                       "%s #%u pass %d: at %.4f %.4f, %.4f deg from %.4f %.4f; axis 1 %s%.4f, "
                       "axis 0 %s%.4f",
                       what_, command_, pass, Deg(c0), Deg(c1), Deg(toGo), Deg(t0), Deg(t1),
                       move[1] ? "-> " : "stays at ", Deg(move[1] ? angle[1] : c1),
                       move[0] ? "-> " : "stays at ", Deg(move[0] ? angle[0] : c0));
      // Axis 1 first.
      for (int axis : {1, 0}) {
        if (!move[axis]) continue;
        const MountResult r = CommandAxis(axis, angle[axis]);
        if (r == kUserInterrupt) return GiveWay();
        if (r != kOk) {
          m_.NoteAxisResult(axis, r);
          ending_ = Failed(NoResponse(axis));
          // Reported as the axis's code, so that the host knows which axis.
          return End(NoResponse(axis),
                     axis == 0 ? "axis 0 did not take its goto" : "axis 1 did not take its goto");
        }
      }

      const MountResult waited = WaitForAxesToArrive();
      if (waited != kOk) return waited;
      if (!Wanted()) return GiveWay();
    }
    return kOk;  // not reached: the pass after the last returns
  }

  // Sends `axis` its goto to `angle`. A goto that got no reply (not one the
  // controller refused) is sent again while the axis's controller is not
  // judged silent: a reply that comes late (a controller busy with
  // something else, a slow line) is no dead controller, and the next try
  // takes that late reply off the line first. A controller that stays
  // silent is judged so by the line's record within a few tries (no answer
  // for LineHealth::kSilentAfter), and kGotoTries bounds the rest, so its
  // code still ends the goto.
  MountResult CommandAxis(int axis, double angle) {
    for (int attempt = 1;; ++attempt) {
      const MountResult r =
          m_.SendIf([this] { return Wanted(); }, [&] { return m_.GotoAxisAngle(axis, angle); });
      const LineHealth* line = m_.Line();
      if (r != NoResponse(axis) || attempt >= kGotoTries || line == nullptr ||
          !line->Unanswered(axis)) {
        return r;
      }
      if (!Wanted()) return kUserInterrupt;
      SIDERA_DEBUG_LOG(kMotion, "%s #%u: axis %d did not answer its goto (try %d): sent again",
                       what_, command_, axis, attempt);
    }
  }

  // Where the sky target is now: it turns with the sky from its start tick.
  SkyPoint SkyTargetNow() const {
    SkyPoint p = request_.skyTarget;
    const int32_t elapsed = platform::TicksBetween(request_.startTick, platform::Now());
    p.hourAngle += elapsed / 1000.0 * kSiderealRate;
    return p;
  }

  // After the passes: corrective moves straight onto the target while the
  // distance left is short (goto_finish.h); then ends as arrived. The
  // outcome's error is the distance after the last move.
  MountResult Finish(const char* why, bool within) {
    FinishLead lead;
    for (int move = 0;
         move < kFinishMoves && WorthFinishing(toGo_, m_.GetGotoParameters().tolerance); ++move) {
      AxisPair t{request_.axes.axis0, request_.axes.axis1};
      if (request_.sky) {
        SkyPoint p = SkyTargetNow();
        p.hourAngle += lead.Seconds() * kSiderealRate;
        (void)m_.SkyToAxes(p, t, 1);
      }
      AxisPair c{};
      (void)m_.GetAxisPosition(0, &c.axis0);
      (void)m_.GetAxisPosition(1, &c.axis1);
      const double targets[2] = {t.axis0, t.axis1};
      const double current[2] = {c.axis0, c.axis1};
      const uint32_t sent = platform::Now();
      bool moved = false;
      for (int axis : {1, 0}) {
        const double d = AxisDistance(targets[axis], current[axis]);
        if (d <= kFinishTolerance / 2.0) continue;
        // The short way round, in the axis's own range.
        const double angle = current[axis] + std::remainder(targets[axis] - current[axis], kTwoPi);
        SIDERA_DEBUG_LOG(kMotion, "%s #%u: corrective move of axis %d by %.1f\"", what_, command_,
                         axis, Deg(angle - current[axis]) * 3600.0);
        const MountResult r =
            m_.SendIf([this] { return Wanted(); }, [&] { return m_.GotoAxisAngle(axis, angle); });
        if (r == kUserInterrupt) return GiveWay();
        if (r != kOk) break;  // ends where it is, as arrived
        moved = true;
      }
      if (!moved) break;
      const MountResult waited = WaitForAxesToArrive(kFinishPollTicks);
      if (waited != kOk) return waited;
      if (!Wanted()) return GiveWay();
      lead.Took(static_cast<uint32_t>(std::max(0, platform::TicksBetween(sent, platform::Now()))));
      const double before = toGo_;
      toGo_ = DistanceNow();
      // No closer after a move aimed by the time the last one took: the
      // controller's resolution, or a move it does not make.
      if (move > 0 && toGo_ >= before) break;
    }
    return Arrived(why, within || toGo_ <= m_.GetGotoParameters().tolerance);
  }

  // How far the axes are from where the target is now.
  double DistanceNow() {
    AxisPair t{request_.axes.axis0, request_.axes.axis1};
    if (request_.sky) {
      SkyPoint p = SkyTargetNow();
      (void)m_.SkyToAxes(p, t, 1);
    }
    double c0 = 0.0;
    double c1 = 0.0;
    (void)m_.GetAxisPosition(0, &c0);
    (void)m_.GetAxisPosition(1, &c1);
    return StillToGo(c0, c1, t.axis0, t.axis1);
  }

  // Ends the passes as arrived (the goto's result is 0); `within`: the
  // axes are within the tolerance, else the passes were used up short of it.
  MountResult Arrived(const char* why, bool within) {
    m_.Axes().NoteDirection(0, true);
    m_.Axes().NoteDirection(1, true);
    ending_ = Ending{within ? SIDERA_OUTCOME_ARRIVED : SIDERA_OUTCOME_NOT_ARRIVED, kOk, -1};
    return End(kOk, why);
  }

  // Polls both axes until neither is in its goto, giving way at once to a
  // stop or a newer command, and giving up on an axis that falls silent or
  // stalls.
  MountResult WaitForAxesToArrive(uint32_t pollTicks = kGotoPollTicks) {
    StallWatch stall[2];
    for (;;) {
      const uint64_t seen = m_.CommandGeneration();
      {
        const ReadOutExchanges polls;
        for (int axis = 0; axis < 2; ++axis) {
          // What the goto reads is kept for the host's read-outs.
          (void)m_.ReadKept(axis, LineHealth::kState);
          // The position of an axis in its goto shows whether it moves.
          const bool moving = (m_.Axes().State(axis) & AXIS_GOTO) != 0;
          if (moving) {
            const TelescopeMount::ReadResult position = m_.ReadKept(axis, LineHealth::kPosition);
            if (position.result == kOk) stall[axis].Saw(position.value, platform::Now());
          } else {
            stall[axis] = StallWatch{};
          }
        }
      }
      const bool silent[2] = {m_.AxisSilent(0), m_.AxisSilent(1)};
      if (silent[0] || silent[1]) return GiveUpOnSilentAxes(silent);
      for (int axis = 0; axis < 2; ++axis) {
        if (stall[axis].Stalled(platform::Now())) return GiveUpOnStalledAxis(axis);
      }
      // A failed read leaves the axis's last state, so an axis that does
      // not answer keeps the goto polling until it counts as silent.
      const bool busy = ((m_.Axes().State(0) | m_.Axes().State(1)) & AXIS_GOTO) != 0;
      if (!Wanted()) return GiveWay();
      if (!busy) return kOk;
      m_.SleepUnlessCommanded(seen, pollTicks);
    }
  }

  // Where an axis in its goto last moved, and when.
  struct StallWatch {
    bool seen = false;
    double angle = 0.0;
    uint32_t movedAt = 0;
    void Saw(double now, uint32_t tick) {
      if (!seen || AxisDistance(now, angle) > kStallAngle) {
        seen = true;
        angle = now;
        movedAt = tick;
      }
    }
    bool Stalled(uint32_t tick) const {
      return seen && platform::TicksBetween(movedAt, tick) >= static_cast<int32_t>(kStallTicks);
    }
  };

  // An axis that its controller reports in its goto but that does not move:
  // a jammed or stalled axis, or a controller that is not what the driver
  // speaks to. The goto ends with that axis's no-response code: its
  // controller does not carry out what it was sent (the axis still answers,
  // so it is not marked silent). Both axes are halted.
  MountResult GiveUpOnStalledAxis(int axis) {
    ending_ = Failed(NoResponse(axis));
    const MountResult r =
        End(NoResponse(axis), axis == 0 ? "axis 0 does not move" : "axis 1 does not move");
    HaltBoth();
    return r;
  }

  // Halts what can still be halted; the silent axes stay marked, so that
  // the host's state reads report them.
  MountResult GiveUpOnSilentAxes(const bool silent[2]) {
    ending_ = Failed(NoResponse(silent[0] ? 0 : 1));
    const MountResult r = End(NoResponse(silent[0] ? 0 : 1),
                              silent[0] ? "axis 0 is not answering" : "axis 1 is not answering");
    HaltBoth();
    return r;
  }

  // An arrived sky goto turns into tracking, unless the host has given a
  // newer command meanwhile (a stop, or SetTracking(0)). Checked and started
  // under the command lock, so a command racing with the arrival either
  // comes first and nothing starts, or comes after and ends the tracking.
  MountResult StartTrackingIfLatest() {
    // An axis that fell silent is read with no lock held.
    const MountResult answers = m_.CheckAxesAnswer(kBothAxes);
    if (answers != kOk) return answers;
    const auto lock = m_.LockCommands();
    if (!m_.IsLatestCommand(command_, kBothAxes) || m_.ShuttingDown()) {
      SIDERA_DEBUG_LOG(kMotion, "goto #%u: no tracking, a newer command came first", command_);
      return kUserInterrupt;
    }
    m_.trackingRequested_ = true;
    const MountResult r = m_.StartTrackingOnTarget(request_.skyTarget, request_.startTick);
    SIDERA_DEBUG_LOG(kMotion, "goto #%u: tracking start (%d)", command_, r);
    return r;
  }

  TelescopeMount& m_;
  const uint32_t command_;
  const GotoRequest request_;
  const char* const what_;
  // How the goto ends, and the distance at its last reading of the axes.
  Ending ending_;
  double toGo_ = 0.0;
};

namespace {

// Announces motion `command` on its records before its thread starts, and
// records it as stopped when the thread cannot start (the mount shuts down).
bool Launched(TelescopeMount& m, unsigned axes, bool mount, uint32_t command, int32_t motion,
              const std::function<bool()>& start) {
  m.Outcomes().Started(axes, mount, command);
  if (start()) return true;
  RecordOutcome(m, axes, mount, command, motion,
                Ending{SIDERA_OUTCOME_STOPPED, kUserInterrupt, -1});
  return false;
}

unsigned AxisBit(int axis) { return axis == 0 ? kAxis0 : kAxis1; }

}  // namespace

bool TelescopeMount::LaunchGotoSkyThread(uint32_t command, SkyPoint target, uint32_t startTick) {
  return Launched(*this, kBothAxes, true, command, SIDERA_MOTION_SKY_GOTO, [&] {
    return Workers().Start([=, this] { (void)GotoSkyThread(command, target, startTick); },
                           kGotoPriority);
  });
}

bool TelescopeMount::LaunchGotoAxesThread(uint32_t command, AxisPair target) {
  return Launched(*this, kBothAxes, true, command, SIDERA_MOTION_AXES_GOTO, [&] {
    return Workers().Start([=, this] { (void)GotoAxesThread(command, target); }, kGotoPriority);
  });
}

// A rate move and a tracking start are left running by DestroyMount: they
// count as unsent until their thread ends, so that a shutdown lets them put
// their command on the wire first.
bool TelescopeMount::LaunchMoveAxisThread(uint32_t command, int axis, double rate) {
  CountUnsentStart(1);
  const bool started = Launched(*this, AxisBit(axis), false, command, SIDERA_MOTION_RATE, [&] {
    return Workers().Start(
        [=, this] {
          (void)MoveAxisThread(command, axis, rate);
          CountUnsentStart(-1);
        },
        kNormalPriority);
  });
  if (!started) CountUnsentStart(-1);
  return started;
}

bool TelescopeMount::LaunchTrackingStartThread(uint32_t command) {
  CountUnsentStart(1);
  const bool started = Launched(*this, kAxis0, false, command, SIDERA_MOTION_TRACKING, [&] {
    return Workers().Start(
        [=, this] {
          double rate = 0.0;
          const MountResult r = TrackingStartThread(command, &rate);
          CountUnsentStart(-1);
          // Counted out first: a shutdown need not wait for the following.
          if (r == kOk) FollowTrackingRate(command, rate);
        },
        kNormalPriority);
  });
  if (!started) CountUnsentStart(-1);
  return started;
}

MountResult TelescopeMount::GotoSkyThread(uint32_t command, SkyPoint target, uint32_t startTick) {
  GotoRequest request;
  request.sky = true;
  request.skyTarget = target;
  request.startTick = startTick;
  return GotoRun(*this, command, request).Run();
}

MountResult TelescopeMount::GotoAxesThread(uint32_t command, AxisPair target) {
  GotoRequest request;
  request.axes = target;
  return GotoRun(*this, command, request).Run();
}

MountResult TelescopeMount::MoveAxisThread(uint32_t command, int axis, double rate) {
  const unsigned bit = AxisBit(axis);
  const HandOver handOver =
      TakeAxes(*this, kRateHandOverTicks, axis == 0 ? "move axis 0" : "move axis 1", command,
               [this, axis, command] { return ClaimOn(axis) != ClaimOf(command); });
  if (handOver == HandOver::kReplaced) {
    // Replaced or stopped before this thread ran: the newer motion keeps
    // the axes.
    RecordOutcome(*this, bit, false, command, SIDERA_MOTION_RATE, Interrupted(*this, bit));
    return kUserInterrupt;
  }
  if (handOver == HandOver::kBusy) {
    RecordOutcome(*this, bit, false, command, SIDERA_MOTION_RATE,
                  ShuttingDown() ? Interrupted(*this, bit) : Failed(kAxisBusy));
    return kAxisBusy;
  }
  // The move is wanted while its claim on the axis stands.
  const auto wanted = [this, command, axis] {
    return !ShuttingDown() && ClaimOn(axis) == ClaimOf(command);
  };

  MountResult result = kOk;
  Ending ending;
  if (wanted() && NeedsBacklashTakeUp(*this, axis, rate)) {
    const TakeUpResult takeUp = RunBacklashTakeUp(*this, axis, rate, wanted);
    if (!takeUp.started && takeUp.result != kUserInterrupt) {
      NoteAxisResult(axis, takeUp.result);
      result = takeUp.result;
      ending = Failed(result);
    }
  }

  if (ending.outcome != SIDERA_OUTCOME_NONE) {
    // The take-up failed: nothing more is sent.
  } else if (ClaimOn(axis) == 0 || ShuttingDown()) {
    // Called off by a stop: the axis stays halted.
    result = HaltAxis(axis);
    ending = Interrupted(*this, bit);
    SIDERA_DEBUG_LOG(kMotion, "move axis %d #%u: stopped before its rate, halted (%d)", axis,
                     command, result);
  } else {
    // A newer motion of the axis (kUserInterrupt here) commands it itself.
    result = SendIf(wanted, [&] { return SlewAxisAtRate(axis, rate); });
    NoteAxisResult(axis, result);
    ending = result == kOk              ? Ending{SIDERA_OUTCOME_STARTED, kOk, -1}
             : result == kUserInterrupt ? Interrupted(*this, bit)
                                        : Failed(result);
    SIDERA_DEBUG_LOG(kMotion, "move axis %d #%u: %.6f deg/s (%d)", axis, command, Deg(rate),
                     result);
  }
  RecordOutcome(*this, bit, false, command, SIDERA_MOTION_RATE, ending);
  HandBackAxes();
  return result;
}

MountResult TelescopeMount::TrackingStartThread(uint32_t command, double* rateSent) {
  // Tracking does not ask a running motion to give way; it waits its turn.
  if (!TakeFreeAxes(*this, kRateHandOverTicks)) {
    SIDERA_DEBUG_LOG(kMotion, "tracking start #%u: the axes did not come free (102)", command);
    RecordOutcome(
        *this, kAxis0, false, command, SIDERA_MOTION_TRACKING,
        ShuttingDown() ? Ending{SIDERA_OUTCOME_STOPPED, kUserInterrupt, -1} : Failed(kAxisBusy));
    return kAxisBusy;
  }
  SIDERA_DEBUG_LOG(kMotion, "tracking start #%u takes the axes", command);
  // Wanted until a newer command for the axis it turns: a stop of it,
  // SetTracking(0), another start or a motion of the axis.
  const auto wanted = [this, command] {
    return !ShuttingDown() && IsLatestCommand(command, kAxis0) && ClaimOn(0) == 0;
  };
  // Called off: by a motion that claims the axis (replaced), else by a
  // stop, SetTracking(0), another start or the shutdown; or the axis fell
  // silent.
  const auto calledOff = [this] {
    if (AxisSilent(0)) return Failed(kNoResponseAxis0);
    const bool claimed = !ShuttingDown() && ClaimOn(0) != 0;
    return Ending{claimed ? SIDERA_OUTCOME_REPLACED : SIDERA_OUTCOME_STOPPED, kUserInterrupt, -1};
  };
  MountResult result = kOk;
  Ending ending;

  const double rate = Rates().TrackingRate();
  if (rateSent != nullptr) *rateSent = rate;
  if (wanted() && NeedsBacklashTakeUp(*this, 0, rate)) {
    const TakeUpResult takeUp = RunBacklashTakeUp(*this, 0, rate, wanted);
    if (!takeUp.started && takeUp.result != kUserInterrupt) {
      NoteAxisResult(0, takeUp.result);
      ending = Failed(takeUp.result);
    }
    result = takeUp.result;
  }

  if (ending.outcome != SIDERA_OUTCOME_NONE) {
    // The take-up failed: nothing more is sent.
  } else if (wanted()) {
    SkyPoint reference{};
    result = GetSkyPosition(&reference);
    if (result == kOk) {
      result = SendIf(wanted, [&] {
        TrackingReference().Store(reference, platform::Now());
        const MountResult r = SlewAxisAtRate(0, rate);
        // Under the command lock: a stop whose number came first has made
        // the start unwanted, and one that comes after clears the state
        // itself, so a stopped start never shows as tracking.
        const auto lock = LockCommands();
        if (r == kOk && wanted()) published_.SetMountState(MOUNT_TRACKING);
        return r;
      });
      NoteAxisResult(0, result);
    }
    ending = result == kOk              ? Ending{SIDERA_OUTCOME_STARTED, kOk, -1}
             : result == kUserInterrupt ? calledOff()
                                        : Failed(result);
    SIDERA_DEBUG_LOG(kMotion, "tracking start #%u: axis 0 at %.6f deg/s (%d)", command, Deg(rate),
                     result);
  } else {
    result = kUserInterrupt;
    ending = calledOff();
    SIDERA_DEBUG_LOG(kMotion, "tracking start #%u called off by a newer command", command);
  }
  RecordOutcome(*this, kAxis0, false, command, SIDERA_MOTION_TRACKING, ending);
  HandBackAxes();
  return result;
}

}  // namespace sidera
