// The INDI telescope driver "Sidera Mount": INDI's standard mount properties
// mapped onto the Sidera C API. The glue here runs on INDI's event loop and
// never calls the library itself: it posts requests to the host worker
// (MountSession on its calls lane, stops on its stop lane) and shows the
// replies, so a slow controller or a goto hand-over never stalls the driver.
#pragma once

#include <libindi/indiguiderinterface.h>
#include <libindi/inditelescope.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/goto_watch.h"
#include "host/guide_pulses.h"
#include "host/model_facts.h"
#include "host/mount_snapshot.h"
#include "host/mount_worker.h"
#include "indi/host_names.h"
#include "indi/loop_replies.h"
#include "indi/mount_session.h"

namespace sidera::indi {

class SideraMountDriver : public INDI::Telescope, public INDI::GuiderInterface {
 public:
  SideraMountDriver();
  ~SideraMountDriver() override;

  const char* getDefaultName() override;
  bool initProperties() override;
  void ISGetProperties(const char* dev) override;
  bool updateProperties() override;
  bool ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                   int n) override;
  bool ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[],
                   int n) override;
  bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;
  void TimerHit() override;

 protected:
  bool Connect() override;
  bool Disconnect() override;
  bool ReadScopeStatus() override;
  bool Goto(double ra, double dec) override;
  bool Sync(double ra, double dec) override;
  bool Abort() override;
  bool Park() override;
  bool UnPark() override;
  bool MoveNS(INDI_DIR_NS dir, TelescopeMotionCommand command) override;
  bool MoveWE(INDI_DIR_WE dir, TelescopeMotionCommand command) override;
  bool SetTrackMode(uint8_t mode) override;
  bool SetTrackEnabled(bool enabled) override;
  bool updateTime(ln_date* utc, double utcOffset) override;
  bool updateLocation(double latitude, double longitude, double elevation) override;
  bool saveConfigItems(FILE* fp) override;
  void debugTriggered(bool enable) override;

  IPState GuideNorth(uint32_t ms) override;
  IPState GuideSouth(uint32_t ms) override;
  IPState GuideEast(uint32_t ms) override;
  IPState GuideWest(uint32_t ms) override;

 private:
  enum class GotoKind { None, Sky, Park };

  // Posting work and taking replies.
  template <typename Work, typename Done>
  void Run(Work work, Done done);
  bool Current(int generation) const { return generation == generation_; }
  // Stops every motion, tracking included, on the stop lane (beside the call
  // in progress), then hands the outcome to `done` on the driver's thread.
  void StopOnLane(std::function<void(const Outcome&)> done);

  void HandleConnection(ISState* states, char* names[], int n);
  void StartConnect();
  void StartDisconnect();
  void OnConnected(const ConnectResult& result, int model);

  void HandleEquatorial(double values[], char* names[], int n);
  void StartGoto(double ra, double dec, bool track);
  // A poll of the shared snapshot; `fresh` reads the mount whatever the age
  // of the last reading (after a command).
  void RequestPoll(bool fresh = true);
  void OnPoll(const host::MountSnapshot& poll);
  void JudgeGoto(const host::MountSnapshot& poll);
  void FinishGoto();
  void ShowTrackState(uint32_t mountState);
  void ShowEquatorial(double ra, double dec);
  void ShowHorizontal(const HorizontalPoint& horizontal);
  void ShowAlignment(const AlignmentState& state);
  void ShowTrackSwitch();
  void AlertEquatorial(const std::string& text);

  bool Move(Direction direction, TelescopeMotionCommand command);
  void HandlePulse(int axis, double values[], char* names[], int n);
  IPState StartPulse(Direction direction, uint32_t ms);
  void CompletePulse(int axis);
  // The stop lane ended pulse number `pulse` on `axis` (a later one may run).
  void OnPulseEnded(int axis, uint64_t pulse, int code);
  void CancelPulses();
  bool Busy() const;

  // The park position (driver_park.cpp).
  void InitParkProperties(const char* dev);
  bool UserParkPosition() const;
  // Shows the position a park goes to: the user's, else the home of the
  // model chosen.
  void ShowParkPosition(const char* message);
  // Puts the user's position or the model's home in force and keeps the
  // choice in the configuration.
  void SetParkAt(bool user, const char* message);
  bool HandleParkNumber(const char* name, double values[], char* names[], int n);
  bool HandleParkSwitch(const char* name, ISState* states, char* names[], int n);

  Site CurrentSite() const;
  // The site to create the mount with (INDI clients send theirs only after
  // the connect): the one a client has set since the driver started, else
  // the one kept in the driver's configuration, else INDI's default;
  // `known` says whether it was one of the first two.
  Site SiteForConnect(bool* known) const;
  double SkySeconds() const;
  double TrackingRate() const;
  int TrackMode() const;  // INDI order: sidereal, solar, lunar

  // Driver state, on the event loop's thread only.
  host::SkyClock clock_;
  int generation_ = 0;  // one per connect or disconnect; older replies are ignored
  bool connecting_ = false;
  bool equatorial_ = false;
  bool pollInFlight_ = false;
  int pollTimer_ = -1;
  std::string linkAlert_;      // the read failure now shown, to show it once
  bool alertLatched_ = false;  // a refused or failed command stays shown until the next one
  host::GotoWatch watch_;
  GotoKind gotoKind_ = GotoKind::None;
  double targetRa_ = 0;   // hours
  double targetDec_ = 0;  // degrees
  bool gotoTracks_ = true;
  bool trackingWanted_ = false;
  std::array<bool, 2> moving_{false, false};  // direction buttons held, per axis
  // Per axis (0 west/east, 1 north/south): a pulse shown busy, and the
  // number of the latest one started.
  std::array<bool, 2> pulsing_{false, false};
  std::array<uint64_t, 2> pulseNumber_{0, 0};
  std::optional<SavedAlignment> savedAlignment_;
  bool siteFromClient_ = false;  // a client has set GEOGRAPHIC_COORD
  bool configLoaded_ = false;
  bool loadingConfig_ = false;  // the configuration's values are being read back
  bool haveAxes_ = false;       // lastAxes_ is a reading of the connected mount
  AxisPair lastAxes_{};         // the axes of the last good poll, radians

  // Written by the event loop, read by queued tasks: a motion request queued
  // before an abort is dropped when its turn comes.
  std::atomic<unsigned> motionEpoch_{0};

  ISwitch modelS_[host::kModelCount];
  ISwitchVectorProperty modelSP_;
  IText portT_[1]{};
  ITextVectorProperty portTP_;
  INumber horizontalN_[2];
  INumberVectorProperty horizontalNP_;
  INumber lstN_[1];
  INumberVectorProperty lstNP_;
  INumber guideRateN_[2];
  INumberVectorProperty guideRateNP_;
  INumber alignN_[4];
  INumberVectorProperty alignNP_;
  ISwitch alignClearS_[1];
  ISwitchVectorProperty alignClearSP_;
  IText alignDataT_[1]{};
  ITextVectorProperty alignDataTP_;
  INumber parkPositionN_[2];
  INumberVectorProperty parkPositionNP_;
  ISwitch parkOptionS_[2];
  ISwitchVectorProperty parkOptionSP_;
  ISwitch parkAtS_[2];
  ISwitchVectorProperty parkAtSP_;

  MountSession session_;  // the calls lane's alone
  LoopReplies replies_;
  // The worker's: the readings every poll shows, and the guide pulses whose
  // ends run on the stop lane. Made with the worker, and go after it.
  std::unique_ptr<host::SnapshotCache> snapshot_;
  std::unique_ptr<host::GuidePulses> pulses_;
  // Ordinary calls on `calls`; the stops of an abort on `stops`, at once and
  // beside whatever the calls lane does (a slow connect or read would
  // otherwise hold them up).
  std::unique_ptr<host::MountWorker> worker_;  // last: stops before the rest goes
};

}  // namespace sidera::indi
