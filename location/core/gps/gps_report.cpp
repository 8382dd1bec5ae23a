// The GPS report: its command line, the reading, and the JSON it prints.
#include "location/core/gps/gps_report.h"

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "location/core/gps/gps_port.h"

namespace location::gps {
namespace {

// Waits for the worker to end; the report needs no other report.
class FinishWatch : public GpsListener {
 public:
  void OnSatellites(int, int) override {}
  void OnPosition(int, double, double) override {}
  void OnLocated(int) override {}
  void OnTime(int, const GpsTime&) override {}
  void OnProbeFailed(int) override {}
  void OnFinished(int) override {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    changed_.notify_all();
  }
  void WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    (void)changed_.wait_until(lock, deadline, [this] { return finished_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false;  // guarded by mutex_
};

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Fixed decimals, or the shortest text that reads back the same number;
// independent of the locale.
std::string Number(double value, int decimals = -1) {
  char text[64];
  const auto result = decimals < 0 ? std::to_chars(text, text + sizeof text, value)
                                   : std::to_chars(text, text + sizeof text, value,
                                                   std::chars_format::fixed, decimals);
  return std::string(text, result.ptr);
}

}  // namespace

bool WantsGpsReport(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--gps-report") == 0) return true;
  }
  return false;
}

std::optional<ReportRequest> ParseReportArguments(const std::vector<std::string>& arguments,
                                                  std::string& error) {
  ReportRequest request;
  bool haveDevice = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name != "--gps-report" && name != "--seconds" && name != "--dates-from") {
      error = "unexpected argument " + name;
      return std::nullopt;
    }
    if (i + 1 >= arguments.size()) {
      error = name + (name == "--seconds"      ? " needs a number"
                      : name == "--dates-from" ? " needs a date"
                                               : " needs a device");
      return std::nullopt;
    }
    const std::string& value = arguments[++i];
    if (name == "--gps-report") {
      if (haveDevice || value.empty()) {
        error = "one device, please";
        return std::nullopt;
      }
      request.device = value;
      haveDevice = true;
    } else if (name == "--dates-from") {
      GpsTime date{};
      char tail = 0;
      if (std::sscanf(value.c_str(), "%4d-%2d-%2d%c", &date.year, &date.month, &date.day, &tail) !=
              3 ||
          value.size() != 10 || !IsValidGpsTime(date)) {
        error = "--dates-from takes a date YYYY-MM-DD, not " + value;
        return std::nullopt;
      }
      request.datesFrom = date;
    } else {
      int seconds = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (ec != std::errc() || end != value.data() + value.size() || seconds < 1 ||
          seconds > 3600) {
        error = "--seconds takes a whole number from 1 to 3600, not " + value;
        return std::nullopt;
      }
      request.seconds = seconds;
    }
  }
  if (!haveDevice) {
    error = "--gps-report needs a device";
    return std::nullopt;
  }
  return request;
}

std::string FormatReport(const std::string& device, const GpsState& s) {
  const bool found = s.kind == ReceiverKind::kBus || (s.kind == ReceiverKind::kNmea && s.baudRate);
  const char* receiver = !found ? "null" : s.kind == ReceiverKind::kBus ? "\"bus\"" : "\"nmea\"";
  std::string json = "{\"device\":" + Quoted(device) + ",\"receiver\":" + receiver;
  json += ",\"rate\":" + (found ? std::to_string(s.baudRate) : "null");
  json += ",\"talker\":" + (s.talker.empty() ? "null" : Quoted(s.talker));
  json += ",\"satellites\":" + (s.satellitesKnown ? std::to_string(s.satellites) : "null");
  json += ",\"usable_fix\":" + std::string(s.usableFix ? "true" : "false");
  json += ",\"latitude\":" + (s.positionKnown ? Number(s.latitude, 8) : "null");
  json += ",\"longitude\":" + (s.positionKnown ? Number(s.longitude, 8) : "null");
  json += ",\"elevation\":" + (s.elevationKnown ? Number(s.elevation) : "null");
  json += ",\"utc\":";
  if (s.utc) {
    char utc[32];
    std::snprintf(utc, sizeof utc, "\"%04d-%02d-%02dT%02d:%02d:%02dZ\"", s.utc->year, s.utc->month,
                  s.utc->day, s.utc->hour, s.utc->minute, s.utc->second);
    json += utc;
  } else {
    json += "null";
  }
  return json + "}";
}

int RunGpsReport(const ReportRequest& request, std::FILE* out, std::FILE* err) {
  const std::string device = GpsDevicePath(request.device);
  RecordingClock clock;  // a check leaves the system clock alone
  FinishWatch watch;
  GpsState state;
  {
    GpsReader reader(clock, watch);
    reader.SetDatesFrom(request.datesFrom);
    (void)reader.Start(device);
    watch.WaitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(request.seconds));
    reader.RequestStop();
    reader.Join();
    state = reader.State();
  }
  std::fprintf(out, "%s\n", FormatReport(device, state).c_str());
  std::fflush(out);
  const bool found = state.kind == ReceiverKind::kBus || state.baudRate != 0;
  if (!found) {
    std::fprintf(err, "location: no GPS receiver answered on %s%s%s%s\n", device.c_str(),
                 state.portProblem.empty() ? "" : " (", state.portProblem.c_str(),
                 state.portProblem.empty() ? "" : ")");
  } else if (!state.usableFix) {
    std::fprintf(err, "location: no usable fix within %d s\n", request.seconds);
  }
  return state.usableFix ? 0 : 1;
}

}  // namespace location::gps
