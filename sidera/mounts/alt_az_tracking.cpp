// Software tracking of the alt-azimuth kind.
//
// A short-lived starter captures the sky position the mount points at and
// makes sure one long-lived loop runs; the loop recomputes both axis rates
// every 10 s (30 s once aligned) or when woken, and ends when tracking is no
// longer wanted (RequestTrackingStop), a goto or hand move claims an axis,
// or the mount shuts down. Neither takes idleEvent: the motion operations of
// this kind stop the loop before they start a motion, and every command the
// loop sends goes through SendIf, so none goes out after a stop even when
// the loop was held up longer than the stopper waited.
#include <cmath>
#include <mutex>

#include "sidera/core/angles.h"
#include "sidera/core/backlash_take_up.h"
#include "sidera/mounts/alt_az_mount.h"
#include "sidera/platform/clock.h"
#include "sidera/platform/debug_log.h"

namespace sidera {

namespace {

// Tick waits of the loop between two rate updates.
constexpr uint32_t kUnalignedPeriod = 10000;
constexpr uint32_t kAlignedPeriod = 30000;
// How far ahead (ms) the aligned loop predicts the track.
constexpr uint32_t kLookAhead = 30000;
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
  const double elapsed = static_cast<double>(now - referenceTick) + ahead;
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
                                          const AxisPair& current) {
  const double toRate = 1000.0 / kLookAhead;
  const double nominal0 = FoldAzimuthWrap(ahead.axis0 - onTrack.axis0) * toRate;
  const double catchUp0 = FoldAzimuthWrap(ahead.axis0 - current.axis0) * toRate;
  const double nominal1 = (ahead.axis1 - onTrack.axis1) * toRate;
  const double catchUp1 = (ahead.axis1 - current.axis1) * toRate;
  return AxisPair{ChooseRate(nominal0, catchUp0), ChooseRate(nominal1, catchUp1)};
}

bool AltAzMount::TrackingActive() const {
  return trackingThread != 0 || !trackingStoppedEvent.IsSet();
}

void AltAzMount::StopTrackingThread() {
  RequestTrackingStop();
  AwaitTrackingStopped();
}

void AltAzMount::RequestTrackingStop() {
  {
    std::lock_guard<std::recursive_mutex> lock(commandMutex);
    // A start still on its way gives up; the loop sends nothing more.
    const uint32_t command = BeginCommand(kBothAxes);
    SIDERA_DEBUG_LOG(kMotion, "tracking loop asked to stop (#%u)", command);
    trackingWanted = 0;
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
MountResult AltAzMount::StartTracking() {
  const MountResult answers = CheckAxesAnswer(kBothAxes);
  if (answers != kOk) return answers;
  std::lock_guard<std::recursive_mutex> lock(commandMutex);
  if (axisMoving[0] != 0 || axisMoving[1] != 0) return kAxisBusy;
  const uint32_t command = BeginCommand(kBothAxes);
  trackingStoppedEvent.Reset();
  if (!workers.Start([this, command] { (void)RunTrackingStarter(command); }, 1)) {
    // Nothing will start a loop: put the stopped state back unless one runs.
    if (trackingThread == 0) trackingStoppedEvent.Set();
  }
  return kOk;
}

MountResult AltAzMount::RunTrackingStarter(uint32_t command) {
  SkyPoint reference{};
  const bool captured = GetSkyPosition(&reference) == kOk;
  bool wake = false;
  {
    std::lock_guard<std::recursive_mutex> lock(commandMutex);
    // Given up when any command came after this start (a stop, a motion,
    // another start), or a motion holds an axis.
    const bool cancelled = !IsLatestCommand(command, kBothAxes) || shuttingDown != 0 ||
                           axisMoving[0] != 0 || axisMoving[1] != 0;
    if (captured && !cancelled) {
      trackingReference.Store(reference, platform::Now());
      // A loop that was told to stop but has not ended yet carries on.
      trackingWanted = 1;
      SIDERA_DEBUG_LOG(kMotion, "tracking start #%u: %s at %.4f %.4f", command,
                       trackingThread == 0 ? "the loop starts" : "the loop follows",
                       reference.hourAngle * 180.0 / kPi, reference.declination * 180.0 / kPi);
      if (trackingThread == 0) {
        mountState = MOUNT_TRACKING;
        trackingThread = 1;
        trackingStoppedEvent.Reset();
        if (!workers.Start([this] { (void)TrackingLoopThread(); }, 3)) {
          trackingWanted = 0;
          ClearTrackingState();
          trackingThread = 0;
        }
      } else {
        mountState = MOUNT_TRACKING;
      }
      wake = true;
    } else if (captured) {
      SIDERA_DEBUG_LOG(kMotion, "tracking start #%u called off by a newer command", command);
    }
    // No loop to report its end: the stopped state holds again, so that a
    // later stop does not wait for a loop that does not exist.
    if (trackingThread == 0) trackingStoppedEvent.Set();
  }
  if (!captured) return kNoResponseAxis0;
  if (wake) trackingWakeEvent.Set();  // a running loop picks up the new reference
  return kOk;
}

bool AltAzMount::LoopWanted() const {
  return trackingWanted != 0 && shuttingDown == 0 && axisMoving[0] == 0 && axisMoving[1] == 0;
}

void AltAzMount::HaltUnclaimed(int axis) {
  (void)SendIf([this, axis] { return axisMoving[axis] == 0; },
               [this, axis] { return HaltAxis(axis); });
}

bool AltAzMount::EndTrackingLoop(MountResult result, bool evenIfWanted) {
  bool takeUp[2] = {false, false};
  {
    std::lock_guard<std::recursive_mutex> lock(commandMutex);
    // A start that came after the stop keeps this loop going.
    if (!evenIfWanted && LoopWanted()) return false;
    for (int axis = 0; axis < 2; ++axis) {
      takeUp[axis] = takeUpRunning_[axis];
      takeUpRunning_[axis] = false;
    }
    trackingWanted = 0;
    ClearTrackingState();
    trackingThread = 0;
    trackingStoppedEvent.Set();
  }
  SIDERA_DEBUG_LOG(kMotion, "tracking loop ends (%d)", result);
  // Axes left at the take-up rate are halted, with no lock held, unless a
  // goto or hand move claims them (it commands them itself) or tracking was
  // started again (its loop does).
  for (int axis = 0; axis < 2; ++axis) {
    if (!takeUp[axis]) continue;
    (void)SendIf([this, axis] { return axisMoving[axis] == 0 && trackingWanted == 0; },
                 [this, axis] { return HaltAxis(axis); });
  }
  return true;
}

MountResult AltAzMount::TrackingLoopThread() {
  // Axes that have had a backlash take-up; once marked, an axis is halted
  // and restarted in every later cycle as well.
  bool marked[2] = {false, false};
  uint32_t deadline[2] = {0, 0};
  const auto wanted = [this] { return LoopWanted(); };

  for (;;) {
    (void)trackingWakeEvent.Wait(isAligned != 0 ? kAlignedPeriod : kUnalignedPeriod);
    if (!LoopWanted() && EndTrackingLoop(kOk, false)) return kOk;

    AxisPair rate{};
    if (isAligned == 0) {
      AxisPair position{};
      if (GetAxisPosition(0, &position.axis0) != kOk ||
          GetAxisPosition(1, &position.axis1) != kOk) {
        continue;
      }
      rate = UnalignedTrackingRates(latitude, position);
    } else {
      bool haveRates = false;
      for (int recaptures = 0;; ++recaptures) {
        const uint32_t now = platform::Now();
        const SkyReference::Value reference = trackingReference.Load();
        SkyPoint p = Advance(reference.point, reference.tick, now, 0);
        AxisPair onTrack{};
        (void)SkyToAxes(p, onTrack, 1);
        AxisPair current{};
        if (GetAxisPosition(0, &current.axis0) != kOk ||
            GetAxisPosition(1, &current.axis1) != kOk) {
          break;
        }
        // Azimuth readings and the model may differ by whole turns; only the
        // remainder says whether the mount was moved.
        if (std::fabs(NormalizeAngle(current.axis0 - onTrack.axis0)) > kRecaptureThreshold ||
            std::fabs(current.axis1 - onTrack.axis1) > kRecaptureThreshold) {
          if (recaptures >= kMaxRecapturesPerCycle) break;
          SkyPoint here{};
          if (GetSkyPosition(&here) != kOk) {
            (void)EndTrackingLoop(kOk, true);
            return kOk;
          }
          trackingReference.Store(here, platform::Now());
          continue;
        }
        SkyPoint q = Advance(reference.point, reference.tick, now, kLookAhead);
        AxisPair ahead{};
        (void)SkyToAxes(q, ahead, 1);
        rate = AlignedTrackingRates(onTrack, ahead, current);
        haveRates = true;
        break;
      }
      if (!haveRates) continue;
    }
    const double rates[2] = {rate.axis0, rate.axis1};
    SIDERA_DEBUG_LOG(kMotion, "tracking loop: rates %.6f %.6f deg/s", rate.axis0 * 180.0 / kPi,
                     rate.axis1 * 180.0 / kPi);

    // Backlash take-up: an axis about to reverse first crosses its gear
    // backlash at the take-up rate.
    bool takeUpThisCycle[2] = {false, false};
    for (int i = 0; i < 2; ++i) {
      if (!NeedsBacklashTakeUp(*this, i, rates[i])) continue;
      const double takeUpRate = BacklashTakeUpRate(*this, rates[i]);
      const MountResult r = SendIf(wanted, [&] {
        const MountResult sent = SlewAxisAtRate(i, takeUpRate);
        if (sent == kOk) takeUpRunning_[i] = true;
        return sent;
      });
      if (r == kUserInterrupt && EndTrackingLoop(kOk, false)) return kOk;
      if (r != kOk && r != kUserInterrupt) {
        NoteAxisResult(i, r);
        (void)EndTrackingLoop(r, true);
        return r;
      }
      if (r != kOk) continue;  // held back, but tracking was started again
      deadline[i] = platform::Now() + backlashTakeUpTime[i];
      marked[i] = true;
      takeUpThisCycle[i] = true;
    }

    if (marked[0] || marked[1]) {
      bool restarted[2] = {!marked[0], !marked[1]};
      int attempts[2] = {0, 0};
      for (;;) {
        const uint32_t t = platform::Now();
        for (int i = 0; i < 2; ++i) {
          if (restarted[i]) continue;
          // A marker from an earlier cycle has long expired; the signed
          // difference handles a wrap of the tick counter.
          const bool due = !takeUpThisCycle[i] || static_cast<int32_t>(t - deadline[i]) >= 0;
          if (!due) continue;
          const MountResult r = SendIf(wanted, [&] {
            (void)HaltAxis(i);
            takeUpRunning_[i] = false;
            return SlewAxisAtRate(i, rates[i]);
          });
          if (r == kUserInterrupt) {
            if (EndTrackingLoop(kOk, false)) return kOk;
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
            return r;
          }
        }
        if (restarted[0] && restarted[1]) break;
        // A stop while a take-up runs: the exit halts the take-up axes.
        if (!LoopWanted() && EndTrackingLoop(kOk, false)) return kOk;
        platform::Sleep(kTakeUpPoll);
      }
      // The take-up moved the axes off the track: follow from here.
      SkyPoint here{};
      if (GetSkyPosition(&here) == kOk) {  // a failure keeps the old reference
        trackingReference.Store(here, platform::Now());
      }
    }

    const MountResult r = SendIf(wanted, [&] {
      const MountResult first = SlewAxisAtRate(0, rates[0]);
      if (first != kOk) return first;
      return SlewAxisAtRate(1, rates[1]);  // a failure waits for the next cycle
    });
    if (r == kUserInterrupt && EndTrackingLoop(kOk, false)) return kOk;
  }
}

}  // namespace sidera
