// The root of every mount model.
//
// TelescopeMount holds what all models share (site, pointing model, per-axis
// motion state, limits, rates and the motion-thread hand-over) and defines the
// virtual operations through which the exported functions and the motion
// threads drive a mount. A model supplies the hardware primitives (read an
// axis, move it at a rate, move it to an angle, halt it, connect) and inherits
// the rest. Every other mount class derives from it virtually.
//
// Threads. Host threads call the operations; motion threads (a goto, a rate
// move, a tracking start), the alt-azimuth tracking threads and, on a
// hardware mount, the line watch run beside them and are started through
// the mount's WorkerGroup, which joins them all before the mount is freed. Ownership of
// the axes passes through the idle hand-over (AxesIdle), the give-way request
// and the claims (ClaimOn); the order of commands is kept by the command lock
// and `latestCommand_` (see
// "Command order" below). Next to each shared field: who writes it, who
// reads it, and what makes that safe.
//
// Stops never queue. No lock that a stop needs is held while anybody waits
// for an axis to brake, for a reply or for a hand-over: the command lock guards
// only the drawing of command numbers and the claims (and, on the
// simulators, whose commands take no time, single commands); the serial
// line lets a stop go first (UrgentExchanges); and a stop sends its halt
// before it waits for the motion it ends to give way.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/event.h"
#include "platform/worker_group.h"
#include "sidera/core/alignment_stars.h"
#include "sidera/core/axis_record.h"
#include "sidera/core/drive_rates.h"
#include "sidera/core/goto_parameters.h"
#include "sidera/core/motion_outcome.h"
#include "sidera/core/mount_identity.h"
#include "sidera/core/mount_settings.h"
#include "sidera/core/pointing_model.h"
#include "sidera/core/pointing_terms.h"
#include "sidera/core/published_state.h"
#include "sidera/core/sky_reference.h"
#include "sidera/core/types.h"
#include "sidera/core/vector_matrix.h"
#include "sidera/link/exchange_scope.h"
#include "sidera/link/line_health.h"

namespace sidera {

// Bits of the `axes` argument of BeginMotion.
inline constexpr unsigned kAxis0 = 1;
inline constexpr unsigned kAxis1 = 2;
inline constexpr unsigned kBothAxes = kAxis0 | kAxis1;

class TelescopeMount {
 public:
  // The most-derived class constructs this virtual base: the factory's with
  // the settings CreateMount was given, every other with the defaults.
  explicit TelescopeMount(const MountSettings& settings = {});
  virtual ~TelescopeMount();
  TelescopeMount(const TelescopeMount&) = delete;
  TelescopeMount& operator=(const TelescopeMount&) = delete;

