// The GPS worker: receiver probes, the bus and NMEA readers, the clock.
#include "location/core/gps/gps_reader.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "location/core/gps/bus_packet.h"
#include "location/core/gps/gps_port.h"
#include "location/core/gps/nmea.h"
#include "location/core/gps/nmea_reading.h"
#include "platform/serial_port.h"

namespace location::gps {

using sidera::platform::SerialPort;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kNmeaRates[] = {9600, 4800, 2400};
// How long the probe listens at each rate. A receiver sends at least once a
// second, so this holds one whole sentence wherever listening begins.
constexpr auto kProbeWindow = 1500ms;
// The longest a read runs before the worker looks at its stop request.
constexpr auto kSlice = 50ms;

// Reads what arrives within one slice (or by `end`); false when the line
// failed (hung up) before anything came.
bool ReadSlice(SerialPort& port, uint8_t* buffer, size_t size, size_t* got,
               Clock::time_point end = Clock::time_point::max()) {
  port.SetDeadline(std::min(Clock::now() + kSlice, end));
  const bool ok = port.Read(buffer, size, got);
  port.SetDeadline(std::nullopt);
  return ok;
}

}  // namespace

GpsReader::GpsReader(ClockService& clock, GpsListener& listener)
    : clock_(clock), listener_(listener) {}

GpsReader::~GpsReader() {
  RequestStop();
  Join();
}

int GpsReader::Start(const std::string& devicePath) {
  int worker = 0;
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    worker = current_.load() + 1;
    current_ = worker;  // the previous worker now sees that it is replaced
    stop_ = false;
  }
  stopChanged_.notify_all();
  std::thread previous = std::move(thread_);
  thread_ = std::thread([this, worker, devicePath, previous = std::move(previous)]() mutable {
    if (previous.joinable()) previous.join();
    Run(worker, devicePath);
  });
  return worker;
}

void GpsReader::RequestStop() {
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stop_ = true;
  }
  stopChanged_.notify_all();
}

void GpsReader::StopSelf(int worker) {
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    if (current_.load() != worker) return;  // a new worker's run must not end
    stop_ = true;
  }
  stopChanged_.notify_all();
}

void GpsReader::Join() {
  if (thread_.joinable()) thread_.join();
}

GpsState GpsReader::State() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return state_;
}

void GpsReader::Wait(int worker, int ms) {
  std::unique_lock<std::mutex> lock(stopMutex_);
  (void)stopChanged_.wait_for(lock, std::chrono::milliseconds(ms),
                              [this, worker] { return Stopping(worker); });
}

void GpsReader::Run(int worker, const std::string& path) {
  Update([](GpsState& s) { s = GpsState{}; });
  if (ProbeBus(worker, path)) {
    ReadBus(worker, path);
  } else if (!Stopping(worker)) {
    ReadNmea(worker, path);
  }
  finished_ = worker;
  listener_.OnFinished(worker);
}

bool GpsReader::ProbeBus(int worker, const std::string& path) {
  SerialPort port;
  if (!OpenGpsPort(port, path, Opening::kBus, kBusBaud)) {
    Update([&](GpsState& s) { s.portProblem = port.LastError().Text(); });
    return false;
  }
  std::vector<uint8_t> reply;
  return BusTransaction(port, kMsgLinked, reply, [&](int ms) { Wait(worker, ms); });
}

void GpsReader::ReadBus(int worker, const std::string& path) {
  Update([](GpsState& s) {
    s.kind = ReceiverKind::kBus;
    s.baudRate = kBusBaud;
  });
  SerialPort port;
  if (!OpenGpsPort(port, path, Opening::kBus, kBusBaud)) return;
  auto wait = [&](int ms) { Wait(worker, ms); };
  std::vector<uint8_t> replies[kBusStepCount];
  std::optional<BusFix> fix;
  while (!fix) {
    if (Stopping(worker)) return;
    std::vector<uint8_t> linked;
    const bool answered = BusTransaction(port, kMsgLinked, linked, wait);
    Wait(worker, 100);
    if (!answered || ReplyData(linked).empty() || ReplyData(linked)[0] != 1) {
      Wait(worker, 500);
      continue;
    }
    Update([](GpsState& s) { s.receiverAnswering = true; });
    bool complete = true;
    for (size_t i = 0; i < kBusStepCount && complete && !Stopping(worker); ++i) {
      complete = BusTransaction(port, kBusSteps[i].id, replies[i], wait);
      Wait(worker, 100);
    }
    if (complete && !Stopping(worker)) fix = DecodeBusFix(replies);
  }
  Update([&](GpsState& s) {
    s.latitude = fix->latitude;
    s.longitude = fix->longitude;
    s.positionKnown = true;
    s.satellites = fix->satellites;
    s.satellitesKnown = true;
    s.usableFix = true;
  });
  listener_.OnPosition(worker, fix->longitude, fix->latitude);
  listener_.OnSatellites(worker, fix->satellites);
  listener_.OnLocated(worker);
  if (fix->utc) {
    if (MaySetClock(*fix->utc, datesFrom_)) clock_.SetUtc(*fix->utc);
    Update([&](GpsState& s) {
      s.timeValid = true;
      s.utc = fix->utc;
    });
    listener_.OnTime(worker, *fix->utc);
  }
}

