// nmea-feeder: an NMEA receiver on a pseudo-terminal, for trying a GPS
// reader without a receiver. Prints the device path as the first line, then
// plays the sentence file until interrupted.
#include <cstdio>
#include <cstdlib>

#include "emulators/common/option_table.h"
#include "emulators/common/program.h"
#include "emulators/nmea/nmea_feeder.h"

namespace {

constexpr const char* kUsage =
    "Usage: nmea-feeder [options] FILE\n"
    "Plays the NMEA sentences of FILE (one a line, sent as they stand) onto a\n"
    "pseudo-terminal, as a receiver would. Prints the device path as the first\n"
    "line, then serves until SIGINT/SIGTERM, or until standard input reaches end\n"
    "of file when it is a pipe. At a baud rate other than the feeder's, the\n"
    "reader sees garbage.\n"
    "\n";

}  // namespace

int main(int argc, char** argv) {
  sidera::emulator::NmeaFeederOptions options;
  const char* file = nullptr;
  sidera::emulator::OptionTable table("nmea-feeder", kUsage, 11);
  table
      .Value(
          "--rate", "N",
          [&options](const char* v) {
            char* end = nullptr;
            options.sentencesPerSecond = std::strtod(v, &end);
            return *end == '\0' && options.sentencesPerSecond > 0;
          },
          "sentences per second (5)", "bad rate")
      .Value(
          "--baud", "B",
          [&options](const char* v) {
            char* end = nullptr;
            options.baud = static_cast<uint32_t>(std::strtoul(v, &end, 10));
            return *end == '\0';
          },
          "the receiver's rate: 2400, 4800, 9600, 19200, 38400 (4800)", "bad baud rate")
      .Flag("--once", options.loop, "play the file once instead of over and over", false)
      .Flag("--wait-for-reader", options.waitForReader,
            "send nothing until the reader listens at the receiver's\n"
            "rate, then start from the first sentence (a receiver switched\n"
            "on as the reader starts)")
      .Positional(file);
  if (const auto status = table.Parse(argc, argv)) return *status;
  if (file == nullptr || !sidera::emulator::ReadSentenceFile(file, options.sentences)) {
    std::fprintf(stderr, "nmea-feeder: cannot read the sentence file (see --help)\n");
    return 2;
  }

  sidera::emulator::NmeaFeeder feeder(options);
  return sidera::emulator::RunEmulatorProgram("nmea-feeder", feeder);
}