  // ---- Virtual operations. ----
  virtual int SkyToAxes(SkyPoint& in, AxisPair& out, int applyMountErrors);
  virtual int AxesToSky(AxisPair& in, SkyPoint& out, int applyMountErrors);
  virtual int CheckTargetAltitude(const SkyPoint& point);  // rating
  virtual int ResetAlignment();
  virtual double AlignmentAdjust();
  virtual MountResult ReadAxisPosition(int axis);
  virtual MountResult ReadAxisState(int axis);
  // Called by a goto before its first pass: a controller that cannot take a
  // goto while an axis still moves has both axes stopped here.
  // `command` is the goto's: the wait ends when it must give way.
  virtual MountResult HaltAxesBeforeGoto(uint32_t command);
  // Called before a rate move is commanded, for controllers that must be
  // set up for a rate motion first.
  virtual MountResult PrepareRateMotion(int axis, double rate);
  virtual MountResult Connect();
  virtual MountResult SetSite(double latitude, double elevation);
  virtual MountResult SetMountErrors(double collimation, double nonPerpendicularity);
  virtual int CheckStars1(SkyPoint s1);                            // rating
  virtual int CheckStars2(SkyPoint s1, SkyPoint s2, int mode);     // rating
  virtual int CheckStars3(SkyPoint s1, SkyPoint s2, SkyPoint s3);  // rating
  virtual MountResult AlignOneStar(AlignStar s1);
  virtual MountResult AlignTwoStars(AlignStar s1, AlignStar s2);
  virtual MountResult AlignThreeStars(AlignStar s1, AlignStar s2, AlignStar s3);
  virtual int SaveAlignment(AlignmentRecord* out);  // size 200
  virtual MountResult LoadAlignment(const AlignmentRecord* in);
  // The many-star alignment (alignment_stars.cpp): one to three stars as
  // AlignOneStar..AlignThreeStars, more by least squares (many_star_fit.h).
  // 0, or 200 with the model left as it was.
  MountResult AlignStars(const AlignStar* stars, int count);
  virtual MountResult SlewAxisAtRate(int axis, double rate);
  virtual MountResult GotoAxisAngle(int axis, double angle);
  virtual MountResult HaltAxis(int axis);
  // Halts both axes, each halt's result in `results`: HaltAxis(0), then
  // HaltAxis(1), unless the family can put both halts on the line at once.
  virtual void HaltBothAxes(MountResult results[2]);
  virtual MountResult WriteAxisPosition(int axis, double angle);
  virtual MountResult StartTracking();
  virtual MountResult StopTracking();
  virtual MountResult MoveAxis(int axis, double rate, int rateFactor);
  virtual MountResult StopAxis(int axis);
  // Stops every motion, tracking included, and reads nothing before the
  // halts: tracking is no longer wanted, both axes are released and halted
  // together (HaltBothAxes), and only then are the motions that ran waited
  // for. What SetTracking(0), StopAxis(0) and StopAxis(1) do together. The
  // result is the halts'.
  MountResult StopEverything();
  virtual MountResult GotoSky(SkyPoint target);
  virtual MountResult GotoHorizontal(double azimuth, double altitude);
  virtual MountResult GotoAxes(double angle0, double angle1);
  virtual MountResult SyncHomePosition();
  virtual MountResult SyncAxis(int axis, double angle);
  virtual MountResult SetAltitudeLimits(double lower, double upper);
  virtual MountResult SetBacklash(int axis, double angle);
  virtual MountResult SetGuideRate(int axis, double rate);
  virtual MountResult SetTracking(int on);
  virtual MountResult SetTrackingRateMode(int mode);
  virtual MountResult ExtensionCommand(int value);
  virtual MountResult GetAxisPosition(int axis, double* out);
  virtual MountResult GetSkyPosition(SkyPoint* out);
  virtual MountResult GetHorizontalPosition(HorizontalPoint* out);
  virtual MountResult GetAxisState(int axis, uint32_t* out);
  virtual MountResult GetMountState(uint32_t* out);

  // Stops every worker thread of this mount and joins it; afterwards no new
  // thread starts. DestroyMount (and a failed CreateMount) call this on the
  // whole object before deleting it, so that no thread ever runs against a
  // partly destroyed mount. Kinds with threads of their own (the alt-azimuth
  // tracking) stop those first and then call this body. Idempotent.
  virtual void Shutdown();
  // Waits (at most kUnsentStartsWaitTicks) until every motion the host was
  // told had started and that the controller keeps up by itself (a rate
  // move, an equatorial tracking start) has put its command on the wire:
  // a shutdown never drops a command a caller was told had started. Called
  // first by every Shutdown, before anything is stopped.
  void AwaitUnsentStarts();
  // Called repeatedly while Shutdown() joins the worker threads: wakes any
  // thread that sleeps on one of the mount's events so that it sees
  // ShuttingDown() at once. Kinds with events of their own extend it.
  virtual void WakeWorkersForShutdown();

  // Derives the published state word from the two axes (non-virtual).
  // Every change of it is one atomic step, so a bit that a worker thread sets or
  // clears meanwhile is never lost. Reads that a command, a halt or a
  // tracking stop overtook (stateEpoch_ moved on while the axes were read)
  // are older than that step: they are taken again, kStateReadTries times
  // at most, and never written.
  MountResult UpdateMountState();
  // Records that a stop (StopAxis, SetTracking(0)) has halted `axis` for
  // the latest command concerning it. Until a newer command concerns the
  // axis, a rate motion it still reports is the axis braking, not tracking.
  void NoteHalted(int axis);
  // Whether `axis` was halted by the latest command concerning it.
  bool HaltedByLatestCommand(int axis) const;
  // Takes MOUNT_TRACKING out of the state word in one atomic step; a word left
  // without a state reads MOUNT_STOPPED, so the word always holds one of
  // the four states.
  void ClearTrackingState();

