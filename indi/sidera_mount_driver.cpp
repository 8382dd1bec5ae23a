// The INDI glue of "Sidera Mount": property handlers that post library work
// to the worker, and reply handlers that show the results.
#include "indi/sidera_mount_driver.h"

#include <libindi/indicom.h>
#include <libindi/indidriver.h>

#include <chrono>
#include <cmath>
#include <cstring>

#include "host/civil_time.h"
#include "indi/goto_report.h"
#include "indi/library_text.h"
#include "indi/sky_coordinates.h"
#include "sidera.h"

namespace sidera::indi {
namespace {

constexpr int kModelCount = 12;
constexpr const char* kAlignmentTab = "Alignment";
// Sky seconds after which a goto the library has not ended counts as hung.
constexpr double kGotoLimitSeconds = 600.0;
// Code of a queued motion request dropped because an abort came after it.
constexpr int kDropped = -1;

int64_t SystemUtcMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool IsSimulator(int model) { return model == 6 || model == 7; }

bool Named(const char* a, const char* b) { return a != nullptr && std::strcmp(a, b) == 0; }

// Shows a failed library call on the property it concerns.
void ShowFailure(ISwitchVectorProperty& sp, const Outcome& o) {
  if (o.ok()) return;
  sp.s = IPS_ALERT;
  IDSetSwitch(&sp, "%s", o.text.c_str());
}

void ShowFailure(INumberVectorProperty& np, const Outcome& o) {
  if (o.ok()) return;
  np.s = IPS_ALERT;
  IDSetNumber(&np, "%s", o.text.c_str());
}

// The elements of `property` that an update leaves out, as "RA, DEC"; ""
// when it carries them all.
std::string MissingElements(const INDI::PropertyNumber& property, char* names[], int n) {
  std::string missing;
  for (const auto& element : property) {
    bool given = false;
    for (int i = 0; i < n && !given; ++i) given = Named(names[i], element.getName());
    if (!given) missing += (missing.empty() ? "" : ", ") + std::string(element.getName());
  }
  return missing;
}

// 12:34:56 for hours or degrees, as INDI clients show them.
std::string Sexagesimal(double value) {
  char text[32];
  fs_sexa(text, value, 2, 3600);
  return text;
}

}  // namespace

// Runs `work` on the library worker and then `done` with its result on the
// event loop, unless a connect or disconnect has come in between.
template <typename Work, typename Done>
void SideraMountDriver::Run(Work work, Done done) {
  const int generation = generation_;
  LibraryWorker* worker = worker_.get();
  worker->Post([this, worker, generation, work, done] {
    auto result = work();
    worker->Reply([this, generation, result, done] {
      if (Current(generation)) done(result);
    });
  });
}

SideraMountDriver::SideraMountDriver()
    : clock_(host::ClockScaleFromEnvironment(), SystemUtcMillis(), host::SkyClock::Steady::now()),
      stopLane_(std::make_unique<LibraryWorker>()),
      worker_(std::make_unique<LibraryWorker>()) {
  setVersion(1, 0);
  SetTelescopeCapability(TELESCOPE_CAN_GOTO | TELESCOPE_CAN_SYNC | TELESCOPE_CAN_PARK |
                             TELESCOPE_CAN_ABORT | TELESCOPE_HAS_TIME | TELESCOPE_HAS_LOCATION |
                             TELESCOPE_HAS_PIER_SIDE | TELESCOPE_HAS_TRACK_MODE |
                             TELESCOPE_CAN_CONTROL_TRACK,
                         static_cast<uint8_t>(kSlewPresets.size()));
  // The library opens the serial device itself, so INDI's port plugins stay out.
  setTelescopeConnection(CONNECTION_NONE);
  IEAddCallback(
      worker_->notifyFd(),
      [](int, void* self) { static_cast<SideraMountDriver*>(self)->worker_->RunReplies(); }, this);
}

SideraMountDriver::~SideraMountDriver() {
  // The worker runs what is queued, then this last request, then stops.
  worker_->Post([this] { session_.Disconnect(); });
  worker_->Stop();
}

const char* SideraMountDriver::getDefaultName() { return "Sidera Mount"; }

bool SideraMountDriver::initProperties() {
  INDI::Telescope::initProperties();
  const char* dev = getDeviceName();

  for (int i = 0; i < kModelCount; ++i) {
    const std::string name = "MODEL_" + std::to_string(i);
    IUFillSwitch(&modelS_[i], name.c_str(), MountSession::ModelName(i).c_str(),
                 i == 6 ? ISS_ON : ISS_OFF);
  }
  IUFillSwitchVector(&modelSP_, modelS_, kModelCount, dev, "MOUNT_MODEL", "Mount model",
                     CONNECTION_TAB, IP_RW, ISR_1OFMANY, 60, IPS_IDLE);
  IUFillText(&portT_[0], "PORT", "Port", "");
  IUFillTextVector(&portTP_, portT_, 1, dev, "DEVICE_PORT", "Ports", CONNECTION_TAB, IP_RW, 60,
                   IPS_IDLE);

  IUFillNumber(&horizontalN_[0], "AZ", "Az D:M:S", "%10.6m", 0.0, 360.0, 0.0, 0.0);
  IUFillNumber(&horizontalN_[1], "ALT", "Alt D:M:S", "%10.6m", -90.0, 90.0, 0.0, 0.0);
  IUFillNumberVector(&horizontalNP_, horizontalN_, 2, dev, "HORIZONTAL_COORD", "Horizontal",
                     MAIN_CONTROL_TAB, IP_RO, 60, IPS_IDLE);

  IUFillNumber(&guideRateN_[0], "GUIDE_RATE_WE", "W/E Rate", "%.2f", 0.1, 1.0, 0.1, 0.5);
  IUFillNumber(&guideRateN_[1], "GUIDE_RATE_NS", "N/S Rate", "%.2f", 0.1, 1.0, 0.1, 0.5);
  IUFillNumberVector(&guideRateNP_, guideRateN_, 2, dev, "GUIDE_RATE", "Guiding Rate", GUIDE_TAB,
                     IP_RW, 60, IPS_IDLE);

  IUFillNumber(&alignN_[0], "STARS", "Synced stars", "%.0f", 0.0, 3.0, 1.0, 0.0);
  IUFillNumber(&alignN_[1], "QUALITY", "Quality", "%.0f", 0.0, 100.0, 1.0, 0.0);
  IUFillNumber(&alignN_[2], "RESIDUAL", "Residual (arcmin)", "%.2f", 0.0, 10800.0, 0.0, 0.0);
  IUFillNumberVector(&alignNP_, alignN_, 3, dev, "SIDERA_ALIGNMENT", "Alignment", kAlignmentTab,
                     IP_RO, 60, IPS_IDLE);
  IUFillSwitch(&alignClearS_[0], "CLEAR", "Clear", ISS_OFF);
  IUFillSwitchVector(&alignClearSP_, alignClearS_, 1, dev, "SIDERA_ALIGNMENT_CLEAR",
                     "Clear alignment", kAlignmentTab, IP_RW, ISR_ATMOST1, 60, IPS_IDLE);
  IUFillText(&alignDataT_[0], "RECORD", "Record", "");
  IUFillTextVector(&alignDataTP_, alignDataT_, 1, dev, "SIDERA_ALIGNMENT_DATA", "Saved alignment",
                   kAlignmentTab, IP_RW, 60, IPS_IDLE);

  // The presets' names stay INDI's rate names; the labels say the rates.
  static const char* const kPresetNames[] = {"SLEW_GUIDE", "SLEW_CENTERING", "SLEW_FIND",
                                             "SLEW_MAX"};
  for (size_t i = 0; i < kSlewPresets.size(); ++i) {
    IUFillSwitch(&SlewRateS[i], kPresetNames[i], SlewPresetLabel(static_cast<int>(i)).c_str(),
                 SlewRateS[i].s);
  }
  AddTrackMode("TRACK_SIDEREAL", "Sidereal", true);
  AddTrackMode("TRACK_SOLAR", "Solar");
  AddTrackMode("TRACK_LUNAR", "Lunar");

  initGuiderProperties(dev, GUIDE_TAB);
  setDriverInterface(getDriverInterface() | GUIDER_INTERFACE);
  SetParkDataType(PARK_NONE);
  addDebugControl();
  return true;
}

void SideraMountDriver::ISGetProperties(const char* dev) {
  INDI::Telescope::ISGetProperties(dev);
  defineProperty(&modelSP_);
  defineProperty(&portTP_);
  defineProperty(&alignDataTP_);
  if (!configLoaded_) {
    configLoaded_ = true;
    loadConfig(true, modelSP_.name);
    loadConfig(true, portTP_.name);
    loadConfig(true, alignDataTP_.name);
  }
}

bool SideraMountDriver::updateProperties() {
  INDI::Telescope::updateProperties();
  if (isConnected()) {
    defineProperty(&horizontalNP_);
    defineProperty(&GuideNSNP);
    defineProperty(&GuideWENP);
    defineProperty(&guideRateNP_);
    defineProperty(&alignNP_);
    defineProperty(&alignClearSP_);
    if (!equatorial_) deleteProperty(PierSideSP.name);
  } else {
    deleteProperty(horizontalNP_.name);
    deleteProperty(GuideNSNP.name);
    deleteProperty(GuideWENP.name);
    deleteProperty(guideRateNP_.name);
    deleteProperty(alignNP_.name);
    deleteProperty(alignClearSP_.name);
  }
  return true;
}

// ---- Connection ------------------------------------------------------------

bool SideraMountDriver::Connect() { return isConnected(); }      // connection runs on the worker
bool SideraMountDriver::Disconnect() { return !isConnected(); }  // (see HandleConnection)

void SideraMountDriver::HandleConnection(ISState* states, char* names[], int n) {
  bool connect = false;
  for (int i = 0; i < n; ++i) {
    if (Named(names[i], "CONNECT")) connect = states[i] == ISS_ON;
    if (Named(names[i], "DISCONNECT") && states[i] == ISS_ON) connect = false;
  }
  if (connect) {
    if (!isConnected() && !connecting_) {
      StartConnect();
    } else {
      getSwitch("CONNECTION").apply();  // already connected, or on the way: say so again
    }
  } else if (isConnected() || connecting_) {
    StartDisconnect();
  } else {
    setConnected(false, IPS_IDLE);
  }
}

void SideraMountDriver::StartConnect() {
  const int model = IUFindOnSwitchIndex(&modelSP_);
  ConnectRequest request;
  request.model = model < 0 ? 6 : model;
  request.devicePath = portT_[0].text != nullptr ? portT_[0].text : "";
  request.debug = isDebug();
  request.site = SiteForConnect();
  request.savedAlignment = savedAlignment_;
  if (!IsSimulator(request.model) && request.devicePath.empty()) {
    setConnected(false, IPS_ALERT,
                 "Choose the serial device of the mount in DEVICE_PORT (Connection tab) first");
    return;
  }
  ++generation_;
  connecting_ = true;
  pollInFlight_ = false;
  auto connection = getSwitch("CONNECTION");
  connection.setState(IPS_BUSY);
  connection.apply("Connecting to %s...", modelS_[request.model].label);
  Run([this, request] { return session_.Connect(request); },
      [this, model = request.model](const ConnectResult& r) { OnConnected(r, model); });
}

void SideraMountDriver::OnConnected(const ConnectResult& result, int model) {
  connecting_ = false;
  if (!result.outcome.ok()) {
    setConnected(false, IPS_ALERT, result.outcome.text.c_str());
    return;
  }
  equatorial_ = result.equatorial;
  gotoKind_ = GotoKind::None;
  watch_.Cancel();
  trackingWanted_ = false;
  moving_ = {false, false};
  alertLatched_ = false;
  linkAlert_.clear();
  setConnected(true, IPS_OK, nullptr);
  // The model and port that worked are the ones to offer next time.
  saveConfig(true, modelSP_.name);
  saveConfig(true, portTP_.name);
  LOG_INFO(("Connected to " + std::string(modelS_[model].label) +
            (equatorial_ ? " (equatorial)" : " (alt-azimuth)"))
               .c_str());
  updateProperties();
  ShowTrackSwitch();
  // Choices kept in the configuration that only exist while connected.
  loadConfig(true, "TELESCOPE_SLEW_RATE");
  loadConfig(true, "TELESCOPE_TRACK_MODE");
  loadConfig(true, guideRateNP_.name);
  const double we = guideRateN_[0].value;
  const double ns = guideRateN_[1].value;
  Run([this, we, ns] { return session_.SetGuideRates(we, ns); },
      [this](const Outcome& o) { ShowFailure(guideRateNP_, o); });
  if (result.alignmentLoaded) {
    LOG_INFO("The saved alignment is in use.");
  } else if (savedAlignment_) {
    LOG_INFO(("The saved alignment was not loaded: " + result.alignmentLoad.text).c_str());
  }
  Run([this] { return session_.Alignment(); },
      [this](const AlignmentState& state) { ShowAlignment(state); });
  if (pollTimer_ >= 0) RemoveTimer(pollTimer_);
  pollTimer_ = SetTimer(getCurrentPollingPeriod());
  RequestPoll();
}

void SideraMountDriver::StartDisconnect() {
  CancelPulses();
  ++motionEpoch_;
  watch_.Cancel();
  gotoKind_ = GotoKind::None;
  ++generation_;
  connecting_ = false;
  pollInFlight_ = false;
  Run(
      [this] {
        session_.Disconnect();
        return 0;
      },
      [this](int) {
        setConnected(false, IPS_IDLE, nullptr);
        updateProperties();
        LOG_INFO("Disconnected.");
      });
}

// ---- Property handlers -----------------------------------------------------

bool SideraMountDriver::ISNewSwitch(const char* dev, const char* name, ISState* states,
                                    char* names[], int n) {
  if (Named(dev, getDeviceName())) {
    if (Named(name, "CONNECTION")) {
      HandleConnection(states, names, n);
      return true;
    }
    if (Named(name, modelSP_.name)) {
      if (isConnected() || connecting_) {
        modelSP_.s = IPS_ALERT;
        IDSetSwitch(&modelSP_, "Disconnect before choosing another mount model");
        return true;
      }
      IUUpdateSwitch(&modelSP_, states, names, n);
      modelSP_.s = IPS_OK;
      IDSetSwitch(&modelSP_, nullptr);
      return true;
    }
    if (Named(name, alignClearSP_.name)) {
      IUResetSwitch(&alignClearSP_);
      alignClearSP_.s = IPS_BUSY;
      IDSetSwitch(&alignClearSP_, nullptr);
      Run(
          [this] {
            AlignmentState state;
            const Outcome o = session_.ClearAlignment(&state);
            return std::make_pair(o, state);
          },
          [this](const std::pair<Outcome, AlignmentState>& r) {
            alignClearSP_.s = r.first.ok() ? IPS_OK : IPS_ALERT;
            IDSetSwitch(&alignClearSP_, "%s",
                        r.first.ok() ? "Alignment cleared" : r.first.text.c_str());
            ShowAlignment(r.second);
          });
      return true;
    }
  }
  return INDI::Telescope::ISNewSwitch(dev, name, states, names, n);
}

bool SideraMountDriver::ISNewNumber(const char* dev, const char* name, double values[],
                                    char* names[], int n) {
  if (Named(dev, getDeviceName())) {
    // INDI passes on only the elements it could read as numbers (it answers
    // "Bad format" for the others), so an update that lost one would act on
    // the old value in its place. As INDI's protocol asks, an update of a
    // number vector carries every element; a short one is refused whole.
    // Guide pulses are the exception: clients send the one direction alone.
    if (!Named(name, GuideNSNP.name) && !Named(name, GuideWENP.name)) {
      INDI::PropertyNumber property = getNumber(name);
      const std::string missing = property.isValid() ? MissingElements(property, names, n) : "";
      if (!missing.empty()) {
        const std::string text =
            "Refused: " + missing + " missing or not a number; nothing was changed";
        if (Named(name, EqNP.name)) {
          AlertEquatorial(text);
        } else {
          property.setState(IPS_ALERT);
          property.apply("%s", text.c_str());
        }
        return true;
      }
    }
    if (Named(name, EqNP.name)) {
      HandleEquatorial(values, names, n);
      return true;
    }
    if (Named(name, GuideNSNP.name) || Named(name, GuideWENP.name)) {
      HandlePulse(Named(name, GuideNSNP.name) ? 1 : 0, values, names, n);
      return true;
    }
    if (Named(name, guideRateNP_.name)) {
      IUUpdateNumber(&guideRateNP_, values, names, n);
      guideRateNP_.s = IPS_OK;
      IDSetNumber(&guideRateNP_, nullptr);
      if (isConnected()) {
        const double we = guideRateN_[0].value;
        const double ns = guideRateN_[1].value;
        Run([this, we, ns] { return session_.SetGuideRates(we, ns); },
            [this](const Outcome& o) { ShowFailure(guideRateNP_, o); });
      }
      return true;
    }
  }
  return INDI::Telescope::ISNewNumber(dev, name, values, names, n);
}

bool SideraMountDriver::ISNewText(const char* dev, const char* name, char* texts[], char* names[],
                                  int n) {
  if (Named(dev, getDeviceName())) {
    if (Named(name, portTP_.name)) {
      IUUpdateText(&portTP_, texts, names, n);
      portTP_.s = IPS_OK;
      IDSetText(&portTP_,
                isConnected() ? "The new port takes effect at the next connect" : nullptr);
      return true;
    }
    if (Named(name, alignDataTP_.name) && n >= 1) {
      const std::string text = texts[0] != nullptr ? texts[0] : "";
      const auto record = RecordFromText(text);
      if (!text.empty() && !record) {
        alignDataTP_.s = IPS_ALERT;
        IDSetText(&alignDataTP_, "Not a saved alignment (400 hexadecimal digits expected)");
        return true;
      }
      savedAlignment_ = record;
      IUUpdateText(&alignDataTP_, texts, names, n);
      alignDataTP_.s = IPS_OK;
      IDSetText(&alignDataTP_, nullptr);
      if (isConnected() && record) {
        Run(
            [this, r = *record] {
              const Outcome o = session_.LoadAlignment(r);
              return std::make_pair(o, session_.Alignment());
            },
            [this](const std::pair<Outcome, AlignmentState>& r) {
              if (!r.first.ok()) {
                alignDataTP_.s = IPS_ALERT;
                IDSetText(&alignDataTP_, "%s", r.first.text.c_str());
              }
              ShowAlignment(r.second);
            });
      }
      return true;
    }
  }
  return INDI::Telescope::ISNewText(dev, name, texts, names, n);
}

bool SideraMountDriver::saveConfigItems(FILE* fp) {
  INDI::Telescope::saveConfigItems(fp);
  IUSaveConfigSwitch(fp, &modelSP_);
  IUSaveConfigText(fp, &portTP_);
  IUSaveConfigNumber(fp, &guideRateNP_);
  IUSaveConfigText(fp, &alignDataTP_);
  return true;
}

void SideraMountDriver::debugTriggered(bool enable) {
  // Thread-safe in the library, and no environment is changed.
  SetDebugTopics(enable ? "all" : "");
  LOG_INFO(enable ? "The library's debug log is on (standard error of the driver)."
                  : "The library's debug log is off.");
}

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
  gotoKind_ = GotoKind::Sky;
  targetRa_ = ra;
  targetDec_ = dec;
  gotoTracks_ = track;
  alertLatched_ = false;
  moving_ = {false, false};
  TrackState = SCOPE_SLEWING;
  TargetN[AXIS_RA].value = ra;
  TargetN[AXIS_DE].value = dec;
  IDSetNumber(&TargetNP, nullptr);
  EqNP.s = IPS_BUSY;
  IDSetNumber(&EqNP, "Slewing to RA %s, Dec %s", Sexagesimal(ra).c_str(), Sexagesimal(dec).c_str());
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
        IDSetNumber(&EqNP,
                    "Synced on RA %s, Dec %s: %d-star alignment, quality %d, residual %.2f', "
                    "star rating %d of 5",
                    Sexagesimal(ra).c_str(), Sexagesimal(dec).c_str(), r.alignment.stars,
                    r.alignment.quality, Degrees(r.alignment.residual) * 60.0, r.rating);
        RequestPoll();
      });
  return true;
}

