// The motion threads: sky goto, axis goto, constant-rate move and the start
// of equatorial tracking, with the hand-over by which a new motion takes the
// axes from a running one.
//
// Hand-over. idleEvent (manual reset) is signalled while no motion thread
// owns the axes. A new motion raises stopRequested, waits for idleEvent,
// lowers stopRequested and resets the event: from then on it owns the axes
// until it sets the event again on its way out. A running goto polls its
// claims on the axes (released by StopAxis, taken over by a newer command)
// and stopRequested every 200 ms and gives way by halting both axes. Every
// motion command a thread sends goes through SendIf, so none goes out once
// the host has stopped or replaced the motion. Once shuttingDown is set no
// thread takes the axes any more, and every loop ends at its next check.
#include <cmath>
#include <cstdint>

#include "sidera/core/angles.h"
#include "sidera/core/backlash_take_up.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/platform/clock.h"

namespace sidera {

namespace {

constexpr uint32_t kGotoHandOverTicks = 2000;
constexpr uint32_t kRateHandOverTicks = 5000;
constexpr uint32_t kGotoPollTicks = 200;
constexpr int kGotoPasses = 6;
// A goto reports a failed command as no reply from axis 0, whichever axis
// it was.
constexpr MountResult kGotoAxisFailed = kNoResponseAxis0;
// A goto ends when an axis has not answered its state reads for this long
// (ticks), over at least this many reads in a row: a dead controller would
// otherwise keep it polling for ever.
constexpr uint32_t kSilentAxisTicks = 2000;
constexpr int kSilentAxisReads = 2;

constexpr int kGotoPriority = 2;
constexpr int kNormalPriority = 3;

// Waits up to `timeout` ticks for the axes to become free. False when they
// did not, or when the mount is shutting down (then the event may have been
// set only to wake this waiter, and the axes must not be taken).
bool WaitForAxes(TelescopeMount& m, uint32_t timeout) {
  if (m.shuttingDown != 0) return false;
  const bool idle = m.idleEvent.Wait(timeout);
  return idle && m.shuttingDown == 0;
}

// The full hand-over of a goto or rate move: ask a running goto to give way,
// wait for the axes, and take them. False (the caller ends with 102 and
// touches nothing else) when they did not come free.
bool TakeAxes(TelescopeMount& m, uint32_t timeout) {
  m.stopRequested = 1;
  const bool free = WaitForAxes(m, timeout);
  m.stopRequested = 0;
  if (!free) return false;
  m.idleEvent.Reset();
  return true;
}

// The angle actually commanded for one axis of a goto pass, given the
// target t and the current angle c.
double CommandedAngle(const TelescopeMount& m, int axis, double t, double c) {
  const double d = t - c;
  if (axis == 1 && m.isEquatorial != 0 && m.equatorialGotoRefinement != 0 && std::fabs(d) > kPi) {
    // The declination axis never turns more than just under a half turn at
    // once, and always the way the difference points.
    const double oneDegree = DegToRad(1.0);
    return d > kPi ? (c + kPi) - oneDegree : (c - kPi) + oneDegree;
  }
  if (d >= 0.0) {
    // A long positive move stops short; a later pass makes the last short
    // move.
    const double g = m.approachDistance;
    return d > 1.2 * g ? t - g : t;
  }
  // A negative move overshoots, so that the final approach is positive.
  return t - m.approachOffset;
}

// Failed state reads of one axis in a row, and when the first of them came.
class SilenceWatch {
 public:
  // Records one read; true once the axis counts as not answering.
  bool Record(bool answered) {
    if (answered) {
      failures_ = 0;
      return false;
    }
    if (failures_++ == 0) since_ = platform::Now();
    return failures_ >= kSilentAxisReads && TicksElapsed(since_, kSilentAxisTicks);
  }

 private:
  int failures_ = 0;
  uint32_t since_ = 0;
};

// What a goto drives to: a sky position given at `startTick` that turns
// with the sky, or fixed axis angles.
struct GotoRequest {
  bool sky = false;
  SkyPoint skyTarget{};
  uint32_t startTick = 0;
  AxisPair axes{};
};

class GotoRun {
 public:
  GotoRun(TelescopeMount& m, uint32_t command, const GotoRequest& request)
      : m_(m), command_(command), request_(request) {}