  // ---- Hooks of the kinds for the shared operation bodies. ----
  // Called first by every operation that starts a motion (gotos, MoveAxis):
  // a kind that moves the axes on threads of its own (the alt-azimuth
  // tracking) ends them: RequestKindMotionsEnd, then AwaitKindMotionsEnd.
  // A stop makes the request, sends its halt, and only then waits.
  void EndKindMotions();
  // Tells those threads to send nothing more; returns at once.
  virtual void RequestKindMotionsEnd();
  // Waits (bounded) for them to end.
  virtual void AwaitKindMotionsEnd();
  // Called by SetSite once the new latitude is stored.
  virtual void SiteChanged();
  // What StopAxis does once the axis is released: halt it, go back to
  // tracking instead (equatorial right ascension axis while tracking is
  // requested), or halt it and then resume tracking (alt-azimuth, once both
  // axes are free and tracking is requested).
  enum class AfterStop { kHalt, kTrack, kHaltThenTrack };
  virtual AfterStop AfterStopOf(int axis);
  // The tracking a sky goto hands over to once it has arrived: `target` is
  // the goto's target, whose hour angle held at tick `targetTick` and turns
  // with the sky. A kind that tracks in software follows the target itself,
  // so that what is left of the arrival error is closed rather than kept;
  // the root starts tracking as StartTracking does.
  virtual MountResult StartTrackingOnTarget(const SkyPoint& target, uint32_t targetTick);
  // Runs on the thread of the tracking start numbered `command` once it has
  // set axis 0 turning at `rate`, and returns when that tracking is no
  // longer wanted. A kind whose controller cannot run the rate exactly keeps
  // the axis on its track here; the root returns at once.
  virtual void FollowTrackingRate(uint32_t command, double rate);

  // ---- Command order. ----
  // Every operation that starts, replaces or stops a motion draws the next
  // command number under the command lock, for the axes it concerns; a motion
  // claims its axes by writing that number into its claims (ClaimOn). A worker thread
  // acts for one command and sends each motion command through SendIf,
  // which checks under the same lock that its motion is still wanted: a
  // stop or a newer command is then either seen before the command goes
  // out, or comes after it and undoes it. Nothing the host asked to stop
  // moves again.
  uint32_t BeginCommand(unsigned axes);
  // BeginCommand, and claims the axes in `axes` (kAxis0, kAxis1) for it.
  uint32_t BeginMotion(unsigned axes);
  // True when no command concerning any of `axes` came after `command`.
  bool IsLatestCommand(uint32_t command, unsigned axes) const;
  // The claim an axis holds while `command` owns an axis.
  static int32_t ClaimOf(uint32_t command) { return static_cast<int32_t>(command); }
  // Gives up the claims `command` still holds; a newer command's stay.
  void ReleaseClaims(uint32_t command);
  // Runs `send` (one or more motion commands) when `wanted()` holds,
  // otherwise sends nothing and returns kUserInterrupt. Over a serial line
  // the test is made again for every request, with the line held and right
  // before the request goes out (ExchangeGuard): a request a stop comes
  // after is on the wire before the stop, one it comes before is never
  // sent, and the result is then kUserInterrupt. No lock is held while the
  // commands wait for their replies. On a mount without a line (the
  // simulators, whose commands take no time) test and command run under
  // the command lock instead.
  template <typename Wanted, typename Send>
  MountResult SendIf(const Wanted& wanted, const Send& send) {
    if (Line() == nullptr) {
      const auto lock = LockCommands();
      if (!wanted()) return kUserInterrupt;
      return send();
    }
    ExchangeGuard guard{std::function<bool()>(wanted)};
    if (!wanted()) return kUserInterrupt;
    const MountResult r = send();
    return guard.Tripped() ? kUserInterrupt : r;
  }

  // Whether `command` was drawn after `than` (numbers run to 2^31 - 1 and
  // start again at 1; of two numbers in use, the one ahead by less than
  // half the range is the newer).
  static bool IsNewerCommand(uint32_t command, uint32_t than);

