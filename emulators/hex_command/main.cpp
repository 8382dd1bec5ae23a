// hex-command-emulator: serves two hex-command motor controllers on a
// pseudo-terminal until interrupted. The device path is the first line of
// standard output, so a parent process can read it and open the device.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "emulators/common/program.h"
#include "emulators/hex_command/hex_command_emulator.h"

namespace {

using sidera::emulator::ParseDouble;
using sidera::emulator::ParseInteger;

constexpr const char* kUsage =
    "Usage: hex-command-emulator [options]\n"
    "Emulates the two motor controllers of a hex-command mount (9600 baud, lines\n"
    "\":<letter><axis 1|2><data>\\r\" answered \"=<data>\\r\" or \"!<digit>\\r\") on a\n"
    "pseudo-terminal. Prints the device path as the first line, then serves until\n"
    "SIGINT/SIGTERM, or until standard input reaches end of file when it is a pipe.\n"
    "\n"
    "Commands: e version, a counts per revolution, b timer frequency, g high-speed\n"
    "ratio, s a fixed figure, j position (offset binary), f status (three\n"
    "characters: mode|negative<<1|high speed<<2, running, initialised), F initialise,\n"
    "G mode (type 0 long goto, 1 slow rate, 2 short goto, 3 fast rate; direction\n"
    "0/1, or 2/3 with the southern bit), H goto increment, M brake increment,\n"
    "I step period, J start, K stop (brakes), L stop instantly, E load position.\n"
    "Numbers are six hex digits, low byte first. Errors: !0 unknown command,\n"
    "!1 wrong data length, !2 mode change while the axis runs, !3 bad character.\n"
    "Axes move in real time: gotos are relative (long ones fast until the brake\n"
    "increment is left), rates step every step period of the timer (times the\n"
    "high-speed ratio in the fast mode). A fresh controller reports itself not\n"
    "initialised until F.\n"
    "\n"
    "  --version DIGITS       six hex digits answered to e (031001: an equatorial\n"
    "                         controller, firmware 3.16, model code 0x01)\n"
    "  --counts N             counts per revolution, both axes (3628800)\n"
    "  --timer-frequency N    timer frequency (62500)\n"
    "  --high-speed-ratio N   counts per step in the fast rate mode (16)\n"
    "  --position0 DEG        starting angle of axis 0 in degrees (0)\n"
    "  --position1 DEG        starting angle of axis 1 in degrees (0)\n"
    "  --initialised          the controllers start initialised\n"
    "  --goto-fast DEG        long-goto speed in degrees per second (3.4)\n"
    "  --goto-slow DEG        short-goto and final speed in degrees per second (0.8)\n"
    "  --deceleration DEG     braking in degrees per second squared (4; 0 instant)\n"
    "  --time-scale X         axes move X times faster than real time (1)\n"
    "  --echo                 the line echoes every byte it is sent\n"
    "  --pace                 bytes leave at the real rate of 9600 baud\n"
    "  --permissive           unknown command letters answer =000000 instead of !0\n"
    "  --reply-delay MS       wait MS milliseconds before every reply\n"
    "Misbehaviour:\n"
    "  --silent-axis N        axis N (0 or 1) never answers\n"
    "  --refuse LETTERS       commands with these letters are answered !0\n"
    "  --malformed LETTERS    replies to these letters lose their second character\n"
    "  --lowercase            hex digits of replies in lowercase\n"
    "  --stray N              N noise bytes (never = or !) before every reply\n"
    "  --overlong LETTERS     replies to these letters are 20-byte lines\n"
    "  --ignore-first-version the first e gets no answer\n"
    "  --close-after N        hang up the line after N requests\n"
    "  --never-stops N        axis N answers K and L but keeps moving\n"
    "  --silent-after N       both controllers fall silent (line open) after N requests\n"
    "  --log-requests         print every request as it arrives: \"request :K1\"\n"
    "  --help                 this text\n";

bool ParseDigits(const char* text, std::string& out) {
  const std::string digits = text;
  if (digits.size() != 6) return false;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  out = digits;
  return true;
}

// Returns false (after a message) when the command line is unusable.
bool ParseArguments(int argc, char** argv, sidera::emulator::HexCommandOptions& o, bool& log) {
  double positions[2] = {0.0, 0.0};
  bool positionGiven[2] = {false, false};
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
    if (name == "--echo" || name == "--pace" || name == "--permissive" || name == "--lowercase" ||
        name == "--initialised" || name == "--ignore-first-version") {
      if (name == "--echo") o.echo = true;
      if (name == "--pace") o.pace = true;
      if (name == "--permissive") o.permissive = true;
      if (name == "--lowercase") o.lowercase = true;
      if (name == "--initialised") o.initialised = true;
      if (name == "--ignore-first-version") o.ignoreFirstVersion = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "hex-command-emulator: %s needs a value (see --help)\n", name.c_str());
      return false;
    }
    const char* value = argv[++i];
    bool ok = true;
    if (name == "--version") {
      ok = ParseDigits(value, o.version);
    } else if (name == "--counts") {
      ok = ParseInteger(value, 1, 0xFFFFFF, o.countsPerRevolution);
    } else if (name == "--timer-frequency") {
      ok = ParseInteger(value, 1, 0xFFFFFF, o.timerFrequency);
    } else if (name == "--high-speed-ratio") {
      ok = ParseInteger(value, 1, 0xFFFFFF, o.highSpeedRatio);
    } else if (name == "--position0" || name == "--position1") {
      const int axis = name == "--position0" ? 0 : 1;
      ok = ParseDouble(value, positions[axis], -1e6);
      positionGiven[axis] = ok;
    } else if (name == "--goto-fast") {
      ok = ParseDouble(value, o.gotoFastDegPerSec, 1e-6);
    } else if (name == "--goto-slow") {
      ok = ParseDouble(value, o.gotoSlowDegPerSec, 1e-6);
    } else if (name == "--deceleration") {
      ok = ParseDouble(value, o.decelerationDegPerSec2, 0.0);
    } else if (name == "--time-scale") {
      ok = ParseDouble(value, o.timeScale, 1e-6);
    } else if (name == "--reply-delay") {
      ok = ParseInteger(value, 0, 60000, o.replyDelayMs);
    } else if (name == "--silent-axis") {
      ok = ParseInteger(value, -1, 1, o.silentAxis);
    } else if (name == "--refuse") {
      o.refuse = value;
    } else if (name == "--malformed") {
      o.malformed = value;
    } else if (name == "--stray") {
      ok = ParseInteger(value, 0, 4096, o.strayBytes);
    } else if (name == "--overlong") {
      o.overlong = value;
    } else if (name == "--close-after") {
      ok = ParseInteger(value, -1, 1000000000, o.closeAfterRequests);
    } else if (name == "--never-stops") {
      ok = ParseInteger(value, -1, 1, o.neverStopsAxis);
    } else if (name == "--silent-after") {
      ok = ParseInteger(value, 0, 1000000000, o.silentAfterRequests);
    } else {
      std::fprintf(stderr, "hex-command-emulator: unknown option %s (see --help)\n", name.c_str());
      return false;
    }
    if (!ok) {
      std::fprintf(stderr, "hex-command-emulator: bad value '%s' for %s\n", value, name.c_str());
      return false;
    }
  }
  // Starting angles in counts of the configured revolution, as the
  // controller would hold them (wrapped to 24 bits).
  for (int axis = 0; axis < 2; ++axis) {
    if (!positionGiven[axis]) continue;
    const long long counts = std::llround(positions[axis] / 360.0 * o.countsPerRevolution);
    const long long low = counts & 0xFFFFFF;
    o.initialCounts[axis] = static_cast<int32_t>(low >= 0x800000 ? low - 0x1000000 : low);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  sidera::emulator::HexCommandOptions options;
  bool log = false;
  if (!ParseArguments(argc, argv, options, log)) return 2;

  sidera::emulator::HexCommandEmulator emulator(options);
  if (log) {
    emulator.PrintRequests([](const sidera::emulator::HexCommandRequest& r) {
      std::printf("request %s\n", r.line.c_str());
      std::fflush(stdout);
    });
  }
  return sidera::emulator::RunEmulatorProgram("hex-command-emulator", emulator);
}
