// packet-bus-emulator: serves the two packet-bus motor controllers on a
// pseudo-terminal until interrupted. The device path is the first line of
// standard output, so a parent process can read it and open the device.
#include <cmath>
#include <cstdio>
#include <ctime>

#include "emulators/common/option_table.h"
#include "emulators/common/program.h"
#include "emulators/packet_bus/packet_bus_emulator.h"

namespace {

constexpr const char* kUsage =
    "Usage: packet-bus-emulator [options]\n"
    "Emulates the two motor controllers of a packet-bus mount on a\n"
    "pseudo-terminal. Prints the device path as the first line, then serves\n"
    "until SIGINT/SIGTERM, or until standard input reaches end of file when it\n"
    "is a pipe.\n"
    "\n";

// Degrees -> signed 24-bit count of the same angle.
int32_t DegreesToCount(double degrees) {
  const double turns = degrees / 360.0 - std::floor(degrees / 360.0 + 0.5);  // [-0.5, 0.5)
  const auto count = static_cast<int64_t>(std::llround(turns * 16777216.0));
  return count >= 8388608 ? static_cast<int32_t>(count - 16777216) : static_cast<int32_t>(count);
}

bool ParseVersion(const char* text, sidera::emulator::PacketBusOptions& options) {
  int major = 0;
  int minor = 0;
  char tail = 0;
  if (std::sscanf(text, "%d.%d%c", &major, &minor, &tail) != 2 || major < 0 || major > 255 ||
      minor < 0 || minor > 255) {
    return false;
  }
  options.versionMajor = static_cast<uint8_t>(major);
  options.versionMinor = static_cast<uint8_t>(minor);
  return true;
}

// "YYYY-MM-DDTHH:MM:SS" (universal time) -> seconds since 1970.
bool ParseUtc(const char* text, int64_t& out) {
  std::tm when{};
  char tail = 0;
  if (std::sscanf(text, "%d-%d-%dT%d:%d:%d%c", &when.tm_year, &when.tm_mon, &when.tm_mday,
                  &when.tm_hour, &when.tm_min, &when.tm_sec, &tail) != 6) {
    return false;
  }
  when.tm_year -= 1900;
  when.tm_mon -= 1;
  const time_t seconds = timegm(&when);
  if (seconds < 0) return false;
  out = seconds;
  return true;
}

// "LAT,LON" in degrees; the unit is there once the position is usable.
bool ParseGps(const char* text, sidera::emulator::GpsUnitOptions& gps) {
  char tail = 0;
  gps.present = std::sscanf(text, "%lf,%lf%c", &gps.latitudeDeg, &gps.longitudeDeg, &tail) == 2 &&
                std::fabs(gps.latitudeDeg) <= 90 && std::fabs(gps.longitudeDeg) <= 180;
  return gps.present;
}

// A starting angle, kept as the count of the same angle.
sidera::emulator::OptionTable::Parser Position(int32_t& count) {
  return [&count](const char* text) {
    double degrees = 0;
    if (!sidera::emulator::ParseDouble(text, degrees)) return false;
    count = DegreesToCount(degrees);
    return true;
  };
}

}  // namespace

int main(int argc, char** argv) {
  sidera::emulator::PacketBusOptions o;
  bool log = false;
  sidera::emulator::OptionTable table("packet-bus-emulator", kUsage);
  table.Integer("--silent-axis", "N", -1, 1, o.silentAxis, "controller N (0 or 1) never answers")
      .Integer("--noise", "N", 0, 4096, o.noiseBytes, "N bytes of line noise before every reply")
      .Integer("--bad-length-axis", "N", -1, 1, o.badLengthAxis,
               "replies of axis N carry the length byte 30")
      .Integer("--short-packet-axis", "N", -1, 1, o.shortPacketAxis,
               "replies of axis N are cut 2 bytes short")
      .Integer("--reply-delay", "MS", 0, 60000, o.replyDelayMs,
               "wait MS milliseconds before every reply")
      .Integer("--read-delay-after-connect", "MS", 0, 60000, o.readDelayAfterConnectMs,
               "once the first motion has started (no connect starts one),\n"
               "answer reads MS milliseconds later still")
      .Integer("--close-after", "N", -1, 1000000000, o.closeAfterRequests,
               "hang up the line after N requests")
      .Integer("--silent-after", "N", 0, 1000000000, o.silentAfterRequests,
               "both controllers fall silent (line open) after N requests")
      .Flag("--log-requests", log,
            "print every request as it arrives: \"request 3B 03 01 10 01 EB\"")
      .Positive("--fast", "DEG", o.fastDegPerSec, "fast goto speed in degrees per second (4)")
      .Positive("--slow", "DEG", o.slowDegPerSec, "slow goto speed in degrees per second (0.5)")
      .Positive("--time-scale", "X", o.timeScale, "axes move X times faster than real time (1)")
      .Value("--position0", "DEG", Position(o.initialCounts[0]),
             "starting angle of axis 0 in degrees (0)")
      .Value("--position1", "DEG", Position(o.initialCounts[1]),
             "starting angle of axis 1 in degrees (0)")
      .Value(
          "--version", "MAJOR.MINOR", [&o](const char* v) { return ParseVersion(v, o); },
          "firmware version the controllers report (3.1)")
      .Value(
          "--gps", "LAT,LON", [&o](const char* v) { return ParseGps(v, o.gps); },
          "a GPS unit at 0xB0 reports this position (degrees)")
      .Integer("--gps-satellites", "N", 0, 127, o.gps.satellites,
               "satellites the GPS unit reports (8)")
      .Integer("--gps-link-after", "N", 0, 1000000, o.gps.linkAfterPolls,
               "it answers N link polls with \"not linked\" first (0)")
      .Value(
          "--gps-time", "TIME", [&o](const char* v) { return ParseUtc(v, o.gps.startUtc); },
          "its universal time at start, YYYY-MM-DDTHH:MM:SS (now)");
  if (const auto status = table.Parse(argc, argv)) return *status;

  sidera::emulator::PacketBusEmulator emulator(o);
  if (log) {
    emulator.PrintRequests([](const sidera::emulator::PacketBusRequest& r) {
      sidera::emulator::PrintRequestBytes(r.bytes);
    });
  }
  return sidera::emulator::RunEmulatorProgram("packet-bus-emulator", emulator);
}
