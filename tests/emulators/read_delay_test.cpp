// The late reads of every family's emulator: with readDelayAfterConnectMs,
// reads are answered at once until the first motion starts (so a host's
// connect goes through), and that much later from then on; the motion
// command itself is answered at once.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "emulators/byte_command/byte_command_emulator.h"
#include "emulators/hex_command/hex_command_emulator.h"
#include "emulators/packet_bus/packet.h"
#include "emulators/packet_bus/packet_bus_emulator.h"
#include "tests/emulators/line_client.h"

namespace sidera::emulator {
namespace {

using testing::Bytes;
using testing::LineClient;
using Clock = std::chrono::steady_clock;

constexpr int kDelayMs = 1500;

// A packet-bus request from the host (0x32) to the controller of axis 0.
Bytes PacketBusFrame(uint8_t id, const Bytes& data) {
  Bytes frame = {0x3B, static_cast<uint8_t>(3 + data.size()), 0x32, 0x10, id};
  for (uint8_t b : data) frame.push_back(b);  // GCC 12 -O3 misreads an empty insert
  frame.push_back(packet_bus::Checksum(frame.data() + 1, frame.size() - 1));
  return frame;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// One family: its emulator started with the late reads, a read and the
// number of bytes that come back for it (echo included), and a command that
// starts a motion with the bytes that come back for that.
struct Family {
  const char* name;
  std::function<std::shared_ptr<void>(std::string* device)> start;
  Bytes read;
  size_t readBack;
  Bytes motion;
  size_t motionBack;
};

template <typename Emulator, typename Options>
std::shared_ptr<void> Serve(Options o, std::string* device) {
  o.readDelayAfterConnectMs = kDelayMs;
  auto emulator = std::make_shared<Emulator>(o);
  if (!emulator->Start()) return nullptr;
  *device = emulator->DevicePath();
  return emulator;
}

// Milliseconds until `want` bytes have come back for `request`.
double TimedExchange(LineClient& line, const Bytes& request, size_t want) {
  const auto start = Clock::now();
  EXPECT_EQ(line.Exchange(request, want, 10000).size(), want);
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST(ReadDelayAfterConnect, ReadsComeLateOnlyOnceAMotionHasStarted) {
  const Bytes packetRead = PacketBusFrame(0x01, {});
  const Bytes packetRate = PacketBusFrame(0x06, {0x00, 0x10, 0x00});
  const Family families[] = {
      {"hex command",
       [](std::string* d) { return Serve<HexCommandEmulator>(HexCommandOptions{}, d); },
       Text(":j1\r"), 8, Text(":J1\r"), 2},
      // The bus echoes the request, then the controller replies.
      {"packet bus", [](std::string* d) { return Serve<PacketBusEmulator>(PacketBusOptions{}, d); },
       packetRead, packetRead.size() + 9, packetRate, packetRate.size() + 6},
      {"byte command",
       [](std::string* d) { return Serve<ByteCommandEmulator>(ByteCommandOptions{}, d); },
       Bytes{0x01}, 3, Bytes{0x06, 0x00, 0x10, 0x00}, 0},
  };
  for (const Family& f : families) {
    SCOPED_TRACE(f.name);
    std::string device;
    const std::shared_ptr<void> emulator = f.start(&device);
    ASSERT_NE(emulator, nullptr);
    LineClient line(device);
    ASSERT_TRUE(line.IsOpen());
    // Generous bounds: a loaded machine makes replies later, never earlier.
    EXPECT_LT(TimedExchange(line, f.read, f.readBack), kDelayMs * 0.7) << "a read of the connect";
    EXPECT_LT(TimedExchange(line, f.motion, f.motionBack), kDelayMs * 0.7) << "the motion";
    EXPECT_GE(TimedExchange(line, f.read, f.readBack), kDelayMs * 0.95) << "a read after it";
  }
}

}  // namespace
}  // namespace sidera::emulator
