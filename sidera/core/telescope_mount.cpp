// Root bodies of TelescopeMount: construction and shutdown, the site and
// limit setters, the status getters and the starting steps of the motions.
// The motion threads themselves live in motion_threads.cpp; the pointing
// model conversions in transforms.cpp; alignment in alignment.cpp.
#include "sidera/core/telescope_mount.h"

#include <chrono>
#include <cmath>
#include <cstdint>

#include "platform/clock.h"
#include "platform/debug_log.h"
#include "sidera/core/angles.h"
#include "sidera/core/transforms.h"

namespace sidera {

namespace {

constexpr double kHalfPi = kPi / 2.0;

// How long StopAxis and the destructor give the motion threads to release
// the axes.
constexpr uint32_t kReleaseWaitTicks = 2000;

// How long a shutdown waits for rate moves and tracking starts the host was
// told had started to put their commands on the wire (a rate move may first
// wait for the axes and, on a controller that brakes, for the axis to stop).
constexpr uint32_t kUnsentStartsWaitTicks = 5000;

// Command numbers run from 1 to INT32_MAX, so that every number fits
// a claim and none is 0 (a free axis).
constexpr uint32_t kLastCommandNumber = 0x7FFFFFFFu;

// Read-outs of a silent axis try the line this often; the others answer at
// once (real time, as the line's own time-outs).
constexpr std::chrono::milliseconds kSilentProbeSpacing{1000};

// Axis numbers come from the host unchecked; anything but 0 or 1 would index
// past the per-axis fields, so the bodies that index them refuse it.
bool ValidAxis(int axis) { return axis == 0 || axis == 1; }

}  // namespace

TelescopeMount::TelescopeMount(const MountSettings& settings) : settings_(settings) {
  latitude_ = DegToRad(30.0);
  rates_.UseTrackingRate(kSiderealRate);
  rates_.UseTakeUpRate(64.0 * kSiderealRate);
  goto_.tolerance = DegToRad(1.0 / 30.0);  // 2 arc-minutes
  upperAltitudeLimit_ = DegToRad(75.0);
  // No command number is ever this large: no axis counts as halted yet.
  haltCommand_[0] = UINT32_MAX;
  haltCommand_[1] = UINT32_MAX;
}

GotoParameters TelescopeMount::GetGotoParameters() const {
  std::lock_guard<std::mutex> lock(gotoMutex_);
  return goto_;
}

void TelescopeMount::SetGotoParameters(const GotoParameters& parameters) {
  std::lock_guard<std::mutex> lock(gotoMutex_);
  goto_ = parameters;
}

void TelescopeMount::SetGotoTolerance(double tolerance) {
  std::lock_guard<std::mutex> lock(gotoMutex_);
  goto_.tolerance = tolerance;
}

TelescopeMount::~TelescopeMount() {
  // Normally Shutdown() has already stopped and joined every thread and this
  // finds the axes idle at once. If it has not, give a running goto the
  // usual chance to give way, then stop and join whatever is left: no thread
  // may outlive the object it works on.
  giveWayTo_ = kEveryCommand;
  (void)idleEvent_.Wait(kReleaseWaitTicks);
  giveWayTo_ = 0;
  MarkShuttingDown();
  Workers().CloseAndJoin([this] { idleEvent_.Set(); });
}

void TelescopeMount::CountUnsentStart(int change) {
  {
    std::lock_guard<std::mutex> lock(unsentMutex_);
    unsentStarts_ += change;
  }
  unsentSignal_.notify_all();
}

void TelescopeMount::AwaitUnsentStarts() {
  std::unique_lock<std::mutex> lock(unsentMutex_);
  if (!unsentSignal_.wait_for(lock, platform::ToRealDuration(kUnsentStartsWaitTicks),
                              [this] { return unsentStarts_ == 0; })) {
    SIDERA_DEBUG_LOG(kMotion, "shutdown: %d started motions still unsent after %u ms",
                     unsentStarts_, kUnsentStartsWaitTicks);
  }
}

void TelescopeMount::Shutdown() {
  AwaitUnsentStarts();
  // From here every thread ends at its next check and no motion takes the
  // axes any more: the latest command is newer than any motion's, and no
  // axis is claimed. A running goto halts both axes on its way out.
  MarkShuttingDown();
  {
    const auto lock = LockCommands();
    (void)BeginCommand(kBothAxes);
    axisMoving_[0] = 0;
    axisMoving_[1] = 0;
  }
  ClearTrackingState();
  // A thread still waiting to take the axes is woken by setting the idle event.
  // That cannot hand the axes to anybody: every hand-over checks
  // ShuttingDown() after its wait and gives up.
  Workers().CloseAndJoin([this] { WakeWorkersForShutdown(); });
}

void TelescopeMount::WakeWorkersForShutdown() {
  idleEvent_.Set();
  NotifyCommand();
  if (LineHealth* line = Line()) line->Wake();
}

void TelescopeMount::NotifyCommand() {
  {
    std::lock_guard<std::mutex> lock(commandSignalMutex_);
    ++commandGeneration_;
  }
  commandSignal_.notify_all();
}

void TelescopeMount::SleepUnlessCommanded(uint64_t seen, uint32_t ticks) {
  std::unique_lock<std::mutex> lock(commandSignalMutex_);
  (void)commandSignal_.wait_for(lock, platform::ToRealDuration(ticks), [&] {
    return commandGeneration_.load() != seen || ShuttingDown();
  });
}

MountResult TelescopeMount::UpdateMountState() {
  // Axis states read while a command, a halt or a tracking stop changed what
  // the word should say are older than that step (a SetTracking(0) that
  // returned must never be followed by "tracking" read before its halt):
  // they are read again. After kStateReadTries overtaken reads the word
  // stays as those steps left it.
  for (int attempt = 0; attempt < kStateReadTries; ++attempt) {
    uint32_t s0 = 0;
    uint32_t s1 = 0;
    const uint64_t epoch = stateEpoch_.load();
    MountResult r = GetAxisState(0, &s0);
    if (r != kOk) return r;
    r = GetAxisState(1, &s1);
    if (r != kOk) return r;
    // Checked and written under the command lock, so that no such step
    // comes between the check and the write.
    const auto lock = LockCommands();
    if (stateEpoch_.load() != epoch) continue;
    PublishMountState(s0, s1);
    return kOk;
  }
  return kOk;
}

void TelescopeMount::PublishMountState(uint32_t s0, uint32_t s1) {
  std::atomic<uint32_t>& word = published_.mountState_;
  if (published_.GotoActive() || ((s0 | s1) & AXIS_GOTO) != 0) {
    word = MOUNT_GOTO;
  } else if ((s0 & AXIS_STOPPED) != 0 && (s1 & AXIS_STOPPED) != 0) {
    // Keeps the tracking bit as it stands at the moment of the write: a
    // tracking start or stop that sets or clears it meanwhile makes the
    // exchange fail and the choice is made again.
    uint32_t seen = word.load();
    while (!word.compare_exchange_weak(
        seen, (seen & MOUNT_TRACKING) != 0 ? MOUNT_TRACKING : MOUNT_STOPPED)) {
    }
  } else if (((s0 | s1) & AXIS_RATE_MOTION) != 0) {
    // A rate motion that no goto or hand move drives is tracking, unless a
    // stop has halted that axis and it is still braking: a controller that
    // brakes reports its rate mode until it stands.
    const bool tracks = ((s0 & AXIS_RATE_MOTION) != 0 && !HaltedByLatestCommand(0)) ||
                        ((s1 & AXIS_RATE_MOTION) != 0 && !HaltedByLatestCommand(1));
    const bool driven = axisMoving_[0] != 0 || axisMoving_[1] != 0;
    word = driven || !tracks ? MOUNT_SLEWING : MOUNT_TRACKING;
  }
}

void TelescopeMount::NoteHalted(int axis) {
  const auto lock = LockCommands();
  haltCommand_[axis] = latestCommand_[axis].load();
  ++stateEpoch_;
}

bool TelescopeMount::HaltedByLatestCommand(int axis) const {
  return haltCommand_[axis] == latestCommand_[axis];
}

void TelescopeMount::ClearTrackingState() {
  const auto lock = LockCommands();
  ++stateEpoch_;
  std::atomic<uint32_t>& word = published_.mountState_;
  uint32_t seen = word.load();
  for (;;) {
    uint32_t next = seen & ~MOUNT_TRACKING;
    if (next == 0) next = MOUNT_STOPPED;
    if (next == seen || word.compare_exchange_weak(seen, next)) return;
  }
}

void TelescopeMount::EndKindMotions() {
  RequestKindMotionsEnd();
  AwaitKindMotionsEnd();
}

void TelescopeMount::RequestKindMotionsEnd() {}

void TelescopeMount::AwaitKindMotionsEnd() {}

void TelescopeMount::SiteChanged() {}

TelescopeMount::AfterStop TelescopeMount::AfterStopOf(int) { return AfterStop::kHalt; }

MountResult TelescopeMount::StartTrackingOnTarget(const SkyPoint&, uint32_t) {
  return StartTracking();
}

void TelescopeMount::FollowTrackingRate(uint32_t, double) {}

bool TelescopeMount::IsNewerCommand(uint32_t command, uint32_t than) {
  const uint32_t ahead = (command - than) & kLastCommandNumber;
  return ahead != 0 && ahead <= kLastCommandNumber / 2;
}

void TelescopeMount::AskToGiveWay(uint32_t command) {
  uint32_t seen = giveWayTo_.load();
  while ((seen == 0 || (seen != kEveryCommand && IsNewerCommand(command, seen))) &&
         !giveWayTo_.compare_exchange_weak(seen, command)) {
  }
}

void TelescopeMount::WithdrawGiveWay(uint32_t command) {
  uint32_t expected = command;
  (void)giveWayTo_.compare_exchange_strong(expected, 0);
}

bool TelescopeMount::MustGiveWay(uint32_t command) const {
  const uint32_t asking = giveWayTo_.load();
  return asking != 0 && (asking == kEveryCommand || IsNewerCommand(asking, command));
}

uint32_t TelescopeMount::BeginCommand(unsigned axes) {
  uint32_t command = 0;
  {
    const auto lock = LockCommands();
    lastCommand_ = lastCommand_ >= kLastCommandNumber ? 1 : lastCommand_ + 1;
    ++stateEpoch_;
    if ((axes & kAxis0) != 0) latestCommand_[0] = lastCommand_;
    if ((axes & kAxis1) != 0) latestCommand_[1] = lastCommand_;
    command = lastCommand_;
  }
  // What the axes were read saying before the command no longer answers
  // a read-out.
  if (LineHealth* line = Line()) line->Forget(axes);
  // Motion threads asleep between their checks look again at once.
  NotifyCommand();
  return command;
}

bool TelescopeMount::IsLatestCommand(uint32_t command, unsigned axes) const {
  if ((axes & kAxis0) != 0 && latestCommand_[0] != command) return false;
  if ((axes & kAxis1) != 0 && latestCommand_[1] != command) return false;
  return true;
}

uint32_t TelescopeMount::BeginMotion(unsigned axes) {
  const auto lock = LockCommands();
  const uint32_t command = BeginCommand(axes);
  if ((axes & kAxis0) != 0) axisMoving_[0] = ClaimOf(command);
  if ((axes & kAxis1) != 0) axisMoving_[1] = ClaimOf(command);
  return command;
}

void TelescopeMount::ReleaseClaims(uint32_t command) {
  const auto lock = LockCommands();
  for (auto& claim : axisMoving_) {
    int32_t own = ClaimOf(command);
    (void)claim.compare_exchange_strong(own, 0);  // a newer claim stays
  }
}

LineHealth* TelescopeMount::Line() { return nullptr; }

bool TelescopeMount::AxisSilent(int axis) {
  LineHealth* line = Line();
  return line != nullptr && line->Silent(axis);
}

MountResult TelescopeMount::CheckAxisAnswers(int axis) {
  if (!AxisSilent(axis)) return kOk;
  // A read that is answered clears the mark (the line records it). It waits
  // for the line: a command tries before it gives up on the axis.
  (void)ReadAxisPosition(axis);
  return AxisSilent(axis) ? NoResponse(axis) : kOk;
}

bool TelescopeMount::MayRead(int axis) {
  LineHealth* line = Line();
  return line == nullptr || !line->Silent(axis) || line->TakeProbe(axis, kSilentProbeSpacing);
}

MountResult TelescopeMount::CheckAxesAnswer(unsigned axes) {
  for (int axis = 0; axis < 2; ++axis) {
    if ((axes & (1u << axis)) == 0) continue;
    const MountResult r = CheckAxisAnswers(axis);
    if (r != kOk) return r;
  }
  return kOk;
}

void TelescopeMount::NoteAxisResult(int axis, MountResult result) {
  if (result != kNoResponseAxis0 && result != kNoResponseAxis1) return;
  if (LineHealth* line = Line()) line->MarkSilent(axis == 0 ? 1u : 2u);
}

MountResult TelescopeMount::StartAxesGoto(double angle0, double angle1) {
  EndKindMotions();
  const MountResult answers = CheckAxesAnswer(kBothAxes);
  if (answers != kOk) return answers;
  const uint32_t command = BeginMotion(kBothAxes);
  trackingRequested_ = false;
  ClearTrackingState();
  // A thread that cannot be started (the mount is shutting down) moves
  // nothing; the result is 0 as for any started goto.
  (void)LaunchGotoAxesThread(command, AxisPair{angle0, angle1});
  return kOk;
}

// ---- Virtual operations. SkyToAxes and AxesToSky are in
// transforms.cpp. ----

int TelescopeMount::CheckTargetAltitude(const SkyPoint& point) {
  const double h = AltitudeOf(*this, point);
  if (h < lowerAltitudeLimit_) return 0;
  if (h < DegToRad(15.0)) return 0;
  if (h > upperAltitudeLimit_) return 0;
  return 5;
}

int TelescopeMount::ResetAlignment() { return 0; }

double TelescopeMount::AlignmentAdjust() { return 0.0; }

MountResult TelescopeMount::ReadAxisPosition(int) { return kNotImplemented; }

MountResult TelescopeMount::ReadAxisState(int) { return kNotImplemented; }

MountResult TelescopeMount::HaltAxesBeforeGoto(uint32_t) { return kOk; }

MountResult TelescopeMount::PrepareRateMotion(int, double) { return kOk; }

MountResult TelescopeMount::Connect() { return kOk; }

MountResult TelescopeMount::SetSite(double newLatitude, double newElevation) {
  const PointingModel::Lock lock = Model().Hold();
  if (!(newLatitude >= -kHalfPi && newLatitude <= kHalfPi)) return kInvalidParameter;
  latitude_ = newLatitude;
  SiteChanged();
  // On an equatorial mount the sign of the tracking rate follows the
  // hemisphere.
  if (Identity().Equatorial()) {
    const double rate = Rates().TrackingRate();
    if ((newLatitude < 0.0 && rate > 0.0) || (newLatitude >= 0.0 && rate < 0.0)) {
      Rates().UseTrackingRate(-rate);
    }
  }
  if (!(newElevation >= SIDERA_LOWEST_ELEVATION && newElevation <= SIDERA_HIGHEST_ELEVATION))
    return kInvalidParameter;
  if (!Model().Aligned()) (void)ResetAlignment();
  return kOk;
}

MountResult TelescopeMount::SetMountErrors(double collimation, double nonPerpendicularity) {
  const PointingModel::Lock lock = Model().Hold();
  (void)ResetAlignment();
  Model().SetMountErrors(collimation, nonPerpendicularity);
  return kOk;
}

int TelescopeMount::CheckStars1(SkyPoint s1) { return CheckTargetAltitude(s1); }

int TelescopeMount::CheckStars2(SkyPoint, SkyPoint s2, int) { return CheckTargetAltitude(s2); }

int TelescopeMount::CheckStars3(SkyPoint, SkyPoint, SkyPoint s3) { return CheckTargetAltitude(s3); }

MountResult TelescopeMount::SlewAxisAtRate(int, double) { return kNotImplemented; }

MountResult TelescopeMount::GotoAxisAngle(int, double) { return kNotImplemented; }

MountResult TelescopeMount::HaltAxis(int) { return kNotImplemented; }

void TelescopeMount::HaltBothAxes(MountResult results[2]) {
  results[0] = HaltAxis(0);
  results[1] = HaltAxis(1);
}

MountResult TelescopeMount::WriteAxisPosition(int axis, double angle) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  Axes().NotePosition(axis, angle);
  return kOk;
}

