// byte-command-emulator: serves the byte-command controller on a pseudo-terminal
// until interrupted. The device path is the first line of standard output,
// so a parent process can read it and open the device.
#include <cmath>

#include "emulators/byte_command/byte_command_emulator.h"
#include "emulators/common/option_table.h"
#include "emulators/common/program.h"

namespace {

using sidera::emulator::ParseInteger;

constexpr const char* kUsage =
    "Usage: byte-command-emulator [options]\n"
    "Emulates the controller of a byte-command alt-azimuth mount (one controller\n"
    "for both axes, 4800 baud) on a pseudo-terminal. Prints the device path as\n"
    "the first line, then serves until SIGINT/SIGTERM, or until standard input\n"
    "reaches end of file when it is a pipe.\n"
    "\n";

}  // namespace

int main(int argc, char** argv) {
  sidera::emulator::ByteCommandOptions o;
  bool log = false;
  double degrees[2] = {0, 0};
  sidera::emulator::OptionTable table("byte-command-emulator", kUsage);
  table
      .Value(
          "--model", "8|9",
          [&o](const char* v) {
            long model = 0;
            const bool ok = ParseInteger(v, 8, 11, model);
            o.countsPerRevolution = model % 2 == 0 ? 726559 : 1059334;  // 10 is 8, 11 is 9
            return ok;
          },
          "power-on counts per turn of model 8 (726559) or 9 (1059334);\n"
          "the controller uses what the host sets at connect")
      .Value(
          "--counts", "N",
          [&o](const char* v) {
            long counts = 0;
            const bool ok = ParseInteger(v, 2, 0x1000000, counts);
            o.countsPerRevolution = static_cast<uint32_t>(counts);
            return ok;
          },
          "power-on counts per revolution (726559)")
      .Positive("--speed", "DEG", o.gotoDegPerSec, "goto speed in degrees per second (8)")
      .Positive("--time-scale", "X", o.timeScale, "axes move X times faster than real time (1)")
      .Flag("--pace", o.pace, "deliver bytes at the line's rate (about 2 ms a byte)")
      .Integer("--baud", "N", 50, 4000000, o.baud, "line rate for --pace (4800)")
      .Flag("--silent", o.silent, "carry out commands but never answer")
      .Integer("--cut-reply", "N", 0, 3, o.cutReplyBytes,
               "leave N bytes off the end of every reply")
      .Integer("--reply-delay", "MS", 0, 60000, o.replyDelayMs,
               "wait MS milliseconds before every reply")
      .Integer("--read-delay-after-connect", "MS", 0, 60000, o.readDelayAfterConnectMs,
               "once the first motion has started (no connect starts one),\n"
               "answer reads MS milliseconds later still")
      .Integer("--stray", "N", 0, 4096, o.strayBytes,
               "send N bytes of line noise after every reply")
      .Integer("--close-after", "N", -1, 1000000000, o.closeAfterRequests,
               "hang up the line after N requests")
      .Integer("--silent-after", "N", 0, 1000000000, o.silentAfterRequests,
               "fall silent (line open) after N requests")
      .Flag("--log-requests", log, "print every request as it arrives: \"request 02 01 2C 4F\"")
      .Number("--position0", "DEG", degrees[0], "starting angle of axis 0 in degrees (0)")
      .Number("--position1", "DEG", degrees[1], "starting angle of axis 1 in degrees (0)");
  if (const auto status = table.Parse(argc, argv)) return *status;
  // Starting angles become counts of the final gearing, within one turn.
  for (int axis = 0; axis < 2; ++axis) {
    const double turns = degrees[axis] / 360.0 - std::floor(degrees[axis] / 360.0);
    const auto count = static_cast<uint32_t>(std::llround(turns * o.countsPerRevolution));
    o.initialCounts[axis] = count % o.countsPerRevolution;
  }

  sidera::emulator::ByteCommandEmulator emulator(o);
  if (log) {
    emulator.PrintRequests([](const sidera::emulator::ByteCommandRequest& r) {
      sidera::emulator::PrintRequestBytes(r.bytes);
    });
  }
  return sidera::emulator::RunEmulatorProgram("byte-command-emulator", emulator);
}
