// Software tracking of the alt-azimuth kind.
//
// A short-lived starter captures the sky position the mount points at and
// makes sure one long-lived loop runs; the loop recomputes both axis rates
// every 10 s (30 s once aligned) or when woken, and ends when MOUNT_TRACKING
// is cleared or the mount shuts down. Neither takes idleEvent: the motion
// operations of this kind stop the loop before they start a motion.
#include <cmath>
#include <mutex>

#include "sidera/core/angles.h"
#include "sidera/mounts/alt_az_mount.h"
#include "sidera/platform/clock.h"

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

// A rate that reverses the last commanded direction of the axis (a rate of 0
// counts as positive).
bool Reverses(int32_t lastDirectionPositive, double rate) {
  return (lastDirectionPositive != 0 && rate < 0.0) || (lastDirectionPositive == 0 && rate >= 0.0);
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
  {
    std::lock_guard<std::mutex> lock(trackingMutex);
    ++trackingEpoch;  // a start still on its way gives up
    mountState.fetch_and(~MOUNT_TRACKING);
  }
  trackingWakeEvent.Set();
  (void)trackingStoppedEvent.Wait(kStopWait);  // a time-out is ignored
}

MountResult AltAzMount::StartTracking() {
  uint32_t epoch;
  {
    std::lock_guard<std::mutex> lock(trackingMutex);
    epoch = trackingEpoch;
    trackingStoppedEvent.Reset();
  }
  if (!workers.Start([this, epoch] { (void)RunTrackingStarter(epoch); }, 1)) {
    // Nothing will start a loop: put the stopped state back unless one runs.
    std::lock_guard<std::mutex> lock(trackingMutex);
    if (trackingThread == 0) trackingStoppedEvent.Set();
  }
  return kOk;
}

MountResult AltAzMount::TrackingStarterThread() {
  uint32_t epoch;
  {
    std::lock_guard<std::mutex> lock(trackingMutex);
    epoch = trackingEpoch;
  }
  return RunTrackingStarter(epoch);
}

MountResult AltAzMount::RunTrackingStarter(uint32_t epoch) {
  SkyPoint reference{};
  const bool captured = GetSkyPosition(&reference) == kOk;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(trackingMutex);
    // Given up when tracking was stopped after this start was issued, or a
    // motion has been requested meanwhile (a goto or hand move owns the
    // axes; it stops or restarts tracking itself).
    const bool cancelled =
        epoch != trackingEpoch || shuttingDown != 0 || axisMoving[0] != 0 || axisMoving[1] != 0;
    if (captured && !cancelled) {
      trackingReference.Store(reference);
      trackingReferenceTick = platform::Now();
      if (trackingThread == 0) {
        mountState = MOUNT_TRACKING;
        trackingThread = 1;
        trackingStoppedEvent.Reset();
        if (!workers.Start([this] { (void)TrackingLoopThread(); }, 3)) {
          mountState.fetch_and(~MOUNT_TRACKING);
          trackingThread = 0;
        }
      }
      wake = true;
    }
    // No loop to report its end: the stopped state holds again, so that a
    // later stop does not wait for a loop that does not exist.
    if (trackingThread == 0) trackingStoppedEvent.Set();
  }
  if (!captured) return kNoResponseAxis0;
  if (wake) trackingWakeEvent.Set();  // a running loop picks up the new reference
  return kOk;
}

MountResult AltAzMount::EndTrackingLoop(MountResult result) {
  std::lock_guard<std::mutex> lock(trackingMutex);
  mountState.fetch_and(~MOUNT_TRACKING);
  trackingThread = 0;
  trackingStoppedEvent.Set();
  return result;
}

