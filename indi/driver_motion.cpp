// The INDI glue of stops, parking, tracking, site and time, the direction
// buttons and guide pulses.
#include <chrono>
#include <cmath>
#include <cstring>

#include "host/civil_time.h"
#include "indi/driver_shared.h"
#include "indi/goto_report.h"
#include "indi/host_names.h"
#include "indi/library_text.h"
#include "sidera.h"

namespace sidera::indi {

// ---- Stopping, parking, tracking, site and time ----------------------------

bool SideraMountDriver::Abort() {
  CancelPulses();
  ++motionEpoch_;
  watch_.Cancel();
  if (gotoKind_ == GotoKind::Park) {
    ParkSP.s = IPS_IDLE;
    IDSetSwitch(&ParkSP, "Parking aborted");
  }
  gotoKind_ = GotoKind::None;
  moving_ = {false, false};
  alertLatched_ = false;
  trackingWanted_ = false;
  ShowTrackSwitch();
  TrackState = SCOPE_IDLE;
  // The stop goes out now, beside whatever call the worker is making.
  StopOnLane([this](const Outcome& o) { ShowFailure(AbortSP, o); });
  return true;
}

void SideraMountDriver::StopOnLane(std::function<void(const Outcome&)> done) {
  const int generation = generation_;
  worker_->stops.Post([this, generation, done = std::move(done)] {
    const Outcome o = MountSession::Fail(host::StopEverything(), "Stopping the mount");
    replies_.Reply([this, generation, o, done] {
      if (Current(generation)) done(o);
    });
  });
}

bool SideraMountDriver::Park() {
  CancelPulses();
  const unsigned epoch = ++motionEpoch_;
  watch_.Cancel();
  gotoKind_ = GotoKind::Park;
  moving_ = {false, false};
  alertLatched_ = false;
  trackingWanted_ = false;
  ShowTrackSwitch();
  TrackState = SCOPE_PARKING;
  // The user's position where set, else the model's home.
  std::optional<double> axis0, axis1;
  if (UserParkPosition()) {
    axis0 = parkPositionN_[0].value;
    axis1 = parkPositionN_[1].value;
  }
  Run(
      [this, epoch, axis0, axis1] {
        if (epoch != motionEpoch_) return GotoStart{Outcome{kDropped, ""}};
        return session_.Park(axis0, axis1);
      },
      [this, epoch](const GotoStart& start) {
        const Outcome& o = start.outcome;
        if (epoch != motionEpoch_ || o.code == kDropped) return;
        if (!o.ok()) {
          gotoKind_ = GotoKind::None;
          TrackState = SCOPE_IDLE;
          ShowFailure(ParkSP, o);
          return;
        }
        watch_.Start(start.record, SkySeconds(), kGotoLimitSeconds);
      });
  return true;
}

bool SideraMountDriver::UnPark() {
  SetParked(false);
  return true;
}

bool SideraMountDriver::SetTrackEnabled(bool enabled) {
  if (enabled && isParked()) {
    LOG_ERROR("The mount is parked: unpark it before tracking");
    return false;
  }
  trackingWanted_ = enabled;
  // The mode chosen while tracking was off takes effect as tracking starts.
  const int mode = TrackMode();
  Run(
      [this, enabled, mode] {
        return enabled ? session_.SetTrackingMode(mode, true) : session_.SetTracking(false);
      },
      [this](const Outcome& o) { ShowFailure(TrackStateSP, o); });
  return true;
}

bool SideraMountDriver::SetTrackMode(uint8_t mode) {
  const int indiMode = mode < kTrackModeCount ? mode : 0;
  const bool restart = trackingWanted_ && isConnected();
  Run([this, indiMode, restart] { return session_.SetTrackingMode(indiMode, restart); },
      [this](const Outcome& o) { ShowFailure(TrackModeSP, o); });
  return true;
}

bool SideraMountDriver::updateLocation(double latitude, double longitude, double elevation) {
  if (!(latitude >= -90.0 && latitude <= 90.0)) {
    LOG_ERROR("Latitude must be from -90 to +90 degrees");
    return false;
  }
  if (!(elevation >= SIDERA_LOWEST_ELEVATION && elevation <= SIDERA_HIGHEST_ELEVATION)) {
    LOG_ERROR("Elevation must be from -1000 to 8848 metres");
    return false;
  }
  siteFromClient_ = true;
  // While connecting, the change runs after the connect (the worker keeps
  // the order).
  if (isConnected() || connecting_) {
    const Site site{latitude, longitude, elevation};
    Run([this, site] { return session_.SetSite(site); },
        [this](const Outcome& o) { ShowFailure(LocationNP, o); });
  }
  return true;
}

bool SideraMountDriver::updateTime(ln_date* utc, double utcOffset) {
  (void)utcOffset;  // the time arrives in UTC; the offset only matters for display
  clock_.Set(
      host::UtcMillisOf(utc->years, utc->months, utc->days, utc->hours, utc->minutes, utc->seconds),
      host::SkyClock::Steady::now());
  return true;
}

// ---- Direction buttons and guide pulses -------------------------------------

bool SideraMountDriver::MoveNS(INDI_DIR_NS dir, TelescopeMotionCommand command) {
  return Move(dir == DIRECTION_NORTH ? Direction::North : Direction::South, command);
}

bool SideraMountDriver::MoveWE(INDI_DIR_WE dir, TelescopeMotionCommand command) {
  return Move(dir == DIRECTION_WEST ? Direction::West : Direction::East, command);
}

bool SideraMountDriver::Move(Direction direction, TelescopeMotionCommand command) {
  const int axis = direction == Direction::North || direction == Direction::South ? 1 : 0;
  if (command == MOTION_START && isParked()) {
    LOG_ERROR("The mount is parked: unpark it before moving it");
    return false;
  }
  if (command == MOTION_STOP) {
    moving_[axis] = false;
    Run([this, direction] { return session_.StopMotion(direction); },
        [this, axis](const Outcome& o) {
          ShowFailure(axis == 1 ? MovementNSSP : MovementWESP, o);
        });
    return true;
  }
  // A direction button takes the axes from a running goto.
  watch_.Cancel();
  gotoKind_ = GotoKind::None;
  alertLatched_ = false;
  moving_[axis] = true;
  TrackState = SCOPE_SLEWING;
  const int preset = std::max(0, IUFindOnSwitchIndex(&SlewRateSP));
  const double rate = kSlewPresets[static_cast<size_t>(preset)] * kSiderealRate;
  const double tracking = TrackingRate();
  const unsigned epoch = motionEpoch_;
  Run(
      [this, epoch, direction, rate, tracking] {
        if (epoch != motionEpoch_) return Outcome{kDropped, ""};
        return session_.StartMotion(direction, rate, tracking);
      },
      [this, axis](const Outcome& o) {
        if (o.ok() || o.code == kDropped) return;
        moving_[axis] = false;
        ISwitchVectorProperty& sp = axis == 1 ? MovementNSSP : MovementWESP;
        IUResetSwitch(&sp);
        sp.s = IPS_ALERT;
        IDSetSwitch(&sp, "%s", o.text.c_str());
      });
  return true;
}

void SideraMountDriver::HandlePulse(int axis, double values[], char* names[], int n) {
  // The pulse is the one this message asks for: clients send one direction or
  // both (the other at 0), and the values of an earlier pulse do not count.
  INumberVectorProperty& np = axis == 1 ? GuideNSNP : GuideWENP;
  IPState state = IPS_IDLE;
  for (int i = 0; i < n; ++i) {
    if (!(values[i] > 0)) continue;
    const bool first = Named(names[i], np.np[0].name);  // north, or west
    if (!first && !Named(names[i], np.np[1].name)) continue;
    const Direction d = axis == 1 ? (first ? Direction::North : Direction::South)
                                  : (first ? Direction::West : Direction::East);
    np.np[0].value = first ? values[i] : 0;
    np.np[1].value = first ? 0 : values[i];
    state = StartPulse(d, static_cast<uint32_t>(std::lround(std::fmin(values[i], 60000.0))));
    break;
  }
  if (state == IPS_IDLE && pulsing_[axis]) {
    // Zero in every direction: the running pulse ends now, on the stop lane.
    pulses_->EndNow(axis);
    return;
  }
  np.s = state;
  IDSetNumber(&np, nullptr);
}

IPState SideraMountDriver::GuideNorth(uint32_t ms) { return StartPulse(Direction::North, ms); }
IPState SideraMountDriver::GuideSouth(uint32_t ms) { return StartPulse(Direction::South, ms); }
IPState SideraMountDriver::GuideEast(uint32_t ms) { return StartPulse(Direction::East, ms); }
IPState SideraMountDriver::GuideWest(uint32_t ms) { return StartPulse(Direction::West, ms); }

IPState SideraMountDriver::StartPulse(Direction direction, uint32_t ms) {
  if (!isConnected() || isParked() || gotoKind_ != GotoKind::None) {
    LOG_ERROR(!isConnected() ? "Guiding needs a connected mount"
              : isParked()   ? "The mount is parked: unpark it before guiding"
                             : "Guiding waits for the goto to finish");
    return IPS_ALERT;
  }
  const int axis = host::GuidePulses::LaneOf(direction);
  const double rate =
      host::GuidePulses::SignOf(direction) * guideRateN_[axis].value * kSiderealRate;
  // The pulse lasts `ms` of sky time, like every motion of a scaled library;
  // a new pulse on the axis replaces the old one. Its end runs on the stop
  // lane at its time and comes back here as OnPulseEnded.
  const std::chrono::milliseconds duration(clock_.RealMillis(ms));
  const double tracking = TrackingRate();
  const unsigned epoch = motionEpoch_;
  pulsing_[axis] = true;
  const uint64_t pulse = ++pulseNumber_[axis];
  Run(
      [this, epoch, axis, rate, duration, tracking, pulse] {
        if (epoch != motionEpoch_) return Outcome{kDropped, ""};
        return session_.StartPulse(*pulses_, axis, rate, duration, tracking, pulse);
      },
      [this, axis, pulse](const Outcome& o) {
        if (o.ok() || o.code == kDropped) return;
        if (pulse == pulseNumber_[axis] && pulsing_[axis]) CompletePulse(axis);
        INumberVectorProperty& np = axis == 1 ? GuideNSNP : GuideWENP;
        np.s = IPS_ALERT;
        IDSetNumber(&np, "%s", o.text.c_str());
      });
  return IPS_BUSY;
}

void SideraMountDriver::OnPulseEnded(int axis, uint64_t pulse, int code) {
  if (!pulsing_[axis] || pulse != pulseNumber_[axis]) return;  // cancelled or replaced meanwhile
  CompletePulse(axis);
  if (code == SIDERA_OK) return;
  INumberVectorProperty& np = axis == 1 ? GuideNSNP : GuideWENP;
  np.s = IPS_ALERT;
  IDSetNumber(&np, "%s", MountSession::Fail(code, "Ending a guide pulse").text.c_str());
}

void SideraMountDriver::CancelPulses() {
  pulses_->Forget();
  for (int axis = 0; axis < 2; ++axis) {
    if (pulsing_[axis]) CompletePulse(axis);
  }
}

void SideraMountDriver::CompletePulse(int axis) {
  pulsing_[axis] = false;
  INumberVectorProperty& np = axis == 1 ? GuideNSNP : GuideWENP;
  np.np[0].value = 0;
  np.np[1].value = 0;
  GuideComplete(axis == 1 ? AXIS_DE : AXIS_RA);
}

bool SideraMountDriver::Busy() const {
  return gotoKind_ != GotoKind::None || moving_[0] || moving_[1] || pulsing_[0] || pulsing_[1];
}

}  // namespace sidera::indi
