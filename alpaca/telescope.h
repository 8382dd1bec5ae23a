// One Sidera mount as an Alpaca telescope: the connection, the shared view of
// the mount's state, and the commands, all over the library's exported
// operations. Library calls run on the host worker's calls lane, and aborts
// and the ends of guide pulses on its stop lane, so they never wait for a
// call in progress; HTTP threads wait for them a bounded time. Reads of the
// mount's state come from the host's shared snapshot (host/mount_snapshot),
// parks from host/park_position and guide pulses from host/guide_pulses.
// Failures throw DeviceError with the library's message.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "alpaca/server_config.h"
#include "host/goto_watch.h"
#include "host/guide_pulses.h"
#include "host/model_facts.h"
#include "host/motion_rates.h"
#include "host/mount_snapshot.h"
#include "host/mount_worker.h"
#include "host/sky_clock.h"
#include "host/sync_model.h"
#include "sidera.h"

namespace sidera::alpaca {

// One reading of the mount, shared by every request that asks within the
// refresh interval.
using Snapshot = host::MountSnapshot;

// The last-known state that the device members report.
struct DeviceView {
  bool slewing = false;
  bool tracking = false;
  bool atPark = false;
  bool pulseGuiding = false;
  int trackingRate = 0;  // DriveRate: 0 sidereal, 1 lunar, 2 solar
};

class Telescope {
 public:
  Telescope(ServerConfig config, std::string configPath, double clockScale);
  ~Telescope();
  Telescope(const Telescope&) = delete;
  Telescope& operator=(const Telescope&) = delete;

  // --- configuration (no connection needed). The telescope is made with the
  // stored settings; UseForThisRun puts others in force (the command line's)
  // without storing them. What clients and the setup page change is written
  // over the stored settings and also put in force; a change that cannot be
  // written throws DeviceError and leaves the old value in force.
  void UseForThisRun(const ServerConfig& inForce);
  ServerConfig Config() const;  // in force
  // Stores the setup page's choices; they apply at the next connect.
  void Configure(const ServerConfig& changes);
  // The facts of the model connected, or else of the model configured.
  const host::ModelFacts& Facts() const;
  std::string ModelName() const;
  // The goto tolerance of the connected mount (as its controller decided at
  // connect), else the configured model's.
  double GotoToleranceDegrees() const;
  std::string UniqueId() const;

  // --- connection. Clients are told apart by their ClientID (0: every
  // client that sends none, as one): the mount stays connected while any
  // client that connected has not disconnected. A client silent for longer
  // than the client time-out is forgotten when another disconnects, so that
  // it no longer keeps the mount; a time-out alone never disconnects it.
  void SetClientTimeout(std::chrono::seconds timeout);
  void Seen(uint32_t client);                          // a request from `client` arrived
  void Connect(uint32_t client);                       // returns at once; Connecting shows progress
  void Disconnect(uint32_t client);                    // likewise
  void SetConnected(uint32_t client, bool connected);  // waits for the outcome
  bool Connected(uint32_t client) const;
  // True while a connect or disconnect runs; a connect that failed is
  // reported once, by the first read after it, as its error.
  bool Connecting();
  // Stops every motion and releases the mount (the server is stopping).
  void Shutdown();

  // --- state (each throws NotConnected when no mount is connected)
  void RequireConnection() const;
  bool AtPark() const;
  bool Tracking() const;
  Snapshot Read();  // a reading no older than the refresh interval
  DeviceView View();
  bool Equatorial() const;
  std::optional<SiteSetting> Site() const;
  int64_t UtcNow() const;
  double LocalSiderealTime(int64_t utc) const;  // radians
  double GuideRate(int axis) const;             // radians per second
  int SlewSettleTime() const;
  std::optional<double> TargetRa() const;   // hours
  std::optional<double> TargetDec() const;  // degrees
  void SetTarget(std::optional<double> raHours, std::optional<double> decDegrees);
  double ParkAxis(int axis) const;  // radians
  double HomeAxis(int axis) const;  // radians

