// packet-bus-emulator: serves the two packet-bus motor controllers on a
// pseudo-terminal until interrupted. The device path is the first line of
// standard output, so a parent process can read it and open the device.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "emulators/common/program.h"
#include "emulators/packet_bus/packet_bus_emulator.h"

namespace {

using sidera::emulator::ParseDouble;
using sidera::emulator::ParseInteger;

constexpr const char* kUsage =
    "Usage: packet-bus-emulator [options]\n"
    "Emulates the two motor controllers of a packet-bus packet-bus mount on a\n"
    "pseudo-terminal. Prints the device path as the first line, then serves\n"
    "until SIGINT/SIGTERM, or until standard input reaches end of file when it\n"
    "is a pipe.\n"
    "\n"
    "  --silent-axis N        controller N (0 or 1) never answers\n"
    "  --noise N              N bytes of line noise before every reply\n"
    "  --bad-length-axis N    replies of axis N carry the length byte 30\n"
    "  --short-packet-axis N  replies of axis N are cut 2 bytes short\n"
    "  --reply-delay MS       wait MS milliseconds before every reply\n"
    "  --close-after N        hang up the line after N requests\n"
    "  --silent-after N       both controllers fall silent (line open) after N requests\n"
    "  --log-requests         print every request as it arrives: \"request 3B 03 01 10 01 EB\"\n"
    "  --fast DEG             fast goto speed in degrees per second (4)\n"
    "  --slow DEG             slow goto speed in degrees per second (0.5)\n"
    "  --time-scale X         axes move X times faster than real time (1)\n"
    "  --position0 DEG        starting angle of axis 0 in degrees (0)\n"
    "  --position1 DEG        starting angle of axis 1 in degrees (0)\n"
    "  --version MAJOR.MINOR  firmware version the controllers report (3.1)\n"
    "  --gps LAT,LON          a GPS unit at 0xB0 reports this position (degrees)\n"
    "  --gps-satellites N     satellites the GPS unit reports (8)\n"
    "  --gps-link-after N     it answers N link polls with \"not linked\" first (0)\n"
    "  --gps-time TIME        its universal time at start, YYYY-MM-DDTHH:MM:SS (now)\n"
    "  --help                 this text\n";

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

// Returns false (after a message) when the command line is unusable.
bool ParseArguments(int argc, char** argv, sidera::emulator::PacketBusOptions& options, bool& log) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (name == "--log-requests") {
      log = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "packet-bus-emulator: %s needs a value (see --help)\n", name.c_str());
      return false;
    }
    const char* value = argv[++i];
    double degrees = 0;
    bool ok = true;
    if (name == "--silent-axis") {
      ok = ParseInteger(value, -1, 1, options.silentAxis);
    } else if (name == "--noise") {
      ok = ParseInteger(value, 0, 4096, options.noiseBytes);
    } else if (name == "--bad-length-axis") {
      ok = ParseInteger(value, -1, 1, options.badLengthAxis);
    } else if (name == "--short-packet-axis") {
      ok = ParseInteger(value, -1, 1, options.shortPacketAxis);
    } else if (name == "--reply-delay") {
      ok = ParseInteger(value, 0, 60000, options.replyDelayMs);
    } else if (name == "--close-after") {
      ok = ParseInteger(value, -1, 1000000000, options.closeAfterRequests);
    } else if (name == "--silent-after") {
      ok = ParseInteger(value, 0, 1000000000, options.silentAfterRequests);
    } else if (name == "--fast") {
      ok = ParseDouble(value, options.fastDegPerSec) && options.fastDegPerSec > 0;
    } else if (name == "--slow") {
      ok = ParseDouble(value, options.slowDegPerSec) && options.slowDegPerSec > 0;
    } else if (name == "--time-scale") {
      ok = ParseDouble(value, options.timeScale) && options.timeScale > 0;
    } else if (name == "--position0" || name == "--position1") {
      ok = ParseDouble(value, degrees);
      if (ok) options.initialCounts[name == "--position0" ? 0 : 1] = DegreesToCount(degrees);
    } else if (name == "--version") {
      ok = ParseVersion(value, options);
    } else if (name == "--gps") {
      char tail = 0;
      ok = std::sscanf(value, "%lf,%lf%c", &options.gps.latitudeDeg, &options.gps.longitudeDeg,
                       &tail) == 2 &&
           std::fabs(options.gps.latitudeDeg) <= 90 && std::fabs(options.gps.longitudeDeg) <= 180;
      options.gps.present = ok;
    } else if (name == "--gps-satellites") {
      ok = ParseInteger(value, 0, 127, options.gps.satellites);
    } else if (name == "--gps-link-after") {
      ok = ParseInteger(value, 0, 1000000, options.gps.linkAfterPolls);
    } else if (name == "--gps-time") {
      ok = ParseUtc(value, options.gps.startUtc);
    } else {
      std::fprintf(stderr, "packet-bus-emulator: unknown option %s (see --help)\n", name.c_str());
      return false;
    }
    if (!ok) {
      std::fprintf(stderr, "packet-bus-emulator: bad value '%s' for %s\n", value, name.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  sidera::emulator::PacketBusOptions options;
  bool log = false;
  if (!ParseArguments(argc, argv, options, log)) return 2;

  sidera::emulator::PacketBusEmulator emulator(options);
  if (log) {
    emulator.PrintRequests([](const sidera::emulator::PacketBusRequest& r) {
      sidera::emulator::PrintRequestBytes(r.bytes);
    });
  }
  return sidera::emulator::RunEmulatorProgram("packet-bus-emulator", emulator);
}
