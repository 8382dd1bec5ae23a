// The motion threads: sky goto, axis goto, constant-rate move and the start
// of equatorial tracking, with the hand-over by which a new motion takes the
// axes from a running one.
//
// Hand-over. idleEvent (manual reset) is signalled while no motion thread
// owns the axes. A new motion raises stopRequested, waits for idleEvent,
// lowers stopRequested and resets the event: from then on it owns the axes
// until it sets the event again on its way out. A running goto polls
// stopRequested (and axisMoving, cleared by StopAxis) every 200 ms and gives
// way by halting both axes. Once shuttingDown is set no thread takes the
// axes any more, and every loop ends at its next check.
#include <cmath>
#include <cstdint>

#include "sidera/core/angles.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/platform/clock.h"

namespace sidera {

namespace {

constexpr uint32_t kGotoHandOverTicks = 2000;
constexpr uint32_t kRateHandOverTicks = 5000;
constexpr uint32_t kGotoPollTicks = 200;
// The backlash take-up waits by sleeping this long between checks.
constexpr uint32_t kTakeUpCheckTicks = 5;
// Take-ups this short or shorter are not worth doing.
constexpr uint32_t kMinTakeUpTicks = 20;
constexpr int kGotoPasses = 6;
// A goto reports a failed command or state read as no reply from axis 0,
// whichever axis it was.
constexpr MountResult kGotoAxisFailed = kNoResponseAxis0;

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

// True once `duration` ticks have passed since `start`. Unsigned
// subtraction, so a wrap of the tick counter neither ends nor extends the
// wait.
bool Elapsed(uint32_t start, uint32_t duration) {
  return static_cast<uint32_t>(platform::Now() - start) >= duration;
}

// Whether a move at `rate` on `axis` must first take up the gear backlash:
// compensation on, slower than the take-up rate, a take-up long enough to
// matter, and a reversal of the axis's last direction.
bool NeedsTakeUp(const TelescopeMount& m, int axis, double rate) {
  if (m.backlashCompensation == 0) return false;
  if (!(std::fabs(rate) < m.rateScale)) return false;
  if (m.backlashTakeUpTime[axis] <= kMinTakeUpTicks) return false;
  const bool lastPositive = m.axisLastDirectionPositive[axis] != 0;
  return (lastPositive && rate < 0.0) || (!lastPositive && rate >= 0.0);
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

bool StopWanted(const TelescopeMount& m) { return m.stopRequested != 0 || m.shuttingDown != 0; }

// The goto passes, shared by the sky and the axis goto. For a sky goto the
// target is recomputed each pass from gotoTarget and the time since it was
// given; for an axis goto it is axisTarget, taken once.
MountResult RunGoto(TelescopeMount& m, bool sky) {
  if (!TakeAxes(m, kGotoHandOverTicks)) return kAxisBusy;

  MountResult result = m.MotionPollHook();
  if (result == kOk) {
    double t0 = m.axisTarget[0];
    double t1 = m.axisTarget[1];
    const auto haltBoth = [&m] {
      (void)m.HaltAxis(0);
      (void)m.HaltAxis(1);
    };
    bool done = false;
    for (int passesLeft = kGotoPasses; !done;) {
      m.gotoActive = 1;
      SkyPoint p{};
      if (sky) {
        m.trackingRequested = 0;
        p = m.gotoTarget.Load();
        const uint32_t elapsed = platform::Now() - m.gotoStartTick;
        p.hourAngle += elapsed / 1000.0 * kSiderealRate;
        AxisPair target{};
        (void)m.SkyToAxes(p, target, 1);
        t0 = target.axis0;
        t1 = target.axis1;
      }
      double c0 = 0.0;
      double c1 = 0.0;
      // A failed read leaves the last known angle, which serves as well.
      (void)m.GetAxisPosition(0, &c0);
      (void)m.GetAxisPosition(1, &c1);

      if (std::fabs(AngularSeparationOf(c0, c1, t0, t1)) <= m.gotoTolerance) break;

      if (sky) {
        // Aim where the target will be once the axes get there.
        p.hourAngle += m.gotoLeadTime * kSiderealRate;
        AxisPair lead{};
        (void)m.SkyToAxes(p, lead, 1);
        t0 = lead.axis0;
        t1 = lead.axis1;
      }
      const double tolerance = m.gotoTolerance;
      if (std::fabs(t1 - c1) > tolerance) {
        if (m.GotoAxisAngle(1, CommandedAngle(m, 1, t1, c1)) != kOk) {
          result = kGotoAxisFailed;
          break;
        }
      }
      if (std::fabs(t0 - c0) > tolerance) {
        if (m.GotoAxisAngle(0, CommandedAngle(m, 0, t0, c0)) != kOk) {
          result = kGotoAxisFailed;
          break;
        }
      }

      // Poll until neither axis is in its goto, giving way at once to a stop
      // or a newer command.
      for (;;) {
        uint32_t s0 = 0;
        uint32_t s1 = 0;
        if (m.GetAxisState(0, &s0) != kOk || m.GetAxisState(1, &s1) != kOk) {
          result = kGotoAxisFailed;
          break;
        }
        const bool busy = ((s0 | s1) & AXIS_GOTO) != 0;
        if (busy) platform::Sleep(kGotoPollTicks);
        if (m.axisMoving[0] == 0 || m.axisMoving[1] == 0 || StopWanted(m)) {
          haltBoth();
          result = kUserInterrupt;
          break;
        }
        if (!busy) break;
      }
      if (result != kOk) break;

      --passesLeft;
      if (StopWanted(m)) {
        haltBoth();
        result = kUserInterrupt;
        break;
      }
      done = passesLeft == 0;
    }
    if (result == kOk) {
      // Arrived, or close enough after the last pass.
      m.axisLastDirectionPositive[0] = 1;
      m.axisLastDirectionPositive[1] = 1;
    }
  }

  // Exit. The state words are written before the axes are released, so that
  // a newer motion taking over is never overwritten by this one. When a
  // newer command is waiting, its axisMoving flags stay.
  m.gotoActive = 0;
  m.mountState = MOUNT_STOPPED;
  if (m.stopRequested == 0) {
    m.axisMoving[0] = 0;
    m.axisMoving[1] = 0;
  }
  m.idleEvent.Set();
  if (sky && result == kOk) {
    m.trackingRequested = 1;
    result = m.StartTracking();
  }
  return result;
}

}  // namespace

bool TelescopeMount::LaunchGotoSkyThread() {
  return workers.Start([this] { (void)GotoSkyThread(); }, kGotoPriority);
}

bool TelescopeMount::LaunchGotoAxesThread() {
  return workers.Start([this] { (void)GotoAxesThread(); }, kGotoPriority);
}

bool TelescopeMount::LaunchMoveAxisThread(int axis) {
  return workers.Start([this, axis] { (void)MoveAxisThread(axis); }, kNormalPriority);
}

bool TelescopeMount::LaunchTrackingStartThread() {
  return workers.Start([this] { (void)TrackingStartThread(); }, kNormalPriority);
}

MountResult TelescopeMount::GotoSkyThread() { return RunGoto(*this, true); }

MountResult TelescopeMount::GotoAxesThread() { return RunGoto(*this, false); }

MountResult TelescopeMount::MoveAxisThread(int axis) {
  if (!TakeAxes(*this, kRateHandOverTicks)) return kAxisBusy;

  const double rate = axisRate[axis];
  if (NeedsTakeUp(*this, axis, rate)) {
    const double scale = rateScale;
    const MountResult r = SlewAxisAtRate(axis, rate > 0.0 ? scale : -scale);
    if (r != kOk) {
      idleEvent.Set();
      return r;
    }
    // Run across the backlash, unless the move is called off meanwhile.
    const uint32_t start = platform::Now();
    const uint32_t duration = backlashTakeUpTime[axis];
    while (!Elapsed(start, duration) && axisMoving[axis] != 0 && shuttingDown == 0) {
      platform::Sleep(kTakeUpCheckTicks);
    }
    (void)HaltAxis(axis);
  }

  MountResult result;
  if (axisMoving[axis] == 0 || shuttingDown != 0) {
    result = HaltAxis(axis);
  } else {
    result = SlewAxisAtRate(axis, rate);
  }
  idleEvent.Set();
  return result;
}

MountResult TelescopeMount::TrackingStartThread() {
  // Tracking does not ask a running motion to give way; it waits its turn.
  if (!WaitForAxes(*this, kRateHandOverTicks)) return kAxisBusy;
  idleEvent.Reset();
  MountResult result = kOk;

  const double rate = trackingRate;
  if (NeedsTakeUp(*this, 0, rate)) {
    const double scale = rateScale;
    const MountResult r = SlewAxisAtRate(0, rate > 0.0 ? scale : -scale);
    if (r != kOk) {
      idleEvent.Set();
      return r;
    }
    // A new motion request (axisMoving raised) cuts the take-up short.
    const uint32_t start = platform::Now();
    const uint32_t duration = backlashTakeUpTime[0];
    while (!Elapsed(start, duration) && axisMoving[0] == 0 && shuttingDown == 0) {
      platform::Sleep(kTakeUpCheckTicks);
    }
    result = HaltAxis(0);
  }

  if (axisMoving[0] == 0 && shuttingDown == 0) {
    SkyPoint reference{};
    result = GetSkyPosition(&reference);
    if (result == kOk) {
      trackingReference.Store(reference);
      trackingReferenceTick = platform::Now();
      result = SlewAxisAtRate(0, rate);
      if (result == kOk) mountState.fetch_or(MOUNT_TRACKING);
    }
  }
  idleEvent.Set();
  return result;
}

}  // namespace sidera