MountResult TelescopeMount::StartTracking() { return kNotImplemented; }

// Halts every axis that no goto or hand move claims: those are idle or
// tracking. The tracking bit of the state word cannot decide this, since the
// status derivation rewrites it (it shows slewing while the other axis is
// moved by hand). Checked and halted under the command lock, so that a
// motion claiming the axis meanwhile sends its commands after the halt. The
// first halt that fails is reported.
MountResult TelescopeMount::StopTracking() {
  SIDERA_DEBUG_LOG(kMotion, "tracking stops: halting the axes no motion claims");
  MountResult result = kOk;
  for (int axis = 0; axis < 2; ++axis) {
    const MountResult r = SendIf([this, axis] { return axisMoving_[axis] == 0; },
                                 [this, axis] { return HaltAxis(axis); });
    if (r == kOk) NoteHalted(axis);
    if (result == kOk && r != kUserInterrupt) result = r;
  }
  ClearTrackingState();
  return result;
}

MountResult TelescopeMount::MoveAxis(int axis, double rate, int) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  EndKindMotions();
  if (std::fabs(rate) < 1e-6 * kSiderealRate) {
    (void)StopAxis(axis);
    return kOk;
  }
  const MountResult answers = CheckAxisAnswers(axis);
  if (answers != kOk) return answers;
  Axes().NoteRate(axis, rate);
  const uint32_t command = BeginMotion(axis == 0 ? kAxis0 : kAxis1);
  ClearTrackingState();
  // A thread that cannot be started (the mount is shutting down) moves
  // nothing.
  (void)LaunchMoveAxisThread(command, axis, rate);
  return kOk;
}