  // ---- Giving way. ----
  // A motion that wants the axes asks the motion that owns them to give
  // way, and withdraws the request once it has them. The request carries
  // the asking command's number, and only a motion of an older command
  // gives way to it: a motion whose thread starts late never makes a newer
  // one give way.
  void AskToGiveWay(uint32_t command);
  // Withdraws `command`'s request; a newer command's request stays.
  void WithdrawGiveWay(uint32_t command);
  // Whether the motion of `command` is asked to give way (by a newer
  // command, or by the destructor, which asks every motion).
  bool MustGiveWay(uint32_t command) const;

  // The number of commands drawn so far (BeginCommand), and a sleep that a
  // new command (a stop, a newer motion) or the shutdown ends early. A motion
  // thread reads the number, checks whether it is still wanted, then sleeps
  // with it: a command that came in between wakes it at once.
  uint64_t CommandGeneration() const { return commandGeneration_.load(); }
  void SleepUnlessCommanded(uint64_t seen, uint32_t ticks);
  // Wakes every SleepUnlessCommanded.
  void NotifyCommand();

  // ---- Axes that do not answer. ----
  // The record of answers of the mount's serial line, which every exchange
  // updates (see LineHealth); null for a mount without one.
  virtual LineHealth* Line();
  // Whether `axis` counts as silent now (never without a line).
  bool AxisSilent(int axis);
  // 0 when `axis` is not silent, or answers a position read now (which
  // clears the mark); else its no-response code (100/101). Commands use it:
  // the first command after the line answers again works.
  MountResult CheckAxisAnswers(int axis);
  // CheckAxisAnswers for each axis in `axes`; the first failure.
  MountResult CheckAxesAnswer(unsigned axes);
  // Marks `axis` silent when `result` is a no-response code: a motion gave
  // up on it.
  void NoteAxisResult(int axis, MountResult result);
  // Read-outs of a silent axis do not each wait out a reply time-out: one
  // read every kSilentProbeSpacing tries the line, the others answer the
  // axis's code at once. True when the caller's read may go to the line.
  bool MayRead(int axis);

  // ---- Readings shared by the read-outs (shared_reads.cpp). ----
  // The read-out window is Settings().readOutWindowMs (kReadOutWindow
  // unless the mount was built with another), in ticks of the library's
  // clock (shorter in real time on a scaled clock).
  struct ReadResult {
    MountResult result;
    double value;  // the position, or the state word as a number
  };
  // Reads `what` of `axis` and keeps what came back (any thread). Inside a
  // SharedReadOuts scope a reading kept within the read-out window answers
  // instead, unless the axis is silent. On a failed read, or without a
  // line, the value is the last known one.
  ReadResult ReadKept(int axis, LineHealth::Reading what);

  // ---- The line watch (line_watch.cpp). ----
  // On a mount with a line, starts the thread that keeps the record of
  // answers current: it reads an axis that has not answered for
  // Settings().lineProbeQuietMs (so a controller that falls silent is found within the
  // silence limit of LineHealth, whether the host polls or not, moving or
  // idle), and ends every motion once an axis falls silent. CreateMount
  // starts it once the mount is connected. No-op without a line.
  void StartLineWatch();
  // Ends every motion because the line stopped answering: no motion is
  // wanted any more, tracking is off, and both axes get a halt.
  void EndMotionsOnSilentLine();
  // Whether a motion is under way (a goto, a hand move, tracking), which a
  // line that falls silent ends.
  bool MotionUnderWay();
  // Kinds with motions of their own threads (the alt-azimuth tracking).
  virtual bool KindMotionUnderWay();

