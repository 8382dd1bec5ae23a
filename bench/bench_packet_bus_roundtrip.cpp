// Cost of one packet-bus round trip through the library (GetAxisPosition:
// lock, line turn-around, request, echo, framed reply, decode) against a bare
// write-and-read of the same bytes on the same pseudo-terminal, both served
// by the controller emulator. Prints both, their ratio and the time the same
// exchange takes on a real 19200-baud line.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "emulators/packet_bus/packet_bus_emulator.h"
#include "sidera/include/sidera.h"

namespace {

// GetPosition of axis 0, and the reply the emulator sends to it.
constexpr uint8_t kRequest[] = {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA};
constexpr size_t kReplyBytes = 9;  // 3B 06 src dst id p p p checksum

// Microseconds a round of `exchange` takes, the mean of 5000 after 200 to
// warm up; -1 when one failed.
double MeanMicroseconds(const std::function<bool()>& exchange) {
  for (int i = 0; i < 200; ++i) {
    if (!exchange()) return -1;
  }
  constexpr int kRounds = 5000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRounds; ++i) {
    if (!exchange()) return -1;
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
             .count() /
         kRounds;
}

// Reads exactly `length` bytes or fails after a second of silence.
bool ReadAll(int fd, uint8_t* data, size_t length) {
  for (size_t got = 0; got < length;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) return false;
    const ssize_t r = read(fd, data + got, length - got);
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

}  // namespace

int main() {
  sidera::emulator::PacketBusEmulator emulator;
  if (!emulator.Start()) return 1;
  setenv("SIDERA_SERIAL_PATTERN", emulator.DevicePath().c_str(), 1);
  if (CreateMount(0, 0.6, 0.0) != 0) {
    std::fprintf(stderr, "connect failed\n");
    return 1;
  }
  double angle = 0;
  const double library = MeanMicroseconds([&] { return GetAxisPosition(0, &angle) == 0; });
  (void)DestroyMount();  // always 0

  const int fd = open(emulator.DevicePath().c_str(), O_RDWR | O_NOCTTY);
  termios t{};
  if (fd < 0 || tcgetattr(fd, &t) != 0) return 1;
  cfmakeraw(&t);
  (void)tcsetattr(fd, TCSANOW, &t);
  uint8_t buffer[sizeof kRequest + kReplyBytes];
  const double bare = MeanMicroseconds([&] {
    return write(fd, kRequest, sizeof kRequest) == static_cast<ssize_t>(sizeof kRequest) &&
           ReadAll(fd, buffer, sizeof buffer);
  });
  close(fd);

  // On the wire the echo is the request itself (one shared line), so the
  // exchange occupies it for request + reply bytes at 10 bits per byte.
  std::printf("GetAxisPosition on the wire at 19200 baud: %zu + %zu bytes = %.3f ms\n",
              sizeof kRequest, kReplyBytes, (sizeof kRequest + kReplyBytes) * 10.0 / 19.2);
  if (library < 0 || bare < 0) {
    std::fprintf(stderr, "no reply\n");
    return 1;
  }
  std::printf("library round trip %.1f us, bare write-and-read %.1f us, ratio %.2f\n", library,
              bare, library / bare);
  return 0;
}