// The one StopAxis of every kind. It releases the axis under the command
// lock (a motion thread then sends nothing more for it: its next request is
// held back on the line), puts the halt on the wire at once, ahead of every
// other request, then gives a running motion the chance to hand the axes
// back, and finally does what the kind wants once the axis is released.
// Nothing is waited for before the halt has gone out.
MountResult TelescopeMount::StopAxis(int axis) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  int32_t claim = 0;
  {
    const auto lock = LockCommands();
    const uint32_t command = BeginCommand(axis == 0 ? kAxis0 : kAxis1);
    claim = axisMoving_[axis];
    SIDERA_DEBUG_LOG(kMotion, "stop axis %d #%u: takes the axis from #%d (#0: it was free)", axis,
                     command, claim);
    axisMoving_[axis] = 0;
  }
  RequestKindMotionsEnd();
  // An equatorial right ascension axis that only tracks goes on tracking
  // instead of stopping; everything else is halted first.
  const bool haltFirst = !(AfterStopOf(axis) == AfterStop::kTrack && claim == 0);
  const MountResult halt = haltFirst ? HaltAxis(axis) : kOk;
  if (haltFirst && halt == kOk) NoteHalted(axis);
  AwaitKindMotionsEnd();
  // Not resetting the event: a running motion sees the released axis and
  // sets it on its way out. A time-out is not reported: the axis is halted.
  if (!idleEvent_.Wait(kReleaseWaitTicks)) {
    SIDERA_DEBUG_LOG(kMotion, "stop axis %d: the running motion kept the axes for %u ms", axis,
                     kReleaseWaitTicks);
  }
  switch (AfterStopOf(axis)) {
    case AfterStop::kTrack:
      if (halt != kOk) return halt;
      return StartTracking();
    case AfterStop::kHaltThenTrack:
      if (halt != kOk) return halt;
      (void)StartTracking();  // tracking is resumed if it can be; the stop stands
      return kOk;
    case AfterStop::kHalt:
      break;
  }
  // A halted right ascension axis of an equatorial mount no longer tracks.
  if (halt == kOk && axis == 0 && Identity().Equatorial()) ClearTrackingState();
  return halt;
}

