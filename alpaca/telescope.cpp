// The mount behind the Alpaca telescope: connection, shared readings, the end
// of slews, and the commands, as library calls on the worker thread.
#include "alpaca/telescope.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "alpaca/alpaca_errors.h"
#include "host/library_text.h"
#include "host/mount_connect.h"
#include "host/park_position.h"
#include "host/sky_coordinates.h"
#include "host/sky_frame.h"
#include "host/tracking_rate.h"

namespace sidera::alpaca {
namespace {

using Clock = host::TaskLane::Clock;

// What a task threw, carried back as plain values and thrown anew on the
// caller's thread. Handing the exception object itself across threads would
// leave it to be freed by whichever thread lets go of it last, through
// reference counts inside the C++ runtime that ThreadSanitizer cannot see
// (it reports the free as a race).
struct Failure {
  enum Kind { kNone, kBadRequest, kDeviceError, kOther } kind = kNone;
  int number = 0;
  std::string message = "unknown error";

  static Failure OfCurrentException() {  // call inside a catch block
    Failure failure{kOther};
    try {
      throw;
    } catch (const DeviceError& e) {
      failure = {kDeviceError, e.number, e.what()};
    } catch (const BadRequest& e) {
      failure = {kBadRequest, 0, e.what()};
    } catch (const std::exception& e) {
      failure = {kOther, 0, e.what()};
    } catch (...) {
    }
    return failure;
  }
  void ThrowIfAny() const {
    switch (kind) {
      case kNone:
        return;
      case kDeviceError:
        throw DeviceError(number, message);
      case kBadRequest:
        throw BadRequest(message);
      case kOther:
        break;
    }
    throw std::runtime_error(message);
  }
};
using host::Radians;

}  // namespace

Telescope::Telescope(ServerConfig config, std::string configPath, double clockScale)
    : configPath_(std::move(configPath)),
      config_(config),
      stored_(std::move(config)),
      clock_(clockScale) {
  guideRate_[0] = guideRate_[1] = host::kSiderealRate / 2.0;
  ShareSkyLocked();  // no other thread yet
  // Each new reading is judged as it becomes the one requests get.
  snapshot_.OnReading([this](const Snapshot& s) {
    std::lock_guard<std::mutex> lock(mutex_);
    Judge(s);
  });
  pulses_.OnEnded([](int, uint64_t, int code) {
    if (code != SIDERA_OK) {
      std::fprintf(stderr, "sidera-alpaca: %s\n",
                   host::LibraryFailure(code, "Ending a guide pulse").c_str());
    }
  });
  if (stored_.uniqueId.empty()) {
    const std::string id = NewUniqueId();
    RecordLocked([&](ServerConfig& c) { c.uniqueId = id; });
  }
}

void Telescope::UseForThisRun(const ServerConfig& inForce) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_ = inForce;
  config_.uniqueId = stored_.uniqueId;
  ShareSkyLocked();
}

Telescope::~Telescope() { Shutdown(); }

template <typename F>
auto Telescope::OnWorker(F f, std::chrono::milliseconds timeout, host::TaskLane* lane) {
  using R = decltype(f());
  struct Outcome {
    std::optional<R> value;
    Failure failure;
  };
  auto result = (lane != nullptr ? *lane : worker_.calls)
                    .Call(
                        [f = std::move(f)]() mutable {
                          Outcome out;
                          try {
                            out.value.emplace(f());
                          } catch (...) {
                            out.failure = Failure::OfCurrentException();
                          }
                          return out;
                        },
                        timeout);
  if (!result) {
    throw DeviceError(kDriverError, "the mount did not finish within " +
                                        std::to_string(timeout.count() / 1000) +
                                        " s; it may not be answering");
  }
  result->failure.ThrowIfAny();
  return std::move(*result->value);
}

void Telescope::Check(int code, const std::string& what) {
  if (code == SIDERA_OK) return;
  throw DeviceError(AlpacaNumberOf(code), host::LibraryFailure(code, what));
}