  // ---- Motion threads (bodies in motion_threads.cpp). ----
  // Each Launch* starts the thread on the mount's WorkerGroup for the command that
  // started the motion and returns false when it could not be started. The
  // targets travel with the thread, so a newer command's target can never
  // be mixed into an older motion. The bodies return their MountResult.
  bool LaunchGotoSkyThread(uint32_t command, SkyPoint target, uint32_t startTick);
  bool LaunchGotoAxesThread(uint32_t command, AxisPair target);
  bool LaunchMoveAxisThread(uint32_t command, int axis, double rate);
  bool LaunchTrackingStartThread(uint32_t command);
  MountResult GotoSkyThread(uint32_t command, SkyPoint target, uint32_t startTick);
  MountResult GotoAxesThread(uint32_t command, AxisPair target);
  MountResult MoveAxisThread(uint32_t command, int axis, double rate);
  // `rateSent` (may be null) receives the rate the start commands.
  MountResult TrackingStartThread(uint32_t command, double* rateSent = nullptr);
  // The axis goto both kinds start from GotoAxes: claims both axes and
  // starts GotoAxesThread. No altitude check.
  MountResult StartAxesGoto(double angle0, double angle1);

  // ---- The mount's parts. ----
  // The pointing model: rotation, error terms, many-star model, alignment
  // state, under its own lock (pointing_model.h says who writes it).
  PointingModel& Model() { return model_; }
  const PointingModel& Model() const { return model_; }

  // The altitude limits (rad) gotos and star ratings keep to; set by
  // SetAltitudeLimits.
  double LowerAltitudeLimit() const { return lowerAltitudeLimit_.load(); }
  double UpperAltitudeLimit() const { return upperAltitudeLimit_.load(); }

  // Whether the host asked for tracking (SetTracking, a sky goto that
  // arrives); set by the command paths of this class alone.
  bool TrackingRequested() const { return trackingRequested_.load(); }

  // ---- The mount's parts; each header says who writes it. ----
  // Per axis: position, state, commanded angle, rate, last direction.
  AxisRecord& Axes() { return axes_; }
  const AxisRecord& Axes() const { return axes_; }

  // Model number, kind, model switches: set by the constructors only.
  const MountIdentity& Identity() const { return identity_; }

  // The site's latitude (rad); set by SetSite, read by every thread.
  double Latitude() const { return latitude_.load(); }

  // The tracking rate and the backlash take-up.
  DriveRates& Rates() { return rates_; }
  const DriveRates& Rates() const { return rates_; }

  // The sky position tracking follows, with its tick (tracking threads).
  SkyReference& TrackingReference() { return trackingReference_; }
  const SkyReference& TrackingReference() const { return trackingReference_; }

  // How each motion ended: recorded once by its thread, read by
  // GetMotionOutcome.
  MotionOutcomes& Outcomes() { return outcomes_; }
  const MotionOutcomes& Outcomes() const { return outcomes_; }

  // Set by Shutdown() (and the destructors): every thread treats it as a
  // stop request and no motion starts any more.
  bool ShuttingDown() const { return shuttingDown_.load(); }

  // How many of the mount's worker threads run now.
  int RunningThreads() const { return workers_.RunningCount(); }

  // The command whose motion claims `axis` (ClaimOf), 0 while it is free:
  // claimed and released under the command lock by the command paths alone.
  int32_t ClaimOn(int axis) const { return axisMoving_[axis].load(); }
  // Whether no motion thread owns the axes; a motion takes them (only one
  // can, waiting up to `timeout` ticks) and hands them back when it ends.
  bool AxesIdle() const { return idleEvent_.IsSet(); }
  bool TakeIdleAxes(uint32_t timeout) { return idleEvent_.WaitAndReset(timeout); }
  void HandBackAxes() { idleEvent_.Set(); }

  // The tuning values the mount was built with.
  const MountSettings& Settings() const { return settings_; }

  // The mount's state word, whether a goto is under way and the latest sky
  // goto's target; set by the motion paths alone (see PublishedState).
  const PublishedState& Published() const { return published_; }

  // ---- Goto parameters. ----
  // Set by the model's constructor (its figures), by Connect where the
  // firmware needs other ones, and by the host (SetGotoParameters); read
  // by the goto threads and the drivers, always all four of one setting.
  GotoParameters GetGotoParameters() const;
  void SetGotoParameters(const GotoParameters& parameters);
  // Only the arrival tolerance (a firmware that stops short of the target).
  void SetGotoTolerance(double tolerance);

