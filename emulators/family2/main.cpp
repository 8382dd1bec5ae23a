// family2-emulator: serves the family-2 controller on a pseudo-terminal
// until interrupted. The device path is the first line of standard output,
// so a parent process can read it and open the device.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "emulators/family2/family2_emulator.h"

namespace {

constexpr const char* kUsage =
    "Usage: family2-emulator [options]\n"
    "Emulates the controller of a family-2 alt-azimuth mount (one controller\n"
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
    "  --position0 DEG        starting angle of axis 0 in degrees (0)\n"
    "  --position1 DEG        starting angle of axis 1 in degrees (0)\n"
    "  --help                 this text\n";

bool ParseInt(const char* text, long low, long high, long& out) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return false;
  out = value;
  return true;
}

bool ParseInt(const char* text, long low, long high, int& out) {
  long value = 0;
  if (!ParseInt(text, low, high, value)) return false;
  out = static_cast<int>(value);
  return true;
}

bool ParseDouble(const char* text, double& out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(value)) return false;
  out = value;
  return true;
}

// Returns false (after a message) when the command line is unusable.
bool ParseArguments(int argc, char** argv, sidera::emulator::Family2Options& options) {
  double degrees[2] = {0, 0};
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (name == "--pace" || name == "--silent") {
      (name == "--pace" ? options.pace : options.silent) = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "family2-emulator: %s needs a value (see --help)\n", name.c_str());
      return false;
    }
    const char* value = argv[++i];
    long number = 0;
    bool ok = true;
    if (name == "--model") {
      ok = ParseInt(value, 8, 11, number);
      options.countsPerRevolution = number % 2 == 0 ? 726559 : 1059334;  // 10 is 8, 11 is 9
    } else if (name == "--counts") {
      ok = ParseInt(value, 2, 0x1000000, number);
      options.countsPerRevolution = static_cast<uint32_t>(number);
    } else if (name == "--speed") {
      ok = ParseDouble(value, options.gotoDegPerSec) && options.gotoDegPerSec > 0;
    } else if (name == "--time-scale") {
      ok = ParseDouble(value, options.timeScale) && options.timeScale > 0;
    } else if (name == "--baud") {
      ok = ParseInt(value, 50, 4000000, options.baud);
    } else if (name == "--cut-reply") {
      ok = ParseInt(value, 0, 3, options.cutReplyBytes);
    } else if (name == "--reply-delay") {
      ok = ParseInt(value, 0, 60000, options.replyDelayMs);
    } else if (name == "--stray") {
      ok = ParseInt(value, 0, 4096, options.strayBytes);
    } else if (name == "--close-after") {
      ok = ParseInt(value, -1, 1000000000, options.closeAfterRequests);
    } else if (name == "--position0" || name == "--position1") {
      ok = ParseDouble(value, degrees[name == "--position0" ? 0 : 1]);
    } else {
      std::fprintf(stderr, "family2-emulator: unknown option %s (see --help)\n", name.c_str());
      return false;
    }
    if (!ok) {
      std::fprintf(stderr, "family2-emulator: bad value '%s' for %s\n", value, name.c_str());
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
  sidera::emulator::Family2Options options;
  if (!ParseArguments(argc, argv, options)) return 2;

  // Block the stop signals before the server thread starts, so that only
  // the signalfd below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) return 1;
  const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (signals < 0) return 1;

  sidera::emulator::Family2Emulator emulator(options);
  if (!emulator.Start()) {
    std::fprintf(stderr, "family2-emulator: cannot open a pseudo-terminal: %s\n",
                 std::strerror(errno));
    return 1;
  }
  std::printf("%s\n", emulator.DevicePath().c_str());
  std::fflush(stdout);

  struct stat input {};
  const bool stdinIsPipe = fstat(STDIN_FILENO, &input) == 0 && S_ISFIFO(input.st_mode);
  pollfd fds[2] = {{signals, POLLIN, 0}, {stdinIsPipe ? STDIN_FILENO : -1, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & POLLIN) break;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      char discard[256];
      if (read(STDIN_FILENO, discard, sizeof discard) <= 0) break;  // the parent closed the pipe
    }
  }
  emulator.Stop();
  (void)close(signals);
  return 0;
}