// Tracking off and both axes released under the command lock, as
// SetTracking(0) and StopAxis do (a motion thread then sends nothing more:
// its next request is held back on the line); then both halts at once,
// ahead of every other request, with nothing read first. A running motion
// and the kind's own threads are waited for only after the halts are out.
MountResult TelescopeMount::StopEverything() {
  trackingRequested_ = false;
  {
    const auto lock = LockCommands();
    const uint32_t command = BeginCommand(kBothAxes);
    SIDERA_DEBUG_LOG(kMotion, "stop everything #%u: takes the axes from #%d and #%d", command,
                     axisMoving_[0].load(), axisMoving_[1].load());
    axisMoving_[0] = 0;
    axisMoving_[1] = 0;
  }
  RequestKindMotionsEnd();
  MountResult halts[2] = {kOk, kOk};
  HaltBothAxes(halts);
  for (int axis = 0; axis < 2; ++axis) {
    if (halts[axis] == kOk) NoteHalted(axis);
  }
  AwaitKindMotionsEnd();
  if (!idleEvent_.Wait(kReleaseWaitTicks)) {
    SIDERA_DEBUG_LOG(kMotion, "stop everything: the running motion kept the axes for %u ms",
                     kReleaseWaitTicks);
  }
  ClearTrackingState();
  return halts[0] != kOk ? halts[0] : halts[1];
}