void Telescope::RequireConnected() const {
  if (!connected_) throw DeviceError(kNotConnected, "the telescope is not connected");
}

void Telescope::Invalidate() { snapshot_.Invalidate(); }

void Telescope::ShareSkyLocked() {
  snapshot_.SetSky(clock_, config_.site ? config_.site->longitude : 0.0);
}

void Telescope::StoreLocked(const std::function<void(ServerConfig&)>& change) {
  ServerConfig next = stored_;
  change(next);
  std::string error;
  // Without a configuration file (no home folder) settings last for the run.
  if (!configPath_.empty() && !SaveConfig(configPath_, next, &error)) {
    throw DeviceError(kDriverError,
                      "the setting could not be stored, the old value stays in force: " + error);
  }
  stored_ = std::move(next);
  change(config_);
  ShareSkyLocked();
}

void Telescope::RecordLocked(const std::function<void(ServerConfig&)>& change) {
  try {
    StoreLocked(change);
  } catch (const DeviceError& e) {
    change(config_);
    ShareSkyLocked();
    std::fprintf(stderr, "sidera-alpaca: %s\n", e.what());
  }
}

// --- configuration

ServerConfig Telescope::Config() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_;
}

void Telescope::Configure(const ServerConfig& changes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool otherMount = changes.model != config_.model || changes.device != config_.device;
  StoreLocked([&](ServerConfig& c) {
    if (otherMount) c.parked = false;
    c.model = changes.model;
    c.device = changes.device;
    c.site = changes.site;
    c.parkAxis0 = changes.parkAxis0;
    c.parkAxis1 = changes.parkAxis1;
    c.syncAddsPoints = changes.syncAddsPoints;
  });
}

const host::ModelFacts& Telescope::Facts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return *host::FactsOf(connected_ ? model_ : config_.model);
}

double Telescope::GotoToleranceDegrees() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connected_ ? gotoToleranceDegrees_ : host::FactsOf(config_.model)->gotoToleranceDegrees;
}

std::string Telescope::ModelName() const { return host::ModelLabel(Facts().type); }

std::string Telescope::UniqueId() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_.uniqueId;
}

// --- connection

void Telescope::SetClientTimeout(std::chrono::seconds timeout) {
  std::lock_guard<std::mutex> lock(mutex_);
  clientTimeout_ = timeout;
}

void Telescope::Seen(uint32_t client) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto it = clients_.find(client); it != clients_.end()) it->second = Clock::now();
}

void Telescope::Connect(uint32_t client) {
  std::lock_guard<std::mutex> lock(mutex_);
  clients_[client] = Clock::now();
  if (connected_ || connecting_) return;
  connecting_ = true;
  connectFailure_.clear();
  worker_.calls.Post([this, settings = config_] { ConnectOnWorker(settings); });
}

void Telescope::Disconnect(uint32_t client) {
  std::lock_guard<std::mutex> lock(mutex_);
  clients_.erase(client);
  const auto silentSince = Clock::now() - clientTimeout_;
  std::erase_if(clients_, [&](const auto& c) { return c.second < silentSince; });
  if (!clients_.empty() || !connected_ || connecting_) return;
  connecting_ = true;
  worker_.calls.Post([this] { DisconnectOnWorker(); });
}

void Telescope::SetConnected(uint32_t client, bool connected) {
  if (connected) {
    Connect(client);
  } else {
    Disconnect(client);
  }
  // Tasks run in order: this one ends after the connect or disconnect.
  (void)OnWorker([] { return 0; }, std::chrono::seconds(60));
  std::lock_guard<std::mutex> lock(mutex_);
  if (connected && !connected_ && !connectFailure_.empty()) {
    const std::string failure = std::exchange(connectFailure_, "");
    throw DeviceError(connectFailureNumber_, failure);
  }
}