 protected:
  // The command lock (see "Command order"): held only around the drawing
  // of a number, the claims and single motion commands, never across a
  // wait for a thread; recursive because a goto that arrives starts
  // tracking (which draws a number) while it holds it.
  std::unique_lock<std::recursive_mutex> LockCommands() const {
    return std::unique_lock<std::recursive_mutex>(commandMutex_);
  }

  void MarkShuttingDown() { shuttingDown_.store(true); }
  // The worker threads of this mount; joined by Shutdown() and at the
  // latest by the destructor.
  platform::WorkerGroup& Workers() { return workers_; }

  // For the model classes' constructors: the model number the object
  // reports, its kind, and what the model switches on. A hardware Connect
  // may turn the alignment syncs off before anything else runs.
  void DeclareModel(MountType type) { identity_.type_ = type; }
  void DeclareEquatorial(bool equatorial) { identity_.equatorial_ = equatorial; }
  void RefineEquatorialGotos(bool refine) { identity_.refinesEquatorialGotos_ = refine; }
  void SyncAxesOnAlign(bool axis0, bool axis1) {
    identity_.syncAxisOnAlign_[0] = axis0;
    identity_.syncAxisOnAlign_[1] = axis1;
  }

  // Its setters are open only to this class and to the kinds' motion
  // threads (PublishedState's friends), never to a driver.
  PublishedState published_;

 private:
  // A goto's thread (motion_threads.cpp).
  class GotoRun;
  // The state word from two axis states read after the latest step that
  // moved stateEpoch_ (called under the command lock; see UpdateMountState).
  void PublishMountState(uint32_t s0, uint32_t s1);
  static constexpr int kStateReadTries = 3;

  // Command order (see above): the last number drawn (under the command lock),
  // the latest command per axis (written under the command lock), and the
  // command whose stop halted each axis (NoteHalted; any thread).
  uint32_t lastCommand_ = 0;
  std::atomic<uint32_t> latestCommand_[2]{0, 0};
  std::atomic<uint32_t> haltCommand_[2];
  // Moved on, under the command lock, by every step that changes what the
  // state word should say (a command drawn, a halt noted, tracking cleared),
  // so that UpdateMountState can tell reads taken before such a step.
  std::atomic<uint64_t> stateEpoch_{0};
  // Written by SetTracking, StopAxis, the gotos and the line watch.
  std::atomic<bool> trackingRequested_{false};
  // Limits: the host writes them, any thread reads them.
  std::atomic<double> upperAltitudeLimit_;
  std::atomic<double> lowerAltitudeLimit_{0.0};

  const MountSettings settings_;
  AxisRecord axes_;
  MountIdentity identity_;
  // See ClaimOn, AxesIdle and LockCommands.
  std::atomic<int32_t> axisMoving_[2]{0, 0};
  platform::Event idleEvent_{platform::Event::Mode::kManualReset, true};
  mutable std::recursive_mutex commandMutex_;
  friend struct ClaimsAccess;  // tests
  // 30 degrees until SetSite.
  std::atomic<double> latitude_;
  DriveRates rates_;
  PointingModel model_;
  SkyReference trackingReference_;
  MotionOutcomes outcomes_;
  std::atomic<bool> shuttingDown_{false};
  // The newest command that asks for the axes; 0 while none does,
  // kEveryCommand while the destructor waits.
  static constexpr uint32_t kEveryCommand = UINT32_MAX;
  std::atomic<uint32_t> giveWayTo_{0};
  mutable std::mutex gotoMutex_;
  GotoParameters goto_;
  // Rate moves and tracking starts launched whose threads have not ended
  // (their command is then sent, or given up); guarded by unsentMutex_.
  int unsentStarts_ = 0;
  std::mutex unsentMutex_;
  std::condition_variable unsentSignal_;
  // Counts a launch in or out of unsentStarts_.
  void CountUnsentStart(int change);
  // Counts BeginCommand calls; SleepUnlessCommanded waits on it.
  std::atomic<uint64_t> commandGeneration_{0};
  std::mutex commandSignalMutex_;
  std::condition_variable commandSignal_;
  // The line watch's body.
  void LineWatch();

  // Declared last: joined (by the destructor at the latest) before any
  // other member goes.
  platform::WorkerGroup workers_;
};

}  // namespace sidera