  MountResult Run() {
    if (!TakeAxes(m_, kGotoHandOverTicks)) return kAxisBusy;
    MountResult result = m_.MotionPollHook();
    // Replaced or stopped while it waited for the axes: nothing to do.
    if (result == kOk && !Wanted()) result = kUserInterrupt;
    if (result == kOk) result = Passes();

    // Exit. The state words are written before the axes are released, so
    // that a newer motion taking over is never overwritten by this one. The
    // claims of a newer command stay.
    m_.gotoActive = 0;
    m_.mountState = MOUNT_STOPPED;
    m_.ReleaseClaims(command_);
    m_.idleEvent.Set();
    if (request_.sky && result == kOk) result = StartTrackingIfLatest();
    return result;
  }

 private:
  // The goto still owns its claims: no stop, no newer motion, no shutdown.
  bool Wanted() const {
    const int32_t own = TelescopeMount::ClaimOf(command_);
    return m_.stopRequested == 0 && m_.shuttingDown == 0 && m_.axisMoving[0] == own &&
           m_.axisMoving[1] == own;
  }

  void HaltBoth() {
    (void)m_.HaltAxis(0);
    (void)m_.HaltAxis(1);
  }

  // Gives way to a stop or a newer command.
  MountResult GiveWay() {
    HaltBoth();
    return kUserInterrupt;
  }

