// The GPS reader: one worker thread at a time that finds the receiver on the
// serial port (a GPS unit on the packet bus, else an NMEA receiver at 9600,
// 4800 or 2400 baud), reads position, elevation, satellites and time from it,
// and sets the system clock.
//
// The worker reports through a listener, on its own thread; each report
// carries the worker's number, so that reports of a worker that has since
// been replaced can be told apart. The position it has read is kept here for
// the page to apply.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "location/core/gps/clock_service.h"

namespace location::gps {

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

struct GpsState {
  double longitude = 0;  // degrees, east positive
  double latitude = 0;   // degrees, north positive
  double elevation = 0;  // metres, from the NMEA fix
  bool positionKnown = false;
  int satellites = 0;
  bool receiverAnswering = false;  // bus unit linked, or NMEA fix with > 3 satellites
  bool timeValid = false;          // an NMEA time with status A set the clock
  uint32_t baudRate = 0;           // the NMEA rate the probe found
  ReceiverKind kind = ReceiverKind::kNone;
};

class GpsReader {
 public:
  GpsReader(ClockService& clock, GpsListener& listener);
  ~GpsReader();  // stops and joins the worker
  GpsReader(const GpsReader&) = delete;
  GpsReader& operator=(const GpsReader&) = delete;

  // Starts a worker on the device. A previous worker is first asked to stop
  // and joined, so two never run at once. Returns the new worker's number.
  int Start(const std::string& devicePath);
  // Asks the worker to end; it does so at its next read or wait.
  void RequestStop();
  bool StopRequested() const { return stop_.load(); }
  // Waits until the worker has ended.
  void Join();
  bool WorkerRunning() const { return workerRunning_.load(); }

  GpsState State() const;

 private:
  void Run(int worker, std::string path);
  bool ProbeBus(const std::string& path);
  void ReadBus(int worker, const std::string& path);
  bool ProbeNmea(const std::string& path);
  void ReadNmea(int worker, const std::string& path);
  void HandleFix(int worker, const std::string& fields);
  void HandleRecommendedMinimum(int worker, const std::string& fields);
  // Sleeps `ms` milliseconds or until a stop request; false on a stop request.
  bool Wait(int ms);
  template <typename F>
  void Update(F change) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    change(state_);
  }

  ClockService& clock_;
  GpsListener& listener_;
  // Start/Join/destructor (the page's thread) only.
  std::thread thread_;
  int lastWorker_ = 0;
  // Set by the page or the worker, read by the worker; stopMutex_ and
  // stopChanged_ let a waiting worker wake at once.
  std::atomic<bool> stop_{false};
  std::mutex stopMutex_;
  std::condition_variable stopChanged_;
  std::atomic<bool> workerRunning_{false};  // written by Start and the worker
  // Written by the worker, read by the page when it applies.
  mutable std::mutex stateMutex_;
  GpsState state_;
};

}  // namespace location::gps
