// The root of every mount model.
//
// TelescopeMount holds what all models share (site, pointing model, per-axis
// motion state, limits, rates and the motion-thread hand-over) and defines the
// virtual operations through which the exported functions and the motion
// threads drive a mount. A model supplies the hardware primitives (read an
// axis, move it at a rate, move it to an angle, halt it, connect) and inherits
// the rest. Every other mount class derives from it virtually.
//
// Threads. The host thread calls the operations; motion threads (a goto, a
// rate move, a tracking start) and the alt-azimuth tracking threads run
// beside it and are started through `workers`, which joins them all before
// the mount is freed. Ownership of the axes passes through `idleEvent`,
// `stopRequested` and `axisMoving`. Next to each shared field: who writes it,
// who reads it, and what makes that safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "sidera/core/types.h"
#include "sidera/core/vector_matrix.h"
#include "sidera/platform/event.h"
#include "sidera/platform/worker_group.h"

namespace sidera {

// A sky position whose two halves are read and written atomically one by one
// (a reader may see the halves of two different writes; the writers are
// sequenced so that this does not matter).
struct AtomicSkyPoint {
  std::atomic<double> hourAngle{0.0};
  std::atomic<double> declination{0.0};
  SkyPoint Load() const { return SkyPoint{hourAngle.load(), declination.load()}; }
  void Store(const SkyPoint& p) {
    hourAngle.store(p.hourAngle);
    declination.store(p.declination);
  }
};

class TelescopeMount {
 public:
  TelescopeMount();
  virtual ~TelescopeMount();
  TelescopeMount(const TelescopeMount&) = delete;
  TelescopeMount& operator=(const TelescopeMount&) = delete;

  // ---- Virtual operations, in slot order. ----
  virtual int SkyToAxes(SkyPoint& in, AxisPair& out, int applyMountErrors);  // 0
  virtual int AxesToSky(AxisPair& in, SkyPoint& out, int applyMountErrors);  // 1
  virtual int CheckTargetAltitude(const SkyPoint& point);                    // 2 (rating)
  virtual int ResetAlignment();                                              // 3
  virtual double AlignmentAdjust();                                          // 4
  virtual MountResult ReadAxisPosition(int axis);                            // 5
  virtual MountResult ReadAxisState(int axis);                               // 6
  virtual MountResult MotionPollHook();                                      // 7
  virtual MountResult AuxCommandHook(uint32_t a, uint32_t b, uint32_t c);    // 8
  // slot 9: the destructor
  virtual MountResult Connect();                                                       // 10
  virtual MountResult ReservedHook();                                                  // 11
  virtual MountResult SetSite(double latitude, double elevation);                      // 12
  virtual MountResult SetMountErrors(double collimation, double nonPerpendicularity);  // 13
  virtual int CheckStars1(SkyPoint s1);                                           // 14 (rating)
  virtual int CheckStars2(SkyPoint s1, SkyPoint s2, int mode);                    // 15 (rating)
  virtual int CheckStars3(SkyPoint s1, SkyPoint s2, SkyPoint s3);                 // 16 (rating)
  virtual MountResult AlignOneStar(AlignStar s1);                                 // 17
  virtual MountResult AlignTwoStars(AlignStar s1, AlignStar s2);                  // 18
  virtual MountResult AlignThreeStars(AlignStar s1, AlignStar s2, AlignStar s3);  // 19
  virtual int SaveAlignment(AlignmentRecord* out);                                // 20 (size 200)
  virtual MountResult LoadAlignment(const AlignmentRecord* in);                   // 21
  virtual MountResult SlewAxisAtRate(int axis, double rate);                      // 22
  virtual MountResult GotoAxisAngle(int axis, double angle);                      // 23
  virtual MountResult HaltAxis(int axis);                                         // 24
  virtual MountResult WriteAxisPosition(int axis, double angle);                  // 25
  virtual MountResult GotoBothAxisAngles(double angle0, double angle1);           // 26
  virtual MountResult StartTracking();                                            // 27
  virtual MountResult StopTracking();                                             // 28
  virtual MountResult MoveAxis(int axis, double rate, int rateFactor);            // 29
  virtual MountResult ReservedHook2(uint32_t a, uint32_t b, uint32_t c);          // 30
  virtual MountResult StopAxis(int axis);                                         // 31
  virtual MountResult GotoSky(SkyPoint target);                                   // 32
  virtual MountResult GotoHorizontal(double azimuth, double altitude);            // 33
  virtual MountResult GotoAxes(double angle0, double angle1);                     // 34
  virtual MountResult SyncHomePosition();                                         // 35
  virtual MountResult SyncAxis(int axis, double angle);                           // 36
  virtual MountResult SetAltitudeLimits(double lower, double upper);              // 37
  virtual MountResult SetBacklash(int axis, double angle);                        // 38
  virtual MountResult SetGuideRate(int axis, double rate);                        // 39
  virtual MountResult SetTracking(int on);                                        // 40
  virtual MountResult SetTrackingRateMode(int mode);                              // 41
  virtual MountResult ExtensionCommand(int value);                                // 42
  virtual MountResult GetAxisPosition(int axis, double* out);                     // 43
  virtual MountResult GetSkyPosition(SkyPoint* out);                              // 44
  virtual MountResult GetHorizontalPosition(HorizontalPoint* out);                // 45
  virtual MountResult GetAxisState(int axis, uint32_t* out);                      // 46
  virtual MountResult GetMountState(uint32_t* out);                               // 47