MountResult TelescopeMount::GotoSky(SkyPoint target) {
  EndKindMotions();
  const double h = AltitudeOf(*this, target);
  if (h > upperAltitudeLimit_) return kTargetTooHigh;
  if (h < lowerAltitudeLimit_) return kTargetTooLow;
  const MountResult answers = CheckAxesAnswer(kBothAxes);
  if (answers != kOk) return answers;
  const uint32_t startTick = platform::Now();
  published_.SetGotoTarget(target);
  const uint32_t command = BeginMotion(kBothAxes);
  ClearTrackingState();
  trackingRequested_ = false;
  (void)LaunchGotoSkyThread(command, target, startTick);
  return kOk;
}

MountResult TelescopeMount::GotoHorizontal(double azimuth, double altitude) {
  EndKindMotions();
  if (altitude > upperAltitudeLimit_) return kTargetTooHigh;
  if (altitude < lowerAltitudeLimit_) return kTargetTooLow;
  // HorizontalToEquatorial measures azimuth from the south.
  const double southAzimuth = azimuth >= 0.0 ? azimuth - kPi : azimuth + kPi;
  SkyPoint sky{};
  HorizontalToEquatorial(*this, sky, HorizontalPoint{southAzimuth, altitude});
  AxisPair axes{};
  (void)SkyToAxes(sky, axes, 1);
  return StartAxesGoto(axes.axis0, axes.axis1);
}