bool Telescope::Connected(uint32_t client) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connected_ && clients_.count(client) != 0;
}

bool Telescope::Connecting() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!connecting_ && !connectFailure_.empty()) {
    throw DeviceError(connectFailureNumber_, std::exchange(connectFailure_, ""));
  }
  return connecting_;
}

void Telescope::ConnectOnWorker(const ServerConfig& settings) {
  const host::ModelFacts& facts = *host::FactsOf(settings.model);
  const SiteSetting site = settings.site.value_or(SiteSetting{});
  const host::ConnectOutcome connect =
      host::ConnectMount({settings.model, settings.device, "choose one on the setup page, /setup",
                          "choose its model on the setup page, /setup"},
                         Radians(site.latitude), site.elevation);
  const int code = connect.code;
  bool equatorial = false;
  double tolerance = facts.gotoToleranceDegrees;
  if (code == SIDERA_OK) {
    equatorial = IsEquatorialMount() == 1;
    tolerance = host::ConnectedGotoToleranceDegrees(tolerance);
    (void)SetTrackingRateMode(0);  // always 0 with a mount
  }
  std::lock_guard<std::mutex> lock(mutex_);
  connecting_ = false;
  if (code != SIDERA_OK) {
    connectFailure_ = connect.failure;
    connectFailureNumber_ = AlpacaNumberOf(code);
    clients_.clear();
  } else {
    connected_ = true;
    model_ = settings.model;
    equatorial_ = equatorial;
    gotoToleranceDegrees_ = tolerance;
    tracking_ = false;
    trackingRate_ = 0;
    motion_ = {};
    moveRate_[0] = moveRate_[1] = 0;
    pulses_.Forget();
    for (int axis = 0; axis < 2; ++axis) (void)::SetGuideRate(axis, guideRate_[axis]);
    snapshot_.Open();
  }
}

void Telescope::StopAllOnWorker() { Check(host::StopEverything(), "Stopping the mount"); }

void Telescope::DisconnectOnWorker() {
  try {
    StopAllOnWorker();
  } catch (const DeviceError& e) {
    std::fprintf(stderr, "sidera-alpaca: %s\n", e.what());
  }
  (void)DestroyMount();  // always 0
  syncModel_.Forget();
  std::lock_guard<std::mutex> lock(mutex_);
  connected_ = false;
  connecting_ = false;
  clients_.clear();
  motion_ = {};
  moveRate_[0] = moveRate_[1] = 0;
  pulses_.Forget();
  snapshot_.Close();
}

void Telescope::Shutdown() {
  bool connected = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connected = connected_;
  }
  if (connected)
    (void)worker_.calls.Call(
        [this] {
          DisconnectOnWorker();
          return 0;
        },
        std::chrono::seconds(30));
  worker_.Stop();
}

// --- readings

Snapshot Telescope::Read() {
  RequireConnection();
  Snapshot s;
  switch (snapshot_.Read(&s)) {
    case host::SnapshotCache::Status::kRead:
      break;
    case host::SnapshotCache::Status::kClosed:
      throw DeviceError(kNotConnected, "the telescope is not connected");
    case host::SnapshotCache::Status::kLate:
      throw DeviceError(kDriverError, "the mount did not answer within 20 s");
  }
  if (s.code != SIDERA_OK) throw DeviceError(AlpacaNumberOf(s.code), s.error);
  return s;
}

void Telescope::Judge(const Snapshot& s) {
  if (motion_.kind == MotionKind::kNone) return;
  // The library records how the goto ended (no time limit here: a client
  // aborts a slew it finds too long). The record takes no exchange, so it
  // holds when the reads of this refresh failed: an end that comes while the
  // controller garbles a reply is still recorded, and a dead line ends the
  // goto in the record too. Only a record that cannot be read ends the slew.
  if (s.recordCode != SIDERA_OK) {
    motion_ = {};
    return;
  }
  if (motion_.watch.Observe(s.gotoRecord, 0) != host::GotoWatch::State::kEnded) return;
  const bool arrived = motion_.watch.end() == host::GotoWatch::End::kArrived;
  if (motion_.kind == MotionKind::kPark && arrived) {
    RecordLocked([](ServerConfig& c) { c.parked = true; });
  }
  motion_ = {};
  settleUntil_ = Clock::now() + std::chrono::seconds(settleSeconds_);
}

