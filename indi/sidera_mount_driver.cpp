// The INDI glue of "Sidera Mount": its properties, the connection and the
// property handlers that post library work to the worker (gotos and motions
// have files of their own).
#include "indi/sidera_mount_driver.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "host/civil_time.h"
#include "host/library_text.h"
#include "indi/driver_shared.h"
#include "indi/goto_report.h"
#include "indi/host_names.h"
#include "indi/library_text.h"
#include "sidera.h"

namespace sidera::indi {

SideraMountDriver::SideraMountDriver()
    : clock_(host::ClockScaleFromEnvironment(), SystemUtcMillis(), host::SkyClock::Steady::now()),
      worker_(std::make_unique<host::MountWorker>()) {
  setVersion(1, 0);
  SetTelescopeCapability(TELESCOPE_CAN_GOTO | TELESCOPE_CAN_SYNC | TELESCOPE_CAN_PARK |
                             TELESCOPE_CAN_ABORT | TELESCOPE_HAS_TIME | TELESCOPE_HAS_LOCATION |
                             TELESCOPE_HAS_PIER_SIDE | TELESCOPE_HAS_TRACK_MODE |
                             TELESCOPE_CAN_CONTROL_TRACK,
                         static_cast<uint8_t>(kSlewPresets.size()));
  // The library opens the serial device itself, so INDI's port plugins stay out.
  setTelescopeConnection(CONNECTION_NONE);
  snapshot_ = std::make_unique<host::SnapshotCache>(worker_->calls, true);
  pulses_ = std::make_unique<host::GuidePulses>(worker_->stops);
  pulses_->OnEnded([this](int axis, uint64_t pulse, int code) {
    replies_.Reply([this, axis, pulse, code] { OnPulseEnded(axis, pulse, code); });
  });
  IEAddCallback(
      replies_.notifyFd(),
      [](int, void* self) { static_cast<SideraMountDriver*>(self)->replies_.RunReplies(); }, this);
}

SideraMountDriver::~SideraMountDriver() {
  // The worker runs what is queued, then this last request, then stops.
  worker_->calls.Post([this] { session_.Disconnect(); });
  worker_->Stop();
}

const char* SideraMountDriver::getDefaultName() { return "Sidera Mount"; }

bool SideraMountDriver::initProperties() {
  INDI::Telescope::initProperties();
  const char* dev = getDeviceName();

  for (int i = 0; i < kModelCount; ++i) {
    const std::string name = "MODEL_" + std::to_string(i);
    IUFillSwitch(&modelS_[i], name.c_str(), host::ModelLabel(i).c_str(), i == 6 ? ISS_ON : ISS_OFF);
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

  // The local apparent sidereal time of the site, hours, as the polls see it.
  IUFillNumber(&lstN_[0], "LST", "LST H:M:S", "%10.6m", 0.0, 24.0, 0.0, 0.0);
  IUFillNumberVector(&lstNP_, lstN_, 1, dev, "TIME_LST", "Local sidereal time", SITE_TAB, IP_RO, 60,
                     IPS_IDLE);

  IUFillNumber(&guideRateN_[0], "GUIDE_RATE_WE", "W/E Rate", "%.2f", 0.1, 1.0, 0.1, 0.5);
  IUFillNumber(&guideRateN_[1], "GUIDE_RATE_NS", "N/S Rate", "%.2f", 0.1, 1.0, 0.1, 0.5);
  IUFillNumberVector(&guideRateNP_, guideRateN_, 2, dev, "GUIDE_RATE", "Guiding Rate", GUIDE_TAB,
                     IP_RW, 60, IPS_IDLE);

  // The synced points (host::SyncPoints), how many the fit used, and the RMS
  // of their residuals; SIDERA_ALIGNMENT_CLEAR drops them all.
  IUFillNumber(&alignN_[0], "STARS", "Synced points", "%.0f", 0.0, 100.0, 1.0, 0.0);
  IUFillNumber(&alignN_[1], "QUALITY", "Quality", "%.0f", 0.0, 100.0, 1.0, 0.0);
  IUFillNumber(&alignN_[2], "RESIDUAL", "RMS residual (arcmin)", "%.3f", 0.0, 10800.0, 0.0, 0.0);
  IUFillNumber(&alignN_[3], "USED", "Points used", "%.0f", 0.0, 100.0, 1.0, 0.0);
  IUFillNumberVector(&alignNP_, alignN_, 4, dev, "SIDERA_ALIGNMENT", "Alignment", kAlignmentTab,
                     IP_RO, 60, IPS_IDLE);
  IUFillSwitch(&alignClearS_[0], "CLEAR", "Clear", ISS_OFF);
  IUFillSwitchVector(&alignClearSP_, alignClearS_, 1, dev, "SIDERA_ALIGNMENT_CLEAR",
                     "Clear alignment", kAlignmentTab, IP_RW, ISR_ATMOST1, 60, IPS_IDLE);
  // Named RECORD as in earlier versions, whose configurations still load.
  IUFillText(&alignDataT_[0], "RECORD", "Model", "");
  IUFillTextVector(&alignDataTP_, alignDataT_, 1, dev, "SIDERA_ALIGNMENT_DATA", "Saved alignment",
                   kAlignmentTab, IP_RW, 60, IPS_IDLE);
  InitParkProperties(dev);

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
  defineProperty(&parkPositionNP_);
  defineProperty(&parkOptionSP_);
  defineProperty(&parkAtSP_);
  if (!configLoaded_) {
    configLoaded_ = true;
    loadConfig(true, modelSP_.name);
    loadConfig(true, portTP_.name);
    loadConfig(true, alignDataTP_.name);
    // The position first: the choice then says whether it is in force.
    loadingConfig_ = true;
    loadConfig(true, parkPositionNP_.name);
    loadConfig(true, parkAtSP_.name);
    loadingConfig_ = false;
    ShowParkPosition(nullptr);
  }
}

bool SideraMountDriver::updateProperties() {
  INDI::Telescope::updateProperties();
  if (isConnected()) {
    defineProperty(&horizontalNP_);
    defineProperty(&lstNP_);
    defineProperty(&GuideNSNP);
    defineProperty(&GuideWENP);
    defineProperty(&guideRateNP_);
    defineProperty(&alignNP_);
    defineProperty(&alignClearSP_);
    if (!equatorial_) deleteProperty(PierSideSP.name);
  } else {
    deleteProperty(horizontalNP_.name);
    deleteProperty(lstNP_.name);
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
  bool siteKnown = false;
  request.site = SiteForConnect(&siteKnown);
  request.savedAlignment = savedAlignment_;
  if (!siteKnown) {
    // Clients send their site only after the connect: until then the mount
    // has none but the property's, and a goto would be computed for it.
    LOG_WARN(
        "No site yet: the client has sent none and none is saved, so the mount starts at "
        "latitude 0, longitude 0. Send GEOGRAPHIC_COORD (and save the configuration to keep "
        "it for the next connect).");
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
  ShowParkPosition(nullptr);
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
  snapshot_->Open();
  if (pollTimer_ >= 0) RemoveTimer(pollTimer_);
  pollTimer_ = SetTimer(getCurrentPollingPeriod());
  RequestPoll();
}

void SideraMountDriver::StartDisconnect() {
  CancelPulses();
  haveAxes_ = false;
  ++motionEpoch_;
  watch_.Cancel();
  gotoKind_ = GotoKind::None;
  ++generation_;
  connecting_ = false;
  pollInFlight_ = false;
  snapshot_->Close();
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
      ShowParkPosition(nullptr);  // the default is the new model's home
      return true;
    }
    if (HandleParkSwitch(name, states, names, n)) {
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
    if (HandleParkNumber(name, values, names, n)) return true;
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
      const auto record = SavedAlignmentFromText(text);
      if (!text.empty() && !record) {
        alignDataTP_.s = IPS_ALERT;
        IDSetText(&alignDataTP_,
                  "Not a saved alignment (a saved model, or an earlier version's 400 "
                  "hexadecimal digits, expected)");
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
  IUSaveConfigNumber(fp, &parkPositionNP_);
  IUSaveConfigSwitch(fp, &parkAtSP_);
  return true;
}

void SideraMountDriver::debugTriggered(bool enable) {
  // Thread-safe in the library, and no environment is changed.
  SetDebugTopics(enable ? "all" : "");
  LOG_INFO(enable ? "The library's debug log is on (standard error of the driver)."
                  : "The library's debug log is off.");
}

// ---- Helpers ---------------------------------------------------------------

Site SideraMountDriver::CurrentSite() const {
  return Site{LocationN[LOCATION_LATITUDE].value, LocationN[LOCATION_LONGITUDE].value,
              LocationN[LOCATION_ELEVATION].value};
}

Site SideraMountDriver::SiteForConnect(bool* known) const {
  Site site = CurrentSite();
  *known = siteFromClient_;
  if (siteFromClient_) return site;
  double latitude = 0, longitude = 0, elevation = 0;
  const char* dev = getDeviceName();
  if (IUGetConfigNumber(dev, "GEOGRAPHIC_COORD", "LAT", &latitude) == 0 &&
      IUGetConfigNumber(dev, "GEOGRAPHIC_COORD", "LONG", &longitude) == 0 && latitude >= -90.0 &&
      latitude <= 90.0) {
    site.latitude = latitude;
    site.longitude = longitude;
    *known = true;
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
  return trackingWanted_ ? TrackingSkyRate(LibraryTrackingMode(TrackMode())) : 0.0;
}

int SideraMountDriver::TrackMode() const {
  const int mode = IUFindOnSwitchIndex(&TrackModeSP);
  return mode >= 0 && mode < kTrackModeCount ? mode : 0;
}

}  // namespace sidera::indi
