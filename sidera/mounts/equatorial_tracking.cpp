// Tracking on an equatorial controller that runs rates in coarse steps.
//
// The tracking start commands the tracking rate as it always has (the plain
// sidereal command that the controller and its peers know). A controller
// that truncates that rate to a coarse step (model 1: quarter arc-seconds
// per second, so 15.000"/s for the sky's 15.041"/s) would then leave the
// axis behind by a few arc-seconds a minute. So the start's thread stays on
// as a follower: it takes the track axis 0 is to follow, turning at the
// requested rate from where the goto's target stands now (or, without a
// target or when the axis is far from it, from where the axis is at its
// first reading), and every cycle reads the axis and commands the rate step
// that brings it onto that track one cycle ahead.
// Half a step over a cycle is the most the axis drifts before the next
// cycle takes it back; the cycle is chosen to keep that within 1".
//
// The follower sends only while its tracking start is the latest command of
// axis 0 and no motion claims the axis, checked with each request (SendIf):
// a stop, SetTracking(0), a new start, a goto or a hand move ends it, and
// none of its rates goes out after them.
#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/clock.h"
#include "platform/debug_log.h"
#include "sidera/core/angles.h"
#include "sidera/mounts/equatorial_mount.h"

namespace sidera {

namespace {

// Half a step over a cycle stays within this.
const double kStepDriftBudget = DegToRad(1.0 / 3600.0);
constexpr uint32_t kShortestPeriod = 5000;
constexpr uint32_t kLongestPeriod = 30000;
// An axis this far off its track was moved by other means (a sync of the
// axis position, a controller that lost steps): the track starts again from
// where the axis now is.
const double kRecaptureThreshold = DegToRad(60.0 / 3600.0);
// Reads of the followed axis per cycle at most, and the ticks beyond the
// fastest read (and half of it) that one may take and still be used.
constexpr int kFollowReadTries = 3;
constexpr uint32_t kFollowReadSlack = 5;

}  // namespace

uint32_t EquatorialMount::FollowPeriod(double step) {
  const double ms = 1000.0 * kStepDriftBudget / (0.5 * step);
  if (ms >= kLongestPeriod) return kLongestPeriod;
  return ms <= kShortestPeriod ? kShortestPeriod : static_cast<uint32_t>(ms);
}

double EquatorialMount::FollowRate(double onTrackAhead, double reading, double seconds, double rate,
                                   double step) {
  const double wanted = std::remainder(onTrackAhead - reading, kTwoPi) / seconds;
  double units = std::round(wanted / step);
  // Never against the tracking direction, nor at rest: at worst one step.
  const double sign = rate < 0.0 ? -1.0 : 1.0;
  if (units * sign < 1.0) units = sign;
  // A quarter step beyond the whole number, so that the controller's
  // truncation lands on it despite rounding in its conversion.
  return (units + 0.25 * sign) * step;
}

bool EquatorialMount::ReadFollowedAxis(double& angle, uint32_t& tick, uint32_t& fastest) {
  for (int attempt = 1;; ++attempt) {
    const uint32_t before = platform::Now();
    if (GetAxisPosition(0, &angle) != kOk) return false;
    const uint32_t took = static_cast<uint32_t>(platform::TicksBetween(before, platform::Now()));
    // The axis turns on while the read lasts: taken at its middle.
    tick = before + took / 2;
    if (took < fastest) fastest = took;
    // A read held up on its way (the host busy, the line taken by another
    // request) no longer tells when the axis stood there: at the sidereal
    // rate every 10 ms of doubt is 0.15". It is read again unless it took
    // about as long as the fastest read so far, the last try whatever it took.
    if (took <= fastest + fastest / 2 + kFollowReadSlack || attempt == kFollowReadTries) {
      return true;
    }
  }
}

void EquatorialMount::FollowTrackingRate(uint32_t command, double rate) {
  const double step = RateStep(0);
  if (!(step > 0.0) || rate == 0.0) return;
  const auto wanted = [this, command] {
    return !ShuttingDown() && IsLatestCommand(command, kAxis0) && ClaimOn(0) == 0;
  };
  const uint32_t period = FollowPeriod(step);
  std::optional<SkyReference::Value> target;
  {
    const auto lock = LockCommands();
    if (followCommand_ == command) target = followTarget_;
  }
  double anchor = 0.0;
  uint32_t anchorTick = 0;
  bool anchored = false;
  // The plain start's rate, as the controller runs it (truncated).
  double sent = std::trunc(rate / step) * step;
  uint32_t next = platform::Now();
  uint32_t fastestRead = UINT32_MAX;
  SIDERA_DEBUG_LOG(kMotion, "tracking #%u: following in steps of %.3f\"/s every %u ms", command,
                   step * 648000.0 / kPi, period);
  while (wanted()) {
    // Sleeps to the next cycle; a command (any axis) wakes it to look.
    const uint64_t seen = CommandGeneration();
    if (!wanted()) break;
    const int32_t wait = platform::TicksBetween(platform::Now(), next);
    if (wait > 0) {
      SleepUnlessCommanded(seen, static_cast<uint32_t>(wait));
      continue;
    }
    next = platform::Now() + period;
    double reading = 0.0;
    uint32_t at = 0;
    if (!ReadFollowedAxis(reading, at, fastestRead)) continue;  // the next cycle reads again
    const double seconds = period / 1000.0;
    if (anchored) {
      const double elapsed = platform::TicksBetween(anchorTick, at) / 1000.0;
      const double onTrack = anchor + rate * elapsed;
      if (std::fabs(std::remainder(onTrack - reading, kTwoPi)) > kRecaptureThreshold) {
        SIDERA_DEBUG_LOG(kMotion, "tracking #%u: axis 0 off its track, followed from here",
                         command);
        anchored = false;
      }
    }
    if (!anchored) {
      anchor = reading;
      anchorTick = at;
      anchored = true;
      if (target) {
        // Where the target stands at the reading, if the axis is near it
        // (the goto ended there; otherwise something moved the axis since).
        const double turned = std::fabs(rate) * platform::TicksBetween(target->tick, at) / 1000.0;
        SkyPoint sky{target->point.hourAngle + turned, target->point.declination};
        AxisPair axes{};
        (void)SkyToAxes(sky, axes, 1);  // always 0
        if (std::fabs(std::remainder(axes.axis0 - reading, kTwoPi)) <= kRecaptureThreshold) {
          anchor = axes.axis0;
        }
        target.reset();
      }
    }
    const double elapsed = platform::TicksBetween(anchorTick, at) / 1000.0 + seconds;
    const double nextRate = FollowRate(anchor + rate * elapsed, reading, seconds, rate, step);
    if (std::fabs(nextRate - sent) < 0.5 * step) continue;  // the step it runs at
    const MountResult r = SendIf(wanted, [&] { return SlewAxisAtRate(0, nextRate); });
    if (r == kUserInterrupt) break;
    if (r != kOk) {
      NoteAxisResult(0, r);
      SIDERA_DEBUG_LOG(kMotion, "tracking #%u: rate step not sent (%d)", command, r);
      continue;
    }
    sent = nextRate;
  }
  SIDERA_DEBUG_LOG(kMotion, "tracking #%u: following ends", command);
}

}  // namespace sidera