void SideraMountDriver::ShowAlignment(const AlignmentState& state) {
  alignN_[0].value = state.stars;
  alignN_[1].value = state.quality;
  alignN_[2].value = Degrees(state.residual) * 60.0;
  alignNP_.s = IPS_OK;
  IDSetNumber(&alignNP_, nullptr);
  const char* current = alignDataT_[0].text != nullptr ? alignDataT_[0].text : "";
  if (state.record != current) {
    IUSaveText(&alignDataT_[0], state.record.c_str());
    savedAlignment_ = RecordFromText(state.record);
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
  RequestPoll();
  pollTimer_ = SetTimer(getCurrentPollingPeriod());
}

void SideraMountDriver::RequestPoll() {
  // One poll at a time: while the worker is held up (a slow hand-over, a
  // controller timing out) polls do not pile up behind it.
  if (pollInFlight_ || !isConnected()) return;
  pollInFlight_ = true;
  const host::SkyClock clock = clock_;
  const double longitude = LocationN[LOCATION_LONGITUDE].value;
  Run([this, clock, longitude] { return session_.Poll(clock, longitude); },
      [this](const PollResult& r) {
        pollInFlight_ = false;
        OnPoll(r);
      });
}

void SideraMountDriver::OnPoll(const PollResult& poll) {
  if (!poll.outcome.ok()) {
    if (watch_.active()) JudgeGoto(poll);
    if (linkAlert_ != poll.outcome.text) {
      linkAlert_ = poll.outcome.text;
      EqNP.s = IPS_ALERT;
      IDSetNumber(&EqNP, "%s", poll.outcome.text.c_str());
    }
    return;
  }
  if (!linkAlert_.empty()) {
    linkAlert_.clear();
    LOG_INFO("The mount answers again.");
  }
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
      worker_->pending() == 0) {
    Run([this] { return session_.SetTracking(false); },
        [this](const Outcome& o) { ShowFailure(TrackStateSP, o); });
  }
}

