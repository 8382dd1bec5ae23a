// The INDI glue of gotos, syncs and the read-outs the poll shows.
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

// ---- Goto, sync, readouts --------------------------------------------------

void SideraMountDriver::AlertEquatorial(const std::string& text) {
  alertLatched_ = true;
  EqNP.s = IPS_ALERT;
  IDSetNumber(&EqNP, "%s", text.c_str());
}

void SideraMountDriver::HandleEquatorial(double values[], char* names[], int n) {
  double ra = EqN[AXIS_RA].value;
  double dec = EqN[AXIS_DE].value;
  for (int i = 0; i < n; ++i) {
    if (Named(names[i], EqN[AXIS_RA].name)) ra = values[i];
    if (Named(names[i], EqN[AXIS_DE].name)) dec = values[i];
  }
  if (!isConnected()) return AlertEquatorial("Connect to the mount first");
  const std::string problem = TargetProblem(ra, dec);
  if (!problem.empty()) return AlertEquatorial("Refused: " + problem);
  if (isParked()) return AlertEquatorial("The mount is parked: unpark it first");
  if (ra >= 24.0) ra = 0.0;
  const int mode = IUFindOnSwitchIndex(&CoordSP);
  if (mode >= 0 && Named(CoordS[mode].name, "SYNC")) {
    Sync(ra, dec);
  } else {
    StartGoto(ra, dec, !(mode >= 0 && Named(CoordS[mode].name, "SLEW")));
  }
}

bool SideraMountDriver::Goto(double ra, double dec) {
  StartGoto(ra, dec, true);
  return true;
}

void SideraMountDriver::StartGoto(double ra, double dec, bool track) {
  CancelPulses();
  const unsigned epoch = ++motionEpoch_;
  watch_.Cancel();
  targetRa_ = ra;
  targetDec_ = dec;
  gotoTracks_ = track;
  TargetN[AXIS_RA].value = ra;
  TargetN[AXIS_DE].value = dec;
  IDSetNumber(&TargetNP, nullptr);
  // Busy only once the library has taken the goto: a target it refuses
  // (below the horizon, beyond a limit) goes straight to Alert.
  const host::SkyClock clock = clock_;
  const double longitude = LocationN[LOCATION_LONGITUDE].value;
  Run(
      [this, epoch, clock, longitude, ra, dec] {
        if (epoch != motionEpoch_) return GotoStart{Outcome{kDropped, ""}};
        return session_.Goto(clock, longitude, ra, dec);
      },
      [this, epoch](const GotoStart& start) {
        const Outcome& o = start.outcome;
        if (epoch != motionEpoch_ || o.code == kDropped) return;
        if (!o.ok()) {
          gotoKind_ = GotoKind::None;
          TrackState = SCOPE_IDLE;
          AlertEquatorial(o.text);
          return;
        }
        gotoKind_ = GotoKind::Sky;
        alertLatched_ = false;
        moving_ = {false, false};
        TrackState = SCOPE_SLEWING;
        EqNP.s = IPS_BUSY;
        IDSetNumber(&EqNP, "Slewing to RA %s, Dec %s", Sexagesimal(targetRa_).c_str(),
                    Sexagesimal(targetDec_).c_str());
        watch_.Start(start.record, SkySeconds(), kGotoLimitSeconds);
      });
}

bool SideraMountDriver::Sync(double ra, double dec) {
  if (gotoKind_ != GotoKind::None) {
    AlertEquatorial("Wait for the goto to finish before syncing");
    return false;
  }
  alertLatched_ = false;
  EqNP.s = IPS_BUSY;
  IDSetNumber(&EqNP, nullptr);
  const host::SkyClock clock = clock_;
  const double longitude = LocationN[LOCATION_LONGITUDE].value;
  Run([this, clock, longitude, ra, dec] { return session_.Sync(clock, longitude, ra, dec); },
      [this, ra, dec](const SyncResult& r) {
        if (!r.outcome.ok()) {
          AlertEquatorial(r.outcome.text + "; the previous alignment stays in use");
          ShowAlignment(r.alignment);
          return;
        }
        ShowAlignment(r.alignment);
        EqNP.s = IPS_OK;
        const double rms = Degrees(r.alignment.residual) * 3600.0;
        if (r.alignment.stars <= 3) {
          IDSetNumber(&EqNP,
                      "Synced on RA %s, Dec %s: %d-star alignment, quality %d, residual %.1f\", "
                      "star rating %d of 5",
                      Sexagesimal(ra).c_str(), Sexagesimal(dec).c_str(), r.alignment.stars,
                      r.alignment.quality, rms, r.rating);
        } else {
          IDSetNumber(&EqNP,
                      "Synced on RA %s, Dec %s: %d-star alignment (%d used), quality %d, RMS "
                      "residual %.1f\"",
                      Sexagesimal(ra).c_str(), Sexagesimal(dec).c_str(), r.alignment.stars,
                      r.alignment.used, r.alignment.quality, rms);
        }
        RequestPoll();
      });
  return true;
}