DeviceView Telescope::View() {
  const Snapshot s = Read();
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = Clock::now();
  DeviceView v;
  v.slewing = motion_.kind != MotionKind::kNone || moveRate_[0] != 0 || moveRate_[1] != 0 ||
              now < settleUntil_ || (s.mountState & SIDERA_MOUNT_GOTO) != 0;
  v.tracking = tracking_;
  v.atPark = config_.parked;
  v.pulseGuiding = pulses_.Running();
  v.trackingRate = trackingRate_;
  return v;
}

void Telescope::RequireConnection() const {
  std::lock_guard<std::mutex> lock(mutex_);
  RequireConnected();
}

bool Telescope::AtPark() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_.parked;
}

bool Telescope::Tracking() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tracking_;
}

bool Telescope::Equatorial() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connected_ ? equatorial_ : host::FactsOf(config_.model)->equatorial;
}

std::optional<SiteSetting> Telescope::Site() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_.site;
}

int64_t Telescope::UtcNow() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clock_.NowUnixMillis();
}

double Telescope::LocalSiderealTime(int64_t utc) const {
  const auto site = Site();
  return host::LocalApparentSiderealTimeAt(site ? site->longitude : 0.0, utc);
}

double Telescope::GuideRate(int axis) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return guideRate_[axis];
}

int Telescope::SlewSettleTime() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return settleSeconds_;
}

std::optional<double> Telescope::TargetRa() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return targetRa_;
}

std::optional<double> Telescope::TargetDec() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return targetDec_;
}

void Telescope::SetTarget(std::optional<double> raHours, std::optional<double> decDegrees) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (raHours) targetRa_ = raHours;
  if (decDegrees) targetDec_ = decDegrees;
}

double Telescope::ParkAxis(int axis) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const host::ModelFacts& facts = *host::FactsOf(connected_ ? model_ : config_.model);
  const AxisPair park = host::ParkAxes(facts, config_.parkAxis0, config_.parkAxis1);
  return axis == 0 ? park.axis0 : park.axis1;
}

double Telescope::HomeAxis(int axis) const {
  const AxisPair home = host::HomeAxes(Facts());
  return axis == 0 ? home.axis0 : home.axis1;
}

// --- commands

void Telescope::StartMotion(MotionKind kind) {
  // The mount's record now names the goto as started.
  MotionOutcome record{};
  (void)GetMotionOutcome(SIDERA_OUTCOME_MOUNT, &record);
  std::lock_guard<std::mutex> lock(mutex_);
  // The library gives the axes to the newest command: hand moves and guide
  // pulses under way have ended.
  motion_ = Motion{kind, {}};
  motion_.watch.Start(record, 0);
  moveRate_[0] = moveRate_[1] = 0;
  pulses_.Forget();
  settleUntil_ = {};
  Invalidate();
}

void Telescope::SlewToSky(double raHours, double decDegrees) {
  const int64_t utc = UtcNow();
  const double lst = LocalSiderealTime(utc);
  OnWorker([=, this] {
    Check(GotoSky(host::HourAngleOf(raHours, lst), Radians(decDegrees)),
          "Slewing to " + host::CoordinatesText(raHours, decDegrees));
    StartMotion(MotionKind::kSky);
    return 0;
  });
}