bool GpsReader::ProbeNmea(int worker, const std::string& path) {
  for (const uint32_t rate : kNmeaRates) {
    if (Stopping(worker)) return false;
    SerialPort port;
    if (!OpenGpsPort(port, path, Opening::kNmeaProbe, rate)) {
      Update([&](GpsState& s) { s.portProblem = port.LastError().Text(); });
      continue;
    }
    // Whatever the receiver sends first (a banner, a long proprietary line,
    // the middle of a sentence) is passed over: the rate is accepted on the
    // first sentence that proves it, or given up after the window.
    SentenceAssembler sentences;
    const Clock::time_point end = Clock::now() + kProbeWindow;
    uint8_t buffer[128];
    while (!Stopping(worker) && Clock::now() < end) {
      size_t got = 0;
      if (!ReadSlice(port, buffer, sizeof buffer, &got, end)) break;  // the line is gone
      for (size_t i = 0; i < got; ++i) {
        const std::optional<Sentence> sentence = sentences.Feed(buffer[i]);
        if (sentence && IsRateEvidence(*sentence)) {
          Update([rate](GpsState& s) { s.baudRate = rate; });
          return true;
        }
      }
    }
  }
  return false;
}

void GpsReader::ReadNmea(int worker, const std::string& path) {
  Update([](GpsState& s) { s.kind = ReceiverKind::kNmea; });
  if (!ProbeNmea(worker, path)) {
    if (!Stopping(worker)) listener_.OnProbeFailed(worker);
    return;
  }
  SerialPort port;
  if (!OpenGpsPort(port, path, Opening::kNmeaReader, State().baudRate)) return;
  SentenceAssembler sentences;
  uint8_t buffer[128];
  while (!Stopping(worker)) {
    size_t got = 0;
    if (!ReadSlice(port, buffer, sizeof buffer, &got)) {
      Wait(worker, 100);  // the line is gone; do not spin while waiting for a stop
      continue;
    }
    // Once the reader has all it needs, what follows is not read.
    for (size_t i = 0; i < got && !Stopping(worker); ++i) {
      if (const std::optional<Sentence> sentence = sentences.Feed(buffer[i])) {
        HandleSentence(worker, *sentence);
      }
    }
  }
}

void GpsReader::HandleSentence(int worker, const Sentence& sentence) {
  const std::optional<NmeaReading> r = ReadNmeaSentence(sentence, datesFrom_);
  if (!r) return;
  Update([&](GpsState& s) {
    s.talker = r->talker;
    if (r->satellites) {
      s.satellites = *r->satellites;
      s.satellitesKnown = true;
    }
  });
  if (r->fix) listener_.OnSatellites(worker, *r->satellites);
  if (r->located) {
    Update([&](GpsState& s) {
      s.elevation = r->altitude;
      s.elevationKnown = true;
      s.receiverAnswering = true;
    });
    listener_.OnLocated(worker);
  }
  if (r->utc) {
    Update([&](GpsState& s) {
      s.latitude = *r->latitude;
      s.longitude = *r->longitude;
      s.positionKnown = true;
    });
    listener_.OnPosition(worker, *r->longitude, *r->latitude);
    // A date before the build date is shown as it is but sets no clock.
    if (MaySetClock(*r->utc, datesFrom_)) clock_.SetUtc(*r->utc);
    Update([&](GpsState& s) {
      s.timeValid = true;
      s.utc = r->utc;
    });
    listener_.OnTime(worker, *r->utc);
  }
  // A good fix and a valid time and position, in either order: the reader
  // has all it needs.
  bool complete = false;
  Update([&](GpsState& s) {
    s.usableFix = s.receiverAnswering && s.timeValid && s.positionKnown;
    complete = s.usableFix;
  });
  if (complete) StopSelf(worker);
}

}  // namespace location::gps