void SideraMountDriver::JudgeGoto(const PollResult& poll) {
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
  Run([this] { return session_.Abort(); }, [](const Outcome&) {});
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
  // The stops go out now; the worker's turn then clears the session's state
  // and answers.
  stopLane_->Post([] { MountSession::StopEverything(); });
  Run([this] { return session_.Abort(); }, [this](const Outcome& o) { ShowFailure(AbortSP, o); });
  return true;
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
  Run(
      [this, epoch] {
        if (epoch != motionEpoch_) return GotoStart{Outcome{kDropped, ""}};
        return session_.Park();
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
  if (state == IPS_IDLE && pulseTimer_[axis] >= 0) {
    // Zero in every direction: the running pulse ends now.
    IERmTimer(pulseTimer_[axis]);
    EndPulse(axis);
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
  const bool northSouth = direction == Direction::North || direction == Direction::South;
  const int axis = northSouth ? 1 : 0;
  const double sign = direction == Direction::North || direction == Direction::West ? 1.0 : -1.0;
  const double rate = sign * guideRateN_[northSouth ? 1 : 0].value * kSiderealRate;
  if (pulseTimer_[axis] >= 0) IERmTimer(pulseTimer_[axis]);  // a new pulse replaces the old
  (northSouth ? guide_.north : guide_.west) = rate;
  using Callback = void (*)(void*);
  const Callback ended =
      axis == 1 ? Callback{[](void* self) { static_cast<SideraMountDriver*>(self)->EndPulse(1); }}
                : Callback{[](void* self) { static_cast<SideraMountDriver*>(self)->EndPulse(0); }};
  // The pulse lasts `ms` of sky time, like every motion of a scaled library.
  pulseTimer_[axis] = IEAddTimer(clock_.RealMillis(ms), ended, this);
  ApplyGuide(std::nullopt);
  return IPS_BUSY;
}

void SideraMountDriver::EndPulse(int axis) {
  pulseTimer_[axis] = -1;
  (axis == 1 ? guide_.north : guide_.west) = 0.0;
  ApplyGuide(axis);
}

void SideraMountDriver::ApplyGuide(std::optional<int> completedAxis) {
  const GuideOffsets offsets = guide_;
  const double tracking = TrackingRate();
  const unsigned epoch = motionEpoch_;
  Run(
      [this, epoch, offsets, tracking] {
        if (epoch != motionEpoch_) return Outcome{kDropped, ""};
        return session_.ApplyGuide(offsets, tracking);
      },
      [this, completedAxis](const Outcome& o) {
        if (completedAxis) CompletePulse(*completedAxis);
        if (o.ok() || o.code == kDropped) return;
        INumberVectorProperty& np = completedAxis.value_or(0) == 1 ? GuideNSNP : GuideWENP;
        np.s = IPS_ALERT;
        IDSetNumber(&np, "%s", o.text.c_str());
      });
}

void SideraMountDriver::CancelPulses() {
  for (int axis = 0; axis < 2; ++axis) {
    if (pulseTimer_[axis] < 0) continue;
    IERmTimer(pulseTimer_[axis]);
    pulseTimer_[axis] = -1;
    CompletePulse(axis);
  }
  guide_ = GuideOffsets{};
}

void SideraMountDriver::CompletePulse(int axis) {
  INumberVectorProperty& np = axis == 1 ? GuideNSNP : GuideWENP;
  np.np[0].value = 0;
  np.np[1].value = 0;
  GuideComplete(axis == 1 ? AXIS_DE : AXIS_RA);
}

bool SideraMountDriver::Busy() const {
  return gotoKind_ != GotoKind::None || moving_[0] || moving_[1] || pulseTimer_[0] >= 0 ||
         pulseTimer_[1] >= 0;
}

// ---- Helpers ---------------------------------------------------------------

Site SideraMountDriver::CurrentSite() const {
  return Site{LocationN[LOCATION_LATITUDE].value, LocationN[LOCATION_LONGITUDE].value,
              LocationN[LOCATION_ELEVATION].value};
}

Site SideraMountDriver::SiteForConnect() const {
  Site site = CurrentSite();
  if (siteFromClient_) return site;
  double latitude = 0, longitude = 0, elevation = 0;
  const char* dev = getDeviceName();
  if (IUGetConfigNumber(dev, "GEOGRAPHIC_COORD", "LAT", &latitude) == 0 &&
      IUGetConfigNumber(dev, "GEOGRAPHIC_COORD", "LONG", &longitude) == 0 && latitude >= -90.0 &&
      latitude <= 90.0) {
    site.latitude = latitude;
    site.longitude = longitude;
    if (IUGetConfigNumber(dev, "GEOGRAPHIC_COORD", "ELEV", &elevation) == 0 &&
        elevation >= SIDERA_LOWEST_ELEVATION && elevation <= SIDERA_HIGHEST_ELEVATION) {
      site.elevation = elevation;
    }
  }
  return site;
}

double SideraMountDriver::SkySeconds() const {
  // Monotonic (a new TIME_UTC does not move it) and at the library's pace.
  const std::chrono::duration<double> real = host::SkyClock::Steady::now().time_since_epoch();
  return real.count() * clock_.scale();
}

double SideraMountDriver::TrackingRate() const {
  return trackingWanted_ ? TrackingSkyRate(TrackMode()) : 0.0;
}

int SideraMountDriver::TrackMode() const {
  const int mode = IUFindOnSwitchIndex(&TrackModeSP);
  return mode >= 0 && mode < kTrackModeCount ? mode : 0;
}

}  // namespace sidera::indi