void Telescope::SlewToHorizontal(double azimuthDegrees, double altitudeDegrees) {
  OnWorker([=, this] {
    char what[96];
    std::snprintf(what, sizeof what, "Slewing to azimuth %.4f\u00b0, altitude %.4f\u00b0",
                  azimuthDegrees, altitudeDegrees);
    Check(GotoHorizontal(host::WrapPi(Radians(azimuthDegrees)), Radians(altitudeDegrees)), what);
    StartMotion(MotionKind::kHorizontal);
    return 0;
  });
}

void Telescope::SyncToSky(double raHours, double decDegrees) {
  Sync(raHours, decDegrees, Config().syncAddsPoints);
}

void Telescope::AddSyncPoint(double raHours, double decDegrees) { Sync(raHours, decDegrees, true); }

void Telescope::Sync(double raHours, double decDegrees, bool addsPoint) {
  OnWorker([=, this] {
    const std::string what = "Syncing on " + host::CoordinatesText(raHours, decDegrees);
    const auto site = Site();
    host::SyncPoint star;
    Check(
        host::ObserveCentredStar(
            raHours, decDegrees, [this] { return UtcNow(); }, site ? site->longitude : 0.0, &star),
        what);
    Check(syncModel_.Sync(star.observation, raHours, addsPoint), what);
    std::lock_guard<std::mutex> lock(mutex_);
    Invalidate();
    return 0;
  });
}

void Telescope::ClearSyncPoints() {
  OnWorker([this] {
    bool connected = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      connected = connected_;
    }
    Check(syncModel_.Clear(connected), "Clearing the sync points");
    std::lock_guard<std::mutex> lock(mutex_);
    Invalidate();
    return 0;
  });
}

void Telescope::AbortSlew() {
  // On the stop lane: the stops reach the controller at once, whatever call
  // the calls lane is waiting on.
  OnWorker(
      [=, this] {
        bool tracking = false;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          tracking = tracking_;
          motion_ = {};
          moveRate_[0] = moveRate_[1] = 0;
          pulses_.Forget();
          settleUntil_ = {};
          Invalidate();
        }
        StopAllOnWorker();
        // Tracking goes back to what it was before the slew.
        if (tracking) Check(::SetTracking(1), "Restarting tracking");
        return 0;
      },
      std::chrono::seconds(20), &worker_.stops);
}

// Tracking off, then an axes goto to a fixed position (the park or the
// home position), watched as `kind`.
void Telescope::GotoFixedPosition(double axis0, double axis1, MotionKind kind, const char* what) {
  OnWorker([=, this] {
    MotionOutcome record{};
    Check(host::GotoFixedPosition(AxisPair{axis0, axis1}, &record), what);
    StartMotion(kind);
    std::lock_guard<std::mutex> lock(mutex_);
    tracking_ = false;
    return 0;
  });
}

void Telescope::Park() {
  GotoFixedPosition(ParkAxis(0), ParkAxis(1), MotionKind::kPark, "Parking");
}

void Telescope::Unpark() {
  std::lock_guard<std::mutex> lock(mutex_);
  RecordLocked([](ServerConfig& c) { c.parked = false; });
}

void Telescope::SetPark() {
  const Snapshot s = Read();
  std::lock_guard<std::mutex> lock(mutex_);
  StoreLocked([&](ServerConfig& c) {
    c.parkAxis0 = host::Degrees(s.axes.axis0);
    c.parkAxis1 = host::Degrees(s.axes.axis1);
  });
}

void Telescope::FindHome() {
  GotoFixedPosition(HomeAxis(0), HomeAxis(1), MotionKind::kHome, "Going home");
}

void Telescope::MoveAxis(int axis, double degreesPerSecond) {
  const double rate = Radians(degreesPerSecond);
  OnWorker([=, this] {
    // A zero rate stops the axis; the library then resumes tracking when it
    // was on.
    Check(rate == 0 ? StopAxis(axis) : ::MoveAxis(axis, rate),
          rate == 0 ? "Stopping the axis" : "Moving the axis");
    std::lock_guard<std::mutex> lock(mutex_);
    moveRate_[axis] = rate;
    if (rate == 0 && moveRate_[1 - axis] == 0) {
      settleUntil_ = Clock::now() + std::chrono::seconds(settleSeconds_);
    }
    Invalidate();
    return 0;
  });
}