void SideraMountDriver::ShowAlignment(const AlignmentState& state) {
  alignN_[0].value = state.stars;
  alignN_[1].value = state.quality;
  alignN_[2].value = Degrees(state.residual) * 60.0;
  alignN_[3].value = state.used;
  alignNP_.s = IPS_OK;
  IDSetNumber(&alignNP_, nullptr);
  const char* current = alignDataT_[0].text != nullptr ? alignDataT_[0].text : "";
  if (state.saved != current) {
    IUSaveText(&alignDataT_[0], state.saved.c_str());
    savedAlignment_ = SavedAlignmentFromText(state.saved);
    alignDataTP_.s = IPS_OK;
    IDSetText(&alignDataTP_, nullptr);
    saveConfig(true, alignDataTP_.name);
  }
}

bool SideraMountDriver::ReadScopeStatus() {
  RequestPoll();
  return true;
}

void SideraMountDriver::TimerHit() {
  pollTimer_ = -1;
  if (!isConnected()) return;
  RequestPoll(false);  // the snapshot's cadence
  pollTimer_ = SetTimer(getCurrentPollingPeriod());
}

void SideraMountDriver::RequestPoll(bool fresh) {
  // One poll at a time: while the worker is held up (a slow hand-over, a
  // controller timing out) polls do not pile up behind it.
  if (pollInFlight_ || !isConnected()) return;
  pollInFlight_ = true;
  // INDI's EOD coordinates are of date: the snapshot times its readings with
  // the local apparent sidereal time of the sky clock and the site.
  snapshot_->SetSky(clock_, LocationN[LOCATION_LONGITUDE].value);
  Run([this, fresh] { return snapshot_->Take(fresh); },
      [this](const host::MountSnapshot& r) {
        pollInFlight_ = false;
        OnPoll(r);
      });
}

void SideraMountDriver::OnPoll(const host::MountSnapshot& poll) {
  // The sidereal time does not depend on the mount's answers.
  lstN_[0].value = poll.lst / kPi * 12.0;
  lstNP_.s = IPS_OK;
  IDSetNumber(&lstNP_, nullptr);
  if (poll.code != SIDERA_OK) {
    if (watch_.active()) JudgeGoto(poll);
    if (linkAlert_ != poll.error) {
      linkAlert_ = poll.error;
      EqNP.s = IPS_ALERT;
      IDSetNumber(&EqNP, "%s", poll.error.c_str());
    }
    return;
  }
  if (!linkAlert_.empty()) {
    linkAlert_.clear();
    LOG_INFO("The mount answers again.");
  }
  lastAxes_ = poll.axes;
  haveAxes_ = true;
  const double ra = RightAscensionHoursOf(poll.sky.hourAngle, poll.lst);
  const double dec = Degrees(poll.sky.declination);
  if (watch_.active()) JudgeGoto(poll);
  ShowTrackState(poll.mountState);
  ShowEquatorial(ra, dec);
  ShowHorizontal(poll.horizontal);
  if (equatorial_) {
    setPierSide(PierSideOf(poll.axes.axis1, Radians(LocationN[LOCATION_LATITUDE].value)) ==
                        PierSide::West
                    ? PIER_WEST
                    : PIER_EAST);
  }
  // The library starts tracking on its own after a sky goto and a one-star
  // alignment; when the user has tracking off, it goes off again.
  if (!trackingWanted_ && (poll.mountState & SIDERA_MOUNT_TRACKING) && !Busy() &&
      worker_->calls.pending() == 0) {
    Run([this] { return session_.SetTracking(false); },
        [this](const Outcome& o) { ShowFailure(TrackStateSP, o); });
  }
}

void SideraMountDriver::JudgeGoto(const host::MountSnapshot& poll) {
  // The library records how the goto ended; a controller that stops
  // answering ends it with the axis's code.
  if (watch_.Observe(poll.gotoRecord, SkySeconds()) == host::GotoWatch::State::kEnded) {
    FinishGoto();
  }
}