MountResult TelescopeMount::GotoAxes(double, double) { return kNotImplemented; }

MountResult TelescopeMount::SyncHomePosition() {
  const double home0 = Identity().Equatorial() ? -kHalfPi : 0.0;
  const double home1 = Identity().Equatorial() ? kHalfPi : 0.0;
  const MountResult r = WriteAxisPosition(0, home0);
  if (r != kOk) return r;
  return WriteAxisPosition(1, home1);
}

MountResult TelescopeMount::SyncAxis(int axis, double angle) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  // A failed read leaves the last known state, which decides as usual; a
  // dead controller then fails the write below.
  (void)ReadAxisState(axis);
  if ((Axes().State(axis) & AXIS_STOPPED) == 0) return kAxisBusy;
  const double a = NormalizeAngle(angle);
  Axes().NotePosition(axis, a);
  return WriteAxisPosition(axis, a);
}

MountResult TelescopeMount::SetAltitudeLimits(double lower, double upper) {
  if (upper > kHalfPi) upper = kHalfPi;
  if (!(upper > kPi / 4.0)) return kInvalidParameter;
  upperAltitudeLimit_ = upper;
  // The new upper limit stays stored even when the lower one is refused.
  if (!(lower < kPi / 4.0 && lower > -kPi / 6.0)) return kInvalidParameter;
  lowerAltitudeLimit_ = lower;
  return kOk;
}

MountResult TelescopeMount::SetBacklash(int axis, double angle) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  if (!(angle >= 0.0 && angle <= DegToRad(2.0))) return kInvalidParameter;
  Rates().NoteBacklash(axis, angle);
  return kOk;
}

