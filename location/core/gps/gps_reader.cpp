// The GPS worker: receiver probes, the bus and NMEA readers, the clock.
#include "location/core/gps/gps_reader.h"

#include <chrono>
#include <vector>

#include "location/core/gps/bus_packet.h"
#include "location/core/gps/gps_port.h"
#include "location/core/gps/nmea.h"
#include "sidera/platform/serial_port.h"

namespace location::gps {

using sidera::platform::SerialPort;

namespace {

constexpr uint32_t kNmeaRates[] = {9600, 4800, 2400};
constexpr int kProbeBytes = 256;

// The bus unit's messages read after it reports a link, in order, with the
// data bytes each reply must carry.
struct BusStep {
  uint8_t id;
  size_t dataBytes;
};
constexpr BusStep kBusSteps[] = {{kMsgSatellites, 2}, {kMsgMonthDay, 2}, {kMsgYear, 2},
                                 {kMsgTimeOfDay, 3},  {kMsgLatitude, 3}, {kMsgLongitude, 3}};

}  // namespace

GpsReader::GpsReader(ClockService& clock, GpsListener& listener)
    : clock_(clock), listener_(listener) {}

GpsReader::~GpsReader() {
  RequestStop();
  Join();
}

int GpsReader::Start(const std::string& devicePath) {
  if (thread_.joinable()) {
    RequestStop();
    thread_.join();
  }
  stop_ = false;
  Update([](GpsState& s) { s.positionKnown = false; });
  const int worker = ++lastWorker_;
  workerRunning_ = true;
  thread_ = std::thread([this, worker, devicePath] { Run(worker, devicePath); });
  return worker;
}

void GpsReader::RequestStop() {
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
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

bool GpsReader::Wait(int ms) {
  std::unique_lock<std::mutex> lock(stopMutex_);
  return !stopChanged_.wait_for(lock, std::chrono::milliseconds(ms),
                                [this] { return stop_.load(); });
}

void GpsReader::Run(int worker, std::string path) {
  if (ProbeBus(path)) {
    ReadBus(worker, path);
  } else if (!stop_) {
    ReadNmea(worker, path);
  }
  workerRunning_ = false;
  listener_.OnFinished(worker);
}

bool GpsReader::ProbeBus(const std::string& path) {
  SerialPort port;
  if (!OpenGpsPort(port, path, Opening::kBus, kBusBaud)) return false;
  std::vector<uint8_t> reply;
  return BusTransaction(port, kMsgLinked, reply, [this](int ms) { Wait(ms); });
}

void GpsReader::ReadBus(int worker, const std::string& path) {
  Update([](GpsState& s) {
    s.receiverAnswering = false;
    s.kind = ReceiverKind::kBus;
  });
  SerialPort port;
  if (!OpenGpsPort(port, path, Opening::kBus, kBusBaud)) return;
  auto wait = [this](int ms) { Wait(ms); };
  std::vector<uint8_t> replies[std::size(kBusSteps)];
  for (;;) {
    if (stop_) return;
    std::vector<uint8_t> linked;
    const bool answered = BusTransaction(port, kMsgLinked, linked, wait);
    Wait(100);
    if (!answered || ReplyData(linked).empty() || ReplyData(linked)[0] != 1) {
      Wait(500);
      continue;
    }
    Update([](GpsState& s) { s.receiverAnswering = true; });
    bool complete = true;
    for (size_t i = 0; i < std::size(kBusSteps) && complete && !stop_; ++i) {
      complete = BusTransaction(port, kBusSteps[i].id, replies[i], wait) &&
                 ReplyData(replies[i]).size() >= kBusSteps[i].dataBytes;
      Wait(100);
    }
    if (complete && !stop_) break;
  }
  const auto satellites = static_cast<int8_t>(ReplyData(replies[0])[1]);
  const double latitude = Angle24ToDegrees(ReplyData(replies[4]).data());
  const double longitude = Angle24ToDegrees(ReplyData(replies[5]).data());
  Update([&](GpsState& s) {
    s.latitude = latitude;
    s.longitude = longitude;
    s.satellites = satellites;
    s.positionKnown = true;
  });
  listener_.OnPosition(worker, longitude, latitude);
  listener_.OnSatellites(worker, satellites);
  listener_.OnLocated(worker);
  const auto date = ReplyData(replies[1]);
  const auto year = ReplyData(replies[2]);
  const auto time = ReplyData(replies[3]);
  const GpsTime utc{year[0] * 256 + year[1], date[0], date[1], time[0], time[1], time[2]};
  // A unit without time yet reports no date; that must not set the clock.
  if (IsValidGpsTime(utc)) {
    clock_.SetUtc(utc);
    listener_.OnTime(worker, utc);
  }
}

bool GpsReader::ProbeNmea(const std::string& path) {
  for (const uint32_t rate : kNmeaRates) {
    SerialPort port;
    if (!OpenGpsPort(port, path, Opening::kNmeaProbe, rate)) continue;
    uint8_t byte = 0;
    size_t got = 0;
    for (int i = 0; i < kProbeBytes && !stop_; ++i) {
      if (!port.Read(&byte, 1, &got) || got == 0) break;
      if (byte != '$') continue;
      uint8_t name[6] = {};
      if (port.Read(name, sizeof name, &got) && got >= 2 && name[0] == 'G' && name[1] == 'P') {
        Update([rate](GpsState& s) { s.baudRate = rate; });
        return true;
      }
      break;
    }
    if (stop_) return false;
  }
  return false;
}

void GpsReader::ReadNmea(int worker, const std::string& path) {
  Update([](GpsState& s) { s.kind = ReceiverKind::kNmea; });
  if (!ProbeNmea(path)) {
    if (!stop_) listener_.OnProbeFailed(worker);
    return;
  }
  Update([](GpsState& s) {
    s.receiverAnswering = false;
    s.timeValid = false;
  });
  SerialPort port;
  if (!OpenGpsPort(port, path, Opening::kNmeaReader, State().baudRate)) return;
  SentenceAssembler sentences;
  while (!stop_) {
    uint8_t byte = 0;
    size_t got = 0;
    if (!port.Read(&byte, 1, &got)) {
      Wait(100);  // the line is gone; do not spin while waiting for a stop
      continue;
    }
    if (got == 0) continue;
    const std::optional<std::string> body = sentences.Feed(byte);
    if (!body) continue;
    const std::string_view text(*body);
    if (text.starts_with("GPGGA,")) {
      HandleFix(worker, body->substr(6));
    } else if (text.starts_with("GPRMC,")) {
      HandleRecommendedMinimum(worker, body->substr(6));
    }
  }
}

void GpsReader::HandleFix(int worker, const std::string& fields) {
  const FixSentence fix = ParseFix(fields);
  if (fix.fields < 9 || (fix.quality != 1 && fix.quality != 2)) return;
  listener_.OnSatellites(worker, fix.satellites);
  bool stopNow = false;
  Update([&](GpsState& s) {
    s.satellites = fix.satellites;
    if (fix.satellites > 3) {
      s.elevation = fix.altitude;
      s.receiverAnswering = true;
      stopNow = s.timeValid;  // the reader has all it needs
    }
  });
  if (fix.satellites <= 3) return;
  listener_.OnLocated(worker);
  if (stopNow) RequestStop();
}

void GpsReader::HandleRecommendedMinimum(int worker, const std::string& fields) {
  const RecommendedMinimum rmc = ParseRecommendedMinimum(fields);
  if (rmc.fields < 9 || rmc.status == 'V' || rmc.status == 'v') return;
  const std::optional<double> latitude = NmeaLatitude(rmc.latitude, rmc.northSouth);
  const std::optional<double> longitude = NmeaLongitude(rmc.longitude, rmc.eastWest);
  if (!latitude || !longitude || rmc.time < 0 || rmc.date < 0) return;
  const auto hhmmss = static_cast<long>(rmc.time);
  const GpsTime utc{2000 + static_cast<int>(rmc.date % 100), static_cast<int>(rmc.date / 100 % 100),
                    static_cast<int>(rmc.date / 10000),      static_cast<int>(hhmmss / 10000),
                    static_cast<int>(hhmmss / 100 % 100),    static_cast<int>(hhmmss % 100)};
  if (!IsValidGpsTime(utc)) return;
  Update([&](GpsState& s) {
    s.latitude = *latitude;
    s.longitude = *longitude;
    s.positionKnown = true;
  });
  listener_.OnPosition(worker, *longitude, *latitude);
  if (rmc.status == 'A' || rmc.status == 'a') {
    clock_.SetUtc(utc);
    Update([](GpsState& s) { s.timeValid = true; });
  }
  listener_.OnTime(worker, utc);
}

}  // namespace location::gps