  // --- commands. Each checks nothing of the Alpaca rules (the members do);
  // each throws DeviceError with the library's message when the library
  // refuses or fails.
  void SlewToSky(double raHours, double decDegrees);
  void SlewToHorizontal(double azimuthDegrees, double altitudeDegrees);
  void SyncToSky(double raHours, double decDegrees);
  // The same sync as a new point of the pointing model whatever the setup
  // chose (the hand controller's alignment).
  void AddSyncPoint(double raHours, double decDegrees);
  // The points the syncs added to the pointing model, and dropping them.
  host::SyncModelView SyncPoints() const { return syncModel_.View(); }
  void ClearSyncPoints();
  void AbortSlew();
  void Park();
  void Unpark();
  void SetPark();
  void FindHome();
  void MoveAxis(int axis, double degreesPerSecond);
  // direction: 0 north, 1 south, 2 east, 3 west; milliseconds of sky time
  void PulseGuide(int direction, int milliseconds);
  void SetTracking(bool on);
  void SetTrackingRate(int driveRate);
  void SetSite(const SiteSetting& site);
  void SetGuideRate(int axis, double radiansPerSecond);
  void SetSlewSettleTime(int seconds);
  void SetUtc(int64_t utcMillis);
  // Where an equatorial mount's declination axis would be for a sky position
  // (radians), through the pointing model.
  AxisPair AxesFor(double raHours, double decDegrees);

 private:
  enum class MotionKind { kNone, kSky, kHorizontal, kPark, kHome };
  struct Motion {
    MotionKind kind = MotionKind::kNone;
    host::GotoWatch watch;  // waits for the library's outcome of the goto
  };

  // Runs `f` on the calls lane (or `lane`), bounded in time; throws what
  // `f` threw, or DeviceError when it does not finish.
  template <typename F>
  auto OnWorker(F f, std::chrono::milliseconds timeout = std::chrono::seconds(20),
                host::TaskLane* lane = nullptr);
  // Throws DeviceError with "<what>: <library message> (code N)" for a non-zero code.
  static void Check(int code, const std::string& what);
  void RequireConnected() const;  // with mutex_ held
  void Invalidate();              // with mutex_ held: the next read refreshes
  void ShareSkyLocked();          // with mutex_ held: the snapshot's sky clock and site
  void Judge(const Snapshot& s);  // with mutex_ held: has a motion ended?
  // On the worker, right after the library took the goto.
  void StartMotion(MotionKind kind);
  void Sync(double raHours, double decDegrees, bool addsPoint);
  void GotoFixedPosition(double axis0, double axis1, MotionKind kind, const char* what);
  void StopAllOnWorker();
  void ConnectOnWorker(const ServerConfig& settings);
  void DisconnectOnWorker();
  // With mutex_ held: writes `change` over the stored settings, then makes it
  // in force too. Throws DeviceError (nothing changed) when it cannot write.
  void StoreLocked(const std::function<void(ServerConfig&)>& change);
  // The same for state the mount has already taken (parked): a failed write
  // is logged, the change stays in force.
  void RecordLocked(const std::function<void(ServerConfig&)>& change);

  host::MountWorker worker_;
  const std::string configPath_;

  // Guarded by mutex_ (written by HTTP threads and the worker, read by both).
  mutable std::mutex mutex_;
  ServerConfig config_;  // in force
  ServerConfig stored_;  // as written in configPath_
  host::SkyClock clock_;
  std::map<uint32_t, host::TaskLane::Clock::time_point> clients_;  // client -> last request
  host::TaskLane::Clock::duration clientTimeout_ = std::chrono::seconds(120);
  bool connected_ = false;
  bool connecting_ = false;
  std::string connectFailure_;
  int model_ = -1;  // the model connected
  bool equatorial_ = false;
  double gotoToleranceDegrees_ = 0;
  Motion motion_;
  host::TaskLane::Clock::time_point settleUntil_{};
  int settleSeconds_ = 0;
  double moveRate_[2] = {0, 0};  // MoveAxis rates in force, radians per second
  bool tracking_ = false;
  int trackingRate_ = 0;
  double guideRate_[2];
  int connectFailureNumber_ = 0;
  std::optional<double> targetRa_, targetDec_;
  host::SyncModel syncModel_;  // its points on the worker; its view read anywhere

  // Their own locks; taken after mutex_, never before it.
  host::SnapshotCache snapshot_{worker_.calls, false};
  host::GuidePulses pulses_{worker_.stops};
};

}  // namespace sidera::alpaca