MountResult TelescopeMount::SetGuideRate(int axis, double rate) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  if (!(rate >= -kSiderealRate && rate <= kSiderealRate)) return kInvalidParameter;
  // Checked, not kept: nothing in the library moves at a guide rate.
  return kOk;
}

// The result says whether tracking was started or stopped: 0, or why not
// (102 while an axis is still driven by a goto or hand move, 100/101 when an
// axis does not answer). A stop draws a command number first, so that a
// tracking start still on its way, or a goto about to end in tracking, gives
// up.
MountResult TelescopeMount::SetTracking(int on) {
  SIDERA_DEBUG_LOG(kMotion, "tracking %s requested", on != 0 ? "on" : "off");
  trackingRequested_ = on;
  (void)UpdateMountState();
  if (on != 0) return StartTracking();
  (void)BeginCommand(kBothAxes);
  return StopTracking();
}

MountResult TelescopeMount::SetTrackingRateMode(int mode) {
  double rate = kSiderealRate;
  if (mode == 1) {
    rate = kTwoPi / 89460.0;  // lunar
  } else if (mode == 2) {
    rate = kTwoPi / 86400.0;  // solar
  }
  if (Latitude() < 0.0 && Identity().Equatorial()) rate = -rate;
  Rates().UseTrackingRate(rate);
  return kOk;
}

MountResult TelescopeMount::ExtensionCommand(int) { return kNotImplemented; }

// A position read-out answers with the axis's reading (kept within the
// read-out window, for a host) or its last known position.
MountResult TelescopeMount::GetAxisPosition(int axis, double* out) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  const ReadOutExchanges readOut;
  if (!MayRead(axis)) {
    *out = Axes().Position(axis);
    return NoResponse(axis);
  }
  const ReadResult read = ReadKept(axis, LineHealth::kPosition);
  *out = read.value;
  return read.result;
}

MountResult TelescopeMount::GetSkyPosition(SkyPoint* out) {
  AxisPair axes{};
  (void)GetAxisPosition(0, &axes.axis0);
  (void)GetAxisPosition(1, &axes.axis1);
  (void)AxesToSky(axes, *out, 1);
  return kOk;
}

MountResult TelescopeMount::GetHorizontalPosition(HorizontalPoint* out) {
  AxisPair axes{};
  (void)GetAxisPosition(0, &axes.axis0);
  (void)GetAxisPosition(1, &axes.axis1);
  SkyPoint sky{};
  (void)AxesToSky(axes, sky, 1);
  out->azimuth = AzimuthOf(*this, sky);
  out->altitude = AltitudeOf(*this, sky);
  return kOk;
}

// A failed state read is not reported by itself (the last known state
// stands), but once the axis counts as silent (see LineHealth) its
// no-response code is, until the axis answers again. A state read that
// sends nothing (a family that polls only gotos) proves nothing, so a silent
// axis is then read for its position.
MountResult TelescopeMount::GetAxisState(int axis, uint32_t* out) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  const ReadOutExchanges readOut;
  const bool mayRead = MayRead(axis);
  const MountResult read = mayRead ? ReadKept(axis, LineHealth::kState).result : NoResponse(axis);
  *out = Axes().State(axis) & 0x1Fu;
  // A motion the host was answered 0 for counts from then on: until its
  // thread has put it on the wire (or ended) the axis still reads stopped,
  // which is the state from before the command.
  if ((*out & AXIS_STOPPED) != 0) {
    const auto claim = static_cast<uint32_t>(axisMoving_[axis].load());
    const MotionOutcome record = Outcomes().Read(axis);
    if (claim != 0 && record.started == claim && record.command != claim) {
      if (Outcomes().Read(MotionOutcomes::kMountSlot).started == claim) {
        *out = AXIS_GOTO;
      } else {
        *out = AXIS_RATE_MOTION | (Axes().Rate(axis) > 0.0 ? AXIS_POSITIVE : 0u);
      }
    }
  }
  if (!AxisSilent(axis)) return kOk;
  if (!mayRead || read != kOk) return NoResponse(axis);
  return CheckAxisAnswers(axis);
}

MountResult TelescopeMount::GetMountState(uint32_t* out) {
  const MountResult r = UpdateMountState();
  *out = published_.MountState() & 0x0Fu;
  return r;
}

}  // namespace sidera
