// hex-command-emulator: serves two hex-command motor controllers on a
// pseudo-terminal until interrupted. The device path is the first line of
// standard output, so a parent process can read it and open the device.
#include <cctype>
#include <cmath>
#include <string>

#include "emulators/common/option_table.h"
#include "emulators/common/program.h"
#include "emulators/hex_command/hex_command_emulator.h"

namespace {

using sidera::emulator::ParseDouble;

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
    "\n";

bool ParseDigits(const char* text, std::string& out) {
  const std::string digits = text;
  if (digits.size() != 6) return false;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  out = digits;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  sidera::emulator::HexCommandOptions o;
  bool log = false;
  double positions[2] = {0.0, 0.0};
  bool positionGiven[2] = {false, false};
  auto position = [&](int axis) {
    return [&, axis](const char* v) {
      return positionGiven[axis] = ParseDouble(v, positions[axis], -1e6);
    };
  };
  sidera::emulator::OptionTable table("hex-command-emulator", kUsage);
  table
      .Value(
          "--version", "DIGITS", [&o](const char* v) { return ParseDigits(v, o.version); },
          "six hex digits answered to e (031001: an equatorial\n"
          "controller, firmware 3.16, model code 0x01)")
      .Integer("--counts", "N", 1, 0xFFFFFF, o.countsPerRevolution,
               "counts per revolution, both axes (3628800)")
      .Integer("--timer-frequency", "N", 1, 0xFFFFFF, o.timerFrequency, "timer frequency (62500)")
      .Integer("--high-speed-ratio", "N", 1, 0xFFFFFF, o.highSpeedRatio,
               "counts per step in the fast rate mode (16)")
      .Value("--position0", "DEG", position(0), "starting angle of axis 0 in degrees (0)")
      .Value("--position1", "DEG", position(1), "starting angle of axis 1 in degrees (0)")
      .Flag("--initialised", o.initialised, "the controllers start initialised")
      .Number("--goto-fast", "DEG", o.gotoFastDegPerSec,
              "long-goto speed in degrees per second (3.4)", 1e-6)
      .Number("--goto-slow", "DEG", o.gotoSlowDegPerSec,
              "short-goto and final speed in degrees per second (0.8)", 1e-6)
      .Number("--deceleration", "DEG", o.decelerationDegPerSec2,
              "braking in degrees per second squared (4; 0 instant)", 0.0)
      .Number("--time-scale", "X", o.timeScale, "axes move X times faster than real time (1)", 1e-6)
      .Flag("--echo", o.echo, "the line echoes every byte it is sent")
      .Flag("--pace", o.pace, "bytes leave at the real rate of 9600 baud")
      .Flag("--permissive", o.permissive, "unknown command letters answer =000000 instead of !0")
      .Integer("--reply-delay", "MS", 0, 60000, o.replyDelayMs,
               "wait MS milliseconds before every reply")
      .Integer("--read-delay-after-connect", "MS", 0, 60000, o.readDelayAfterConnectMs,
               "once the first motion has started (no connect starts one),\n"
               "answer reads MS milliseconds later still")
      .Heading("Misbehaviour:")
      .Integer("--silent-axis", "N", -1, 1, o.silentAxis, "axis N (0 or 1) never answers")
      .Text("--refuse", "LETTERS", o.refuse, "commands with these letters are answered !0")
      .Text("--malformed", "LETTERS", o.malformed,
            "replies to these letters lose their second character")
      .Flag("--lowercase", o.lowercase, "hex digits of replies in lowercase")
      .Integer("--stray", "N", 0, 4096, o.strayBytes,
               "N noise bytes (never = or !) before every reply")
      .Text("--overlong", "LETTERS", o.overlong, "replies to these letters are 20-byte lines")
      .Flag("--ignore-first-version", o.ignoreFirstVersion, "the first e gets no answer")
      .Integer("--close-after", "N", -1, 1000000000, o.closeAfterRequests,
               "hang up the line after N requests")
      .Integer("--never-stops", "N", -1, 1, o.neverStopsAxis,
               "axis N answers K and L but keeps moving")
      .Integer("--silent-after", "N", 0, 1000000000, o.silentAfterRequests,
               "both controllers fall silent (line open) after N requests")
      .Flag("--log-requests", log, "print every request as it arrives: \"request :K1\"");
  if (const auto status = table.Parse(argc, argv)) return *status;
  // Starting angles in counts of the configured revolution, as the
  // controller would hold them (wrapped to 24 bits).
  for (int axis = 0; axis < 2; ++axis) {
    if (!positionGiven[axis]) continue;
    const long long counts = std::llround(positions[axis] / 360.0 * o.countsPerRevolution);
    const long long low = counts & 0xFFFFFF;
    o.initialCounts[axis] = static_cast<int32_t>(low >= 0x800000 ? low - 0x1000000 : low);
  }

  sidera::emulator::HexCommandEmulator emulator(o);
  if (log) {
    emulator.PrintRequests([](const sidera::emulator::HexCommandRequest& r) {
      sidera::emulator::PrintRequestLine(r.line);
    });
  }
  return sidera::emulator::RunEmulatorProgram("hex-command-emulator", emulator);
}
