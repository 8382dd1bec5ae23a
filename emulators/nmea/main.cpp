// nmea-feeder: an NMEA receiver on a pseudo-terminal, for trying a GPS
// reader without a receiver. Prints the device path as the first line, then
// plays the sentence file until interrupted.
#include <cstdio>
#include <cstdlib>
#include <string>

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
    "\n"
    "  --rate N    sentences per second (5)\n"
    "  --baud B    the receiver's rate: 2400, 4800, 9600, 19200, 38400 (4800)\n"
    "  --once      play the file once instead of over and over\n"
    "  --wait-for-reader  send nothing until the reader listens at the receiver's\n"
    "              rate, then start from the first sentence (a receiver switched\n"
    "              on as the reader starts)\n"
    "  --help      this text\n";

}  // namespace

int main(int argc, char** argv) {
  sidera::emulator::NmeaFeederOptions options;
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    char* end = nullptr;
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (name == "--once") {
      options.loop = false;
    } else if (name == "--wait-for-reader") {
      options.waitForReader = true;
    } else if (name == "--rate" && i + 1 < argc) {
      options.sentencesPerSecond = std::strtod(argv[++i], &end);
      if (*end != '\0' || !(options.sentencesPerSecond > 0)) {
        std::fprintf(stderr, "nmea-feeder: bad rate %s\n", argv[i]);
        return 2;
      }
    } else if (name == "--baud" && i + 1 < argc) {
      options.baud = static_cast<uint32_t>(std::strtoul(argv[++i], &end, 10));
      if (*end != '\0') {
        std::fprintf(stderr, "nmea-feeder: bad baud rate %s\n", argv[i]);
        return 2;
      }
    } else if (file == nullptr && name[0] != '-') {
      file = argv[i];
    } else {
      std::fprintf(stderr, "nmea-feeder: unknown option %s (see --help)\n", name.c_str());
      return 2;
    }
  }
  if (file == nullptr || !sidera::emulator::ReadSentenceFile(file, options.sentences)) {
    std::fprintf(stderr, "nmea-feeder: cannot read the sentence file (see --help)\n");
    return 2;
  }

  sidera::emulator::NmeaFeeder feeder(options);
  return sidera::emulator::RunEmulatorProgram("nmea-feeder", feeder);
}
