// Cost of one packet-bus round trip through the library (GetAxisPosition:
// lock, line turn-around, request, echo, framed reply, decode) against a bare
// write-and-read of the same bytes on the same pseudo-terminal, both served
// by the controller emulator. Prints the ratio and the time the same
// exchange takes on a real 19200-baud line.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "emulators/family1/family1_emulator.h"
#include "sidera/include/sidera.h"

namespace {

// GetPosition of axis 0, and the reply the emulator sends to it.
constexpr uint8_t kRequest[] = {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA};
constexpr size_t kReplyBytes = 9;  // 3B 06 src dst id p p p checksum

sidera::emulator::Family1Emulator& Emulator() {
  static std::unique_ptr<sidera::emulator::Family1Emulator> emu = [] {
    auto e = std::make_unique<sidera::emulator::Family1Emulator>();
    if (!e->Start()) {
      std::fprintf(stderr, "emulator did not start\n");
      std::exit(1);
    }
    return e;
  }();
  return *emu;
}

double g_libraryNs = 0;
double g_bareNs = 0;

void BM_LibraryGetAxisPosition(benchmark::State& state) {
  setenv("SIDERA_SERIAL_PATTERN", Emulator().DevicePath().c_str(), 1);
  if (CreateMount(0, 0.6, 0.0) != 0) {
    state.SkipWithError("connect failed");
    return;
  }
  double angle = 0;
  int64_t n = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (GetAxisPosition(0, &angle) != 0) {
      state.SkipWithError("no reply");
      break;
    }
    benchmark::DoNotOptimize(angle);
    ++n;
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (n > 0) g_libraryNs = std::chrono::duration<double, std::nano>(elapsed).count() / n;
  DestroyMount();
}

// Reads exactly `length` bytes or fails after a second of silence.
bool ReadAll(int fd, uint8_t* data, size_t length) {
  size_t got = 0;
  while (got < length) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) return false;
    const ssize_t r = read(fd, data + got, length - got);
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

void BM_BareWriteAndRead(benchmark::State& state) {
  const int fd = open(Emulator().DevicePath().c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) {
    state.SkipWithError("cannot open the terminal");
    return;
  }
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  uint8_t buffer[sizeof kRequest + kReplyBytes];
  int64_t n = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (write(fd, kRequest, sizeof kRequest) != static_cast<ssize_t>(sizeof kRequest) ||
        !ReadAll(fd, buffer, sizeof buffer)) {
      state.SkipWithError("no reply");
      break;
    }
    benchmark::DoNotOptimize(buffer);
    ++n;
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (n > 0) g_bareNs = std::chrono::duration<double, std::nano>(elapsed).count() / n;
  close(fd);
}

BENCHMARK(BM_LibraryGetAxisPosition)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareWriteAndRead)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // On the wire the echo is the request itself (one shared line), so the
  // exchange occupies it for request + reply bytes at 10 bits per byte.
  const double wireMs = (sizeof kRequest + kReplyBytes) * 10.0 / 19200.0 * 1000.0;
  std::printf("GetAxisPosition on the wire at 19200 baud: %zu + %zu bytes = %.3f ms\n",
              sizeof kRequest, kReplyBytes, wireMs);
  if (g_libraryNs > 0 && g_bareNs > 0) {
    std::printf("library round trip %.1f us, bare write-and-read %.1f us, ratio %.2f\n",
                g_libraryNs / 1000.0, g_bareNs / 1000.0, g_libraryNs / g_bareNs);
  }
  return 0;
}
