// byte-command-emulator: serves the byte-command controller on a pseudo-terminal
// until interrupted. The device path is the first line of standard output,
// so a parent process can read it and open the device.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "emulators/byte_command/byte_command_emulator.h"
#include "emulators/common/program.h"

namespace {

using sidera::emulator::ParseDouble;
using sidera::emulator::ParseInteger;

constexpr const char* kUsage =
    "Usage: byte-command-emulator [options]\n"
    "Emulates the controller of a byte-command alt-azimuth mount (one controller\n"
    "for both axes, 4800 baud) on a pseudo-terminal. Prints the device path as\n"
    "the first line, then serves until SIGINT/SIGTERM, or until standard input\n"
    "reaches end of file when it is a pipe.\n"
    "\n"
    "  --model 8|9            power-on counts per turn of model 8 (726559) or 9 (1059334);\n"
    "                         the controller uses what the host sets at connect\n"
    "  --counts N             power-on counts per revolution (726559)\n"
    "  --speed DEG            goto speed in degrees per second (8)\n"
    "  --time-scale X         axes move X times faster than real time (1)\n"
    "  --pace                 deliver bytes at the line's rate (about 2 ms a byte)\n"
    "  --baud N               line rate for --pace (4800)\n"
    "  --silent               carry out commands but never answer\n"
    "  --cut-reply N          leave N bytes off the end of every reply\n"
    "  --reply-delay MS       wait MS milliseconds before every reply\n"
    "  --stray N              send N bytes of line noise after every reply\n"
    "  --close-after N        hang up the line after N requests\n"
    "  --silent-after N       fall silent (line open) after N requests\n"
    "  --log-requests         print every request as it arrives: \"request 02 01 2C 4F\"\n"
    "  --position0 DEG        starting angle of axis 0 in degrees (0)\n"
    "  --position1 DEG        starting angle of axis 1 in degrees (0)\n"
    "  --help                 this text\n";

// Returns false (after a message) when the command line is unusable.
bool ParseArguments(int argc, char** argv, sidera::emulator::ByteCommandOptions& options,
                    bool& log) {
  double degrees[2] = {0, 0};
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
    if (name == "--pace" || name == "--silent") {
      (name == "--pace" ? options.pace : options.silent) = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "byte-command-emulator: %s needs a value (see --help)\n", name.c_str());
      return false;
    }
    const char* value = argv[++i];
    long number = 0;
    bool ok = true;
    if (name == "--model") {
      ok = ParseInteger(value, 8, 11, number);
      options.countsPerRevolution = number % 2 == 0 ? 726559 : 1059334;  // 10 is 8, 11 is 9
    } else if (name == "--counts") {
      ok = ParseInteger(value, 2, 0x1000000, number);
      options.countsPerRevolution = static_cast<uint32_t>(number);
    } else if (name == "--speed") {
      ok = ParseDouble(value, options.gotoDegPerSec) && options.gotoDegPerSec > 0;
    } else if (name == "--time-scale") {
      ok = ParseDouble(value, options.timeScale) && options.timeScale > 0;
    } else if (name == "--baud") {
      ok = ParseInteger(value, 50, 4000000, options.baud);
    } else if (name == "--cut-reply") {
      ok = ParseInteger(value, 0, 3, options.cutReplyBytes);
    } else if (name == "--reply-delay") {
      ok = ParseInteger(value, 0, 60000, options.replyDelayMs);
    } else if (name == "--stray") {
      ok = ParseInteger(value, 0, 4096, options.strayBytes);
    } else if (name == "--close-after") {
      ok = ParseInteger(value, -1, 1000000000, options.closeAfterRequests);
    } else if (name == "--silent-after") {
      ok = ParseInteger(value, 0, 1000000000, options.silentAfterRequests);
    } else if (name == "--position0" || name == "--position1") {
      ok = ParseDouble(value, degrees[name == "--position0" ? 0 : 1]);
    } else {
      std::fprintf(stderr, "byte-command-emulator: unknown option %s (see --help)\n", name.c_str());
      return false;
    }
    if (!ok) {
      std::fprintf(stderr, "byte-command-emulator: bad value '%s' for %s\n", value, name.c_str());
      return false;
    }
  }
  // Starting angles become counts of the final gearing, within one turn.
  for (int axis = 0; axis < 2; ++axis) {
    const double turns = degrees[axis] / 360.0 - std::floor(degrees[axis] / 360.0);
    const auto count = static_cast<uint32_t>(std::llround(turns * options.countsPerRevolution));
    options.initialCounts[axis] = count % options.countsPerRevolution;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  sidera::emulator::ByteCommandOptions options;
  bool log = false;
  if (!ParseArguments(argc, argv, options, log)) return 2;

  sidera::emulator::ByteCommandEmulator emulator(options);
  if (log) {
    emulator.PrintRequests([](const sidera::emulator::ByteCommandRequest& r) {
      sidera::emulator::PrintRequestBytes(r.bytes);
    });
  }
  return sidera::emulator::RunEmulatorProgram("byte-command-emulator", emulator);
}