  MountResult Passes() {
    double t0 = request_.axes.axis0;
    double t1 = request_.axes.axis1;
    for (int passesLeft = kGotoPasses; passesLeft > 0; --passesLeft) {
      m_.gotoActive = 1;
      SkyPoint p{};
      if (request_.sky) {
        m_.trackingRequested = 0;
        p = request_.skyTarget;
        const uint32_t elapsed = platform::Now() - request_.startTick;
        p.hourAngle += elapsed / 1000.0 * kSiderealRate;
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

      if (std::fabs(AngularSeparationOf(c0, c1, t0, t1)) <= m_.gotoTolerance) break;

      if (request_.sky) {
        // Aim where the target will be once the axes get there.
        p.hourAngle += m_.gotoLeadTime * kSiderealRate;
        AxisPair lead{};
        (void)m_.SkyToAxes(p, lead, 1);
        t0 = lead.axis0;
        t1 = lead.axis1;
      }
      const double tolerance = m_.gotoTolerance;
      // Axis 1 first.
      const double targets[2] = {t0, t1};
      const double current[2] = {c0, c1};
      for (int axis : {1, 0}) {
        if (std::fabs(targets[axis] - current[axis]) <= tolerance) continue;
        const double angle = CommandedAngle(m_, axis, targets[axis], current[axis]);
        const MountResult r =
            m_.SendIf([this] { return Wanted(); }, [&] { return m_.GotoAxisAngle(axis, angle); });
        if (r == kUserInterrupt) return GiveWay();
        if (r != kOk) {
          m_.NoteAxisResult(axis, NoResponse(axis));
          return kGotoAxisFailed;
        }
      }

      const MountResult waited = WaitForAxesToArrive();
      if (waited != kOk) return waited;
      if (!Wanted()) return GiveWay();
    }
    // Arrived, or close enough after the last pass.
    m_.axisLastDirectionPositive[0] = 1;
    m_.axisLastDirectionPositive[1] = 1;
    return kOk;
  }

  // Polls both axes until neither is in its goto, giving way at once to a
  // stop or a newer command, and giving up on an axis that stays silent.
  MountResult WaitForAxesToArrive() {
    SilenceWatch watch[2];
    for (;;) {
      bool silent[2];
      for (int axis = 0; axis < 2; ++axis) {
        silent[axis] = watch[axis].Record(m_.ReadAxisState(axis) == kOk);
      }
      if (silent[0] || silent[1]) return GiveUpOnSilentAxes(silent);
      // A failed read leaves the axis's last state, so a silent axis keeps
      // the goto polling until the watch gives up on it.
      const bool busy = ((m_.axisState[0] | m_.axisState[1]) & AXIS_GOTO) != 0;
      if (busy) platform::Sleep(kGotoPollTicks);
      if (!Wanted()) return GiveWay();
      if (!busy) return kOk;
    }
  }

  // Halts what can still be halted and leaves the silent axes marked, so
  // that the host's state reads report them.
  MountResult GiveUpOnSilentAxes(const bool silent[2]) {
    for (int axis = 0; axis < 2; ++axis) {
      if (silent[axis]) m_.axisNotResponding[axis] = 1;
    }
    for (int axis = 0; axis < 2; ++axis) m_.NoteAxisResult(axis, m_.HaltAxis(axis));
    return NoResponse(silent[0] ? 0 : 1);
  }

  // An arrived sky goto turns into tracking, unless the host has given a
  // newer command meanwhile (a stop, or SetTracking(0)). Checked and started
  // under the command lock, so a command racing with the arrival either
  // comes first and nothing starts, or comes after and ends the tracking.
  MountResult StartTrackingIfLatest() {
    std::lock_guard<std::recursive_mutex> lock(m_.commandMutex);
    if (!m_.IsLatestCommand(command_, kBothAxes) || m_.shuttingDown != 0) return kUserInterrupt;
    m_.trackingRequested = 1;
    return m_.StartTracking();
  }

  TelescopeMount& m_;
  const uint32_t command_;
  const GotoRequest request_;
};

}  // namespace

bool TelescopeMount::LaunchGotoSkyThread(uint32_t command, SkyPoint target, uint32_t startTick) {
  return workers.Start([=, this] { (void)GotoSkyThread(command, target, startTick); },
                       kGotoPriority);
}

bool TelescopeMount::LaunchGotoAxesThread(uint32_t command, AxisPair target) {
  return workers.Start([=, this] { (void)GotoAxesThread(command, target); }, kGotoPriority);
}

bool TelescopeMount::LaunchMoveAxisThread(uint32_t command, int axis, double rate) {
  return workers.Start([=, this] { (void)MoveAxisThread(command, axis, rate); }, kNormalPriority);
}

bool TelescopeMount::LaunchTrackingStartThread(uint32_t command) {
  return workers.Start([=, this] { (void)TrackingStartThread(command); }, kNormalPriority);
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
  if (!TakeAxes(*this, kRateHandOverTicks)) return kAxisBusy;
  // The move is wanted while its claim on the axis stands.
  const auto wanted = [this, command, axis] {
    return shuttingDown == 0 && axisMoving[axis] == ClaimOf(command);
  };

  if (wanted() && NeedsBacklashTakeUp(*this, axis, rate)) {
    const TakeUpResult takeUp = RunBacklashTakeUp(*this, axis, rate, wanted);
    if (!takeUp.started && takeUp.result != kUserInterrupt) {
      NoteAxisResult(axis, takeUp.result);
      idleEvent.Set();
      return takeUp.result;
    }
  }

  MountResult result;
  if (axisMoving[axis] == 0 || shuttingDown != 0) {
    // Called off by a stop: the axis stays halted.
    result = HaltAxis(axis);
  } else {
    // A newer motion of the axis (kUserInterrupt here) commands it itself.
    result = SendIf(wanted, [&] { return SlewAxisAtRate(axis, rate); });
    NoteAxisResult(axis, result);
  }
  idleEvent.Set();
  return result;
}

MountResult TelescopeMount::TrackingStartThread(uint32_t command) {
  // Tracking does not ask a running motion to give way; it waits its turn.
  if (!WaitForAxes(*this, kRateHandOverTicks)) return kAxisBusy;
  idleEvent.Reset();
  // Wanted until a newer command for the axis it turns: a stop of it,
  // SetTracking(0), another start or a motion of the axis.
  const auto wanted = [this, command] {
    return shuttingDown == 0 && IsLatestCommand(command, kAxis0) && axisMoving[0] == 0;
  };
  MountResult result = kOk;

  const double rate = trackingRate;
  if (wanted() && NeedsBacklashTakeUp(*this, 0, rate)) {
    const TakeUpResult takeUp = RunBacklashTakeUp(*this, 0, rate, wanted);
    if (!takeUp.started && takeUp.result != kUserInterrupt) {
      NoteAxisResult(0, takeUp.result);
      idleEvent.Set();
      return takeUp.result;
    }
    result = takeUp.result;
  }

  if (wanted()) {
    SkyPoint reference{};
    result = GetSkyPosition(&reference);
    if (result == kOk) {
      result = SendIf(wanted, [&] {
        trackingReference.Store(reference, platform::Now());
        const MountResult r = SlewAxisAtRate(0, rate);
        if (r == kOk) mountState = MOUNT_TRACKING;
        return r;
      });
      NoteAxisResult(0, result);
    }
  } else {
    result = kUserInterrupt;
  }
  idleEvent.Set();
  return result;
}

}  // namespace sidera
