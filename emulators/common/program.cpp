// The emulator programs' option values and their serve-until-stopped run.
#include "emulators/common/program.h"

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

namespace sidera::emulator {

bool ParseLong(const char* text, long low, long high, long& out) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return false;
  out = value;
  return true;
}

bool ParseDouble(const char* text, double& out, double low) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(value) || value < low) return false;
  out = value;
  return true;
}

int RunEmulatorProgram(const char* name, const std::function<bool()>& start,
                       const std::function<std::string()>& devicePath,
                       const std::function<void()>& stop) {
  // Block the stop signals before the serving thread starts, so that only
  // the signalfd below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) return 1;
  const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (signals < 0) return 1;

  if (!start()) {
    std::fprintf(stderr, "%s: cannot open a pseudo-terminal: %s\n", name, std::strerror(errno));
    (void)close(signals);
    return 1;
  }
  std::printf("%s\n", devicePath().c_str());
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
  stop();
  (void)close(signals);
  return 0;
}

}  // namespace sidera::emulator

namespace sidera::emulator {

void PrintRequestLine(const std::string& text) {
  std::printf("request %s\n", text.c_str());
  std::fflush(stdout);
}

void PrintRequestBytes(const std::vector<uint8_t>& bytes) {
  std::string line;
  char hex[4];
  for (uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, "%s%02X", line.empty() ? "" : " ", b);
    line += hex;
  }
  PrintRequestLine(line);
}

}  // namespace sidera::emulator