MountResult AltAzMount::TrackingLoopThread() {
  // Axes that have had a backlash take-up; once marked, an axis is halted
  // and restarted in every later cycle as well.
  bool marked[2] = {false, false};
  uint32_t deadline[2] = {0, 0};

  const auto stopRequested = [this] {
    return (mountState & MOUNT_TRACKING) == 0 || shuttingDown != 0;
  };

  for (;;) {
    (void)trackingWakeEvent.Wait(isAligned != 0 ? kAlignedPeriod : kUnalignedPeriod);
    {
      std::lock_guard<std::mutex> lock(trackingMutex);
      if (stopRequested()) {
        mountState.fetch_and(~MOUNT_TRACKING);
        trackingThread = 0;
        trackingStoppedEvent.Set();
        return kOk;
      }
    }

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
        const SkyPoint reference = trackingReference.Load();
        const uint32_t referenceTick = trackingReferenceTick;
        SkyPoint p = Advance(reference, referenceTick, now, 0);
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
          if (GetSkyPosition(&here) != kOk) return EndTrackingLoop(kOk);
          trackingReference.Store(here);
          trackingReferenceTick = platform::Now();
          continue;
        }
        SkyPoint q = Advance(reference, referenceTick, now, kLookAhead);
        AxisPair ahead{};
        (void)SkyToAxes(q, ahead, 1);
        rate = AlignedTrackingRates(onTrack, ahead, current);
        haveRates = true;
        break;
      }
      if (!haveRates) continue;
    }
    const double rates[2] = {rate.axis0, rate.axis1};

    // Backlash take-up: an axis about to reverse first crosses its gear
    // backlash at the take-up rate.
    bool takeUpThisCycle[2] = {false, false};
    if (backlashCompensation != 0) {
      for (int i = 0; i < 2; ++i) {
        const double scale = rateScale;
        if (std::fabs(rates[i]) < scale && backlashTakeUpTime[i] > 20 &&
            Reverses(axisLastDirectionPositive[i], rates[i])) {
          const MountResult r = SlewAxisAtRate(i, rates[i] > 0.0 ? scale : -scale);
          if (r != kOk) {
            // Leave no axis running at the take-up rate.
            if (takeUpThisCycle[0]) (void)HaltAxis(0);
            return EndTrackingLoop(r);
          }
          deadline[i] = platform::Now() + backlashTakeUpTime[i];
          marked[i] = true;
          takeUpThisCycle[i] = true;
        }
      }
    }

    if (marked[0] || marked[1]) {
      bool restarted[2] = {!marked[0], !marked[1]};
      int attempts[2] = {0, 0};
      for (;;) {
        if (stopRequested()) {
          (void)HaltAxis(0);
          (void)HaltAxis(1);
          return EndTrackingLoop(kOk);
        }
        const uint32_t t = platform::Now();
        for (int i = 0; i < 2; ++i) {
          if (restarted[i]) continue;
          // A marker from an earlier cycle has long expired; the signed
          // difference handles a wrap of the tick counter.
          const bool due = !takeUpThisCycle[i] || static_cast<int32_t>(t - deadline[i]) >= 0;
          if (!due) continue;
          (void)HaltAxis(i);
          const MountResult r = SlewAxisAtRate(i, rates[i]);
          if (r == kOk) {
            restarted[i] = true;
          } else if (++attempts[i] >= kMaxTakeUpAttempts) {
            (void)HaltAxis(0);
            (void)HaltAxis(1);
            return EndTrackingLoop(r);
          }
        }
        if (restarted[0] && restarted[1]) break;
        platform::Sleep(kTakeUpPoll);
      }
      // The take-up moved the axes off the track: follow from here.
      SkyPoint here{};
      if (GetSkyPosition(&here) == kOk) {  // a failure keeps the old reference
        trackingReference.Store(here);
        trackingReferenceTick = platform::Now();
      }
    }

    if (SlewAxisAtRate(0, rates[0]) == kOk) {
      (void)SlewAxisAtRate(1, rates[1]);  // a failure waits for the next cycle
    }
  }
}

}  // namespace sidera