void SideraMountDriver::FinishGoto() {
  const GotoKind kind = gotoKind_;
  gotoKind_ = GotoKind::None;
  if (watch_.end() == host::GotoWatch::End::kArrived) {
    if (kind == GotoKind::Park) {
      SetParked(true);
      return;
    }
    trackingWanted_ = gotoTracks_;
    ShowTrackSwitch();
    if (!gotoTracks_) {
      Run([this] { return session_.SetTracking(false); },
          [this](const Outcome& o) { ShowFailure(TrackStateSP, o); });
    }
    TrackState = gotoTracks_ ? SCOPE_TRACKING : SCOPE_IDLE;
    EqNP.s = gotoTracks_ ? IPS_OK : IPS_IDLE;
    IDSetNumber(&EqNP, "Goto complete, %.1f\" from the target",
                watch_.outcome().error * kArcsecPerRadian);
    return;
  }
  const std::string why = WhyGotoEnded(watch_);
  // Whatever is left of the motion stops.
  const unsigned epoch = ++motionEpoch_;
  (void)epoch;
  trackingWanted_ = false;
  ShowTrackSwitch();
  // The goto's own failure is what the user sees; a stop that fails as well
  // (the controller is gone) has nothing to add.
  StopOnLane([](const Outcome&) {});
  TrackState = SCOPE_IDLE;
  if (kind == GotoKind::Park) {
    ParkSP.s = IPS_ALERT;
    IDSetSwitch(&ParkSP, "Parking failed: %s", why.c_str());
  } else {
    AlertEquatorial("Goto failed: " + why);
  }
}

void SideraMountDriver::ShowTrackState(uint32_t mountState) {
  if (isParked()) return;
  if (gotoKind_ == GotoKind::Sky) {
    TrackState = SCOPE_SLEWING;
  } else if (gotoKind_ == GotoKind::Park) {
    TrackState = SCOPE_PARKING;
  } else if (moving_[0] || moving_[1] ||
             (mountState & (SIDERA_MOUNT_GOTO | SIDERA_MOUNT_SLEWING))) {
    TrackState = SCOPE_SLEWING;
  } else if (mountState & SIDERA_MOUNT_TRACKING) {
    TrackState = SCOPE_TRACKING;
  } else {
    TrackState = SCOPE_IDLE;
  }
}

void SideraMountDriver::ShowEquatorial(double ra, double dec) {
  IPState state = IPS_IDLE;
  if (alertLatched_ || !linkAlert_.empty()) {
    state = IPS_ALERT;
  } else if (TrackState == SCOPE_SLEWING || TrackState == SCOPE_PARKING) {
    state = IPS_BUSY;
  } else if (TrackState == SCOPE_TRACKING) {
    state = IPS_OK;
  }
  // Changes below 0.01" are not worth a message to every client.
  const double threshold = 0.01 / 3600.0;
  if (std::fabs(EqN[AXIS_RA].value - ra) * 15.0 > threshold ||
      std::fabs(EqN[AXIS_DE].value - dec) > threshold || EqNP.s != state) {
    EqN[AXIS_RA].value = ra;
    EqN[AXIS_DE].value = dec;
    EqNP.s = state;
    IDSetNumber(&EqNP, nullptr);
  }
}

void SideraMountDriver::ShowHorizontal(const HorizontalPoint& horizontal) {
  const double az = AzimuthDegrees(horizontal.azimuth);
  const double alt = Degrees(horizontal.altitude);
  const double threshold = 0.01 / 3600.0;
  if (std::fabs(horizontalN_[0].value - az) > threshold ||
      std::fabs(horizontalN_[1].value - alt) > threshold || horizontalNP_.s != IPS_OK) {
    horizontalN_[0].value = az;
    horizontalN_[1].value = alt;
    horizontalNP_.s = IPS_OK;
    IDSetNumber(&horizontalNP_, nullptr);
  }
}

void SideraMountDriver::ShowTrackSwitch() {
  TrackStateS[TRACK_ON].s = trackingWanted_ ? ISS_ON : ISS_OFF;
  TrackStateS[TRACK_OFF].s = trackingWanted_ ? ISS_OFF : ISS_ON;
  TrackStateSP.s = trackingWanted_ ? IPS_BUSY : IPS_IDLE;
  IDSetSwitch(&TrackStateSP, nullptr);
}

}  // namespace sidera::indi
