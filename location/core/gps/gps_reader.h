// The GPS reader: one worker thread at a time that finds the receiver on the
// serial port (a GPS unit on the packet bus, else an NMEA receiver at 9600,
// 4800 or 2400 baud), reads position, elevation, satellites and time from it,
// and sets the system clock.
//
// The worker reports through a listener, on its own thread; each report
// carries the worker's number, so that reports of a worker that has since
// been replaced can be told apart. The position it has read is kept here for
// the page to apply.
//
// Start, RequestStop and the destructor are called from one thread (the
// page's). Start never waits for the previous worker: it tells it to stop
// and hands it to the new worker, which joins it before it touches the port.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "location/core/gps/clock_service.h"
#include "location/core/gps/gps_week_rollover.h"

namespace location::gps {

struct Sentence;

class GpsListener {
 public:
  virtual ~GpsListener() = default;
  virtual void OnSatellites(int worker, int count) = 0;
  virtual void OnPosition(int worker, double longitude, double latitude) = 0;
  // The receiver has a fix good enough to apply (bus: a complete read;
  // NMEA: a fix with more than three satellites).
  virtual void OnLocated(int worker) = 0;
  virtual void OnTime(int worker, const GpsTime& utc) = 0;
  // No NMEA receiver answered at any rate; the worker ends.
  virtual void OnProbeFailed(int worker) = 0;
  virtual void OnFinished(int worker) = 0;
};

enum class ReceiverKind { kNone, kBus, kNmea };

// What the current worker has read; reset when a worker begins.
struct GpsState {
  double longitude = 0;  // degrees, east positive
  double latitude = 0;   // degrees, north positive
  bool positionKnown = false;
  double elevation = 0;  // metres, from the NMEA fix
  bool elevationKnown = false;
  int satellites = 0;  // the latest count the receiver gave, whatever its fix
  bool satellitesKnown = false;
  bool receiverAnswering = false;  // bus unit linked, or NMEA fix with > 3 satellites
  bool timeValid = false;          // a received time set the clock
  std::optional<GpsTime> utc;      // that time
  // The reader's verdict: bus, a complete read; NMEA, a fix of quality 1 or
  // 2 with more than three satellites, and a position and time with status A.
  bool usableFix = false;
  uint32_t baudRate = 0;  // the rate the receiver was found at
  std::string talker;     // of the NMEA sentences read ("GP", "GN", ...)
  ReceiverKind kind = ReceiverKind::kNone;
  std::string portProblem;  // why the port did not open, when it did not
};

class GpsReader {
 public:
  GpsReader(ClockService& clock, GpsListener& listener);
  ~GpsReader();  // stops the worker and waits for it
  GpsReader(const GpsReader&) = delete;
  GpsReader& operator=(const GpsReader&) = delete;

  // Starts a worker on the device and returns at once with its number. A
  // previous worker is told to stop; the new one waits for it to end before
  // it begins, so two never use the port at once.
  int Start(const std::string& devicePath);
  // Receiver dates more than ten years before this are moved on by GPS
  // week-number rollovers, and dates before it never set the clock
  // (default: the build date). Set before Start.
  void SetDatesFrom(const GpsTime& date) { datesFrom_ = date; }
  // Asks the current worker to end; it does so within about 50 ms, or after
  // the packet-bus exchange it is in (at most about 2 s).
  void RequestStop();
  bool StopRequested() const { return stop_.load(); }
  // Waits until every worker has ended.
  void Join();
  // The latest worker has not ended yet.
  bool WorkerRunning() const { return finished_.load() != current_.load(); }

  GpsState State() const;

 private:
  GpsTime datesFrom_ = BuildDate();  // the page's thread, before Start
  void Run(int worker, const std::string& path);
  // The worker has been told to stop, or has been replaced.
  bool Stopping(int worker) const { return stop_.load() || current_.load() != worker; }
  // The worker has all it needs; ignored once it has been replaced.
  void StopSelf(int worker);
  // Sleeps `ms` milliseconds or until the worker is stopping.
  void Wait(int worker, int ms);
  bool ProbeBus(int worker, const std::string& path);
  void ReadBus(int worker, const std::string& path);
  bool ProbeNmea(int worker, const std::string& path);
  void ReadNmea(int worker, const std::string& path);
  void HandleSentence(int worker, const Sentence& sentence);
  template <typename F>
  void Update(F change) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    change(state_);
  }

  ClockService& clock_;
  GpsListener& listener_;
  // Start/Join/destructor (the page's thread) only: the latest worker, which
  // owns and joins the one before it.
  std::thread thread_;
  // Written by Start under stopMutex_ (and by StopSelf/RequestStop for
  // stop_), read by the workers; stopChanged_ wakes a waiting worker.
  std::atomic<bool> stop_{false};
  std::atomic<int> current_{0};  // the number of the latest worker
  std::mutex stopMutex_;
  std::condition_variable stopChanged_;
  std::atomic<int> finished_{0};  // written by each worker as it ends
  // Written by the worker, read by the page when it applies.
  mutable std::mutex stateMutex_;
  GpsState state_;
};

}  // namespace location::gps