void Telescope::PulseGuide(int direction, int milliseconds) {
  OnWorker([=, this] {
    // GuideDirections: 0 north, 1 south, 2 east, 3 west.
    const host::Direction towards =
        std::array{host::Direction::North, host::Direction::South, host::Direction::East,
                   host::Direction::West}[direction];
    const int lane = host::GuidePulses::LaneOf(towards);
    host::MountGeometry geometry;
    double rate = 0, trackingRate = 0;
    Clock::duration duration{};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (milliseconds > 0) duration = std::chrono::milliseconds(clock_.RealMillis(milliseconds));
      rate = host::GuidePulses::SignOf(towards) * guideRate_[lane];
      geometry.equatorial = equatorial_;
      geometry.southern = config_.site && config_.site->latitude < 0;
      trackingRate = tracking_ ? host::TrackingSkyRate(trackingRate_) : 0.0;
    }
    Check(pulses_.Start(lane, rate, duration, geometry, trackingRate), "Guiding");
    return 0;
  });
}

void Telescope::SetTracking(bool on) {
  OnWorker([=, this] {
    Check(::SetTracking(on ? 1 : 0), on ? "Starting tracking" : "Stopping tracking");
    std::lock_guard<std::mutex> lock(mutex_);
    tracking_ = on;
    Invalidate();
    return 0;
  });
}

void Telescope::SetTrackingRate(int driveRate) {
  OnWorker([=, this] {
    bool tracking = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tracking = tracking_;
    }
    const int code = host::ChangeTrackingRate(driveRate, tracking);
    // With a mount the rate is always taken; only the restart of tracking
    // can fail after it, and the rate stays the one in force.
    if (code != SIDERA_NO_MOUNT) {
      std::lock_guard<std::mutex> lock(mutex_);
      trackingRate_ = driveRate;
    }
    Check(code, "Changing the tracking rate");
    return 0;
  });
}

void Telescope::SetSite(const SiteSetting& site) {
  // Stored first: a site that cannot be kept is refused before the mount
  // takes it; one the mount refuses is taken back.
  bool connected = false;
  std::optional<SiteSetting> before;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connected = connected_;
    before = stored_.site;
    StoreLocked([&](ServerConfig& c) { c.site = site; });
    Invalidate();
  }
  if (!connected) return;
  try {
    OnWorker([=, this] {
      Check(::SetSite(Radians(site.latitude), site.elevation), "Setting the site");
      return 0;
    });
  } catch (const DeviceError&) {
    std::lock_guard<std::mutex> lock(mutex_);
    RecordLocked([&](ServerConfig& c) { c.site = before; });
    throw;
  }
}

void Telescope::SetGuideRate(int axis, double radiansPerSecond) {
  OnWorker([=, this] {
    Check(::SetGuideRate(axis, radiansPerSecond), "Setting the guide rate");
    std::lock_guard<std::mutex> lock(mutex_);
    guideRate_[axis] = radiansPerSecond;
    return 0;
  });
}

void Telescope::SetSlewSettleTime(int seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  settleSeconds_ = seconds;
}

void Telescope::SetUtc(int64_t utcMillis) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_.Set(utcMillis, host::SkyClock::Steady::now());
  ShareSkyLocked();
}

AxisPair Telescope::AxesFor(double raHours, double decDegrees) {
  const double lst = LocalSiderealTime(UtcNow());
  return OnWorker([=, this] {
    AxisPair axes{};
    (void)SkyToAxes(SkyPoint{host::HourAngleOf(raHours, lst), Radians(decDegrees)},
                    &axes);  // 0 with a mount
    return axes;
  });
}

}  // namespace sidera::alpaca
