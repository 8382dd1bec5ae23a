// Time the hex-command line costs a host: one GetAxisPosition round trip
// (lock, request, reply line, decode) on an unpaced pseudo-terminal and at
// the real rate of 9600 baud, and CreateMount's connect with and without a
// line that echoes (without an echo the probe waits out one read time-out).
// Prints its figures; no Google Benchmark loop, the paced case is slow.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "emulators/hex_command/hex_command_emulator.h"
#include "sidera/include/sidera.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// CreateMount's connect and the mean of 200 position reads, in ms, against a
// fresh emulator paced and echoing as told; false when either failed.
bool Measure(bool pace, bool echo, double* connectMs, double* readMs) {
  sidera::emulator::HexCommandOptions o;
  o.initialised = true;
  o.pace = pace;
  o.echo = echo;
  sidera::emulator::HexCommandEmulator emu(o);
  if (!emu.Start()) return false;
  setenv("SIDERA_SERIAL_PATTERN", emu.DevicePath().c_str(), 1);
  const auto start = Clock::now();
  if (CreateMount(3, 0.6, 0.0) != 0) return false;
  *connectMs = Milliseconds(Clock::now() - start);
  constexpr int kReads = 200;
  double angle = 0;
  const auto reads = Clock::now();
  bool ok = true;
  for (int i = 0; i < kReads && ok; ++i) ok = GetAxisPosition(i % 2, &angle) == 0;
  *readMs = Milliseconds(Clock::now() - reads) / kReads;
  (void)DestroyMount();  // always 0
  return ok;
}

}  // namespace

int main() {
  struct Line {
    const char* name;
    bool pace, echo;
  } lines[] = {{"unpaced", false, false},
               {"unpaced, echoing", false, true},
               {"9600 baud", true, false},
               {"9600 baud, echoing", true, true}};
  std::printf("%-20s %14s %18s\n", "line", "connect (ms)", "position read (ms)");
  for (const Line& line : lines) {
    double connectMs = 0, readMs = 0;
    if (!Measure(line.pace, line.echo, &connectMs, &readMs)) {
      std::fprintf(stderr, "%s: the mount did not connect or read\n", line.name);
      return 1;
    }
    std::printf("%-20s %14.1f %18.3f\n", line.name, connectMs, readMs);
  }
  // The emulator paces what it sends: the 8-byte reply "=xxxxxx\r", and the
  // 4-byte echo of ":j1\r" before it. What the library writes reaches the
  // terminal at once.
  std::printf("line time at 9600 baud: %.1f ms for the reply, %.1f ms with the echo\n",
              8 * 10 * 1000.0 / 9600, 12 * 10 * 1000.0 / 9600);
  return 0;
}