  // Stops every worker thread of this mount and joins it; afterwards no new
  // thread starts. DestroyMount (and a failed CreateMount) call this on the
  // whole object before deleting it, so that no thread ever runs against a
  // partly destroyed mount. Kinds with threads of their own (the alt-azimuth
  // tracking) stop those first and then call this body. Idempotent.
  virtual void Shutdown();
  // Called repeatedly while Shutdown() joins the worker threads: wakes any
  // thread that sleeps on one of the mount's events so that it sees
  // `shuttingDown` at once. Kinds with events of their own extend it.
  virtual void WakeWorkersForShutdown();

  // Derives mountState from the two axes (non-virtual).
  MountResult UpdateMountState();

  // ---- Motion threads (bodies in motion_threads.cpp). ----
  // Each Launch* starts the thread on `workers` and returns false when it
  // could not be started. The bodies return their MountResult.
  bool LaunchGotoSkyThread();
  bool LaunchGotoAxesThread();
  bool LaunchMoveAxisThread(int axis);
  bool LaunchTrackingStartThread();
  MountResult GotoSkyThread();
  MountResult GotoAxesThread();
  MountResult MoveAxisThread(int axis);
  MountResult TrackingStartThread();

  // ---- Alignment solvers (alignment.cpp); 0 on success, 1 on failure. ----
  int SolveIndexError(const AlignStar& s1, const AlignStar& s2, double& x);
  int SolveCollimationError(const AlignStar& sp, const AlignStar& s3, double& y);

  // ---- Fields, in the order of the mount's data model. ----
  // Site. Written by the host thread (SetSite); read by every thread.
  std::atomic<double> latitude;
  double elevation;  // host thread only

  // Pointing model: written only on the host thread and only while holding
  // modelMutex (alignment, load, SetSite, SetMountErrors, ResetAlignment);
  // worker threads read it only while holding modelMutex (SkyToAxes,
  // AxesToSky). Recursive, because an alignment converts positions while it
  // holds the lock.
  mutable std::recursive_mutex modelMutex;
  Matrix3 skyToAxesMatrix;
  Matrix3 axesToSkyMatrix;

  // Per-axis motion record. Written by the host thread and by motion
  // threads through the hardware primitives; atomic word by word.
  std::atomic<double> axisPosition[2];
  std::atomic<double> axisTarget[2];
  std::atomic<double> axisRate[2];
  std::atomic<double> axisStartPosition[2];  // simulators
  std::atomic<uint32_t> axisStartTick[2];    // simulators
  std::atomic<uint32_t> axisState[2];
  std::atomic<uint32_t> mountState;

  // Rates. guideRate: host only. trackingRate: host writes, tracking start
  // reads.
  double guideRate[2];
  std::atomic<double> trackingRate;
  double backlashAngle[2];  // host only
  std::atomic<int32_t> backlashCompensation;
  std::atomic<int32_t> axisLastDirectionPositive[2];
  std::atomic<double> rateScale;
  std::atomic<uint32_t> backlashTakeUpTime[2];

  // Hand-over. axisMoving: set by the starting operations (host), cleared by
  // StopAxis (host) and by an ending goto; polled by the threads.
  std::atomic<int32_t> axisMoving[2];
  // Signalled while no motion thread owns the axes.
  platform::Event idleEvent;
  std::atomic<int32_t> gotoActive;     // goto threads write, host reads
  std::atomic<int32_t> stopRequested;  // raised by whoever waits for idleEvent
  AtomicSkyPoint gotoTarget;           // host writes before starting a goto
  std::atomic<uint32_t> gotoStartTick;

  // Goto parameters: host writes (SetGotoParameters), goto threads read.
  std::atomic<double> gotoTolerance;
  std::atomic<double> approachOffset;
  std::atomic<double> approachDistance;
  std::atomic<double> gotoLeadTime;

  // Identity, set by the constructors.
  MountType mountType;
  int32_t isEquatorial;
  int32_t equatorialGotoRefinement;

  // Limits: host writes, host and threads read.
  std::atomic<double> upperAltitudeLimit;
  std::atomic<double> lowerAltitudeLimit;

  // Mount error terms: part of the pointing model (see modelMutex).
  double axis1IndexError;
  double collimationError;
  double nonPerpendicularityError;
  double alignmentResidual;        // host only
  int32_t alignmentQuality;        // host only
  std::atomic<int32_t> isAligned;  // host writes, tracking threads read
  int32_t syncAxisOnAlign[2];      // constructors only

  std::atomic<int32_t> trackingRequested;  // host and goto threads write
  AtomicSkyPoint trackingReference;        // tracking threads write and read
  std::atomic<uint32_t> trackingReferenceTick;

  // Set by Shutdown(): every thread treats it as a stop request and no
  // motion starts any more.
  std::atomic<int32_t> shuttingDown;
  // The worker threads of this mount; joined by Shutdown() and at the
  // latest by the destructor.
  platform::WorkerGroup workers;
};

}  // namespace sidera
