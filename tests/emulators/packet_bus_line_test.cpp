// The packet-bus controller emulator seen from the other end of its
// pseudo-terminal: the rates it runs and each fault option. What it answers
// to each message is in the packet-bus transcript file (tests/transcripts);
// gotos that run to their end are met by the family's end-to-end tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "emulators/packet_bus/axis_motion.h"
#include "emulators/packet_bus/packet_bus_emulator.h"
#include "tests/emulators/line_client.h"

namespace sidera::emulator {
namespace {

using testing::Bytes;
using testing::LineClient;

// Checksum: 0x100 minus the low byte of the sum from the length byte on.
const Bytes kVersion0 = {0x3B, 0x03, 0x32, 0x10, 0xFE, 0xBD};
const Bytes kVersion1 = {0x3B, 0x03, 0x32, 0x11, 0xFE, 0xBC};
const Bytes kVersion0Reply = {0x3B, 0x05, 0x10, 0x32, 0xFE, 0x03, 0x01, 0xB7};
const Bytes kVersion1Reply = {0x3B, 0x05, 0x11, 0x32, 0xFE, 0x03, 0x01, 0xB6};

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// Sends the request and expects its echo followed by `reply`.
void Expect(LineClient& line, const Bytes& request, const Bytes& reply) {
  const Bytes expected = Concat(request, reply);
  EXPECT_EQ(line.Exchange(request, expected.size()), expected);
}
bool Quiet(LineClient& line) { return line.Exchange({}, 1, 100).empty(); }

TEST(PacketBusMotion, RatesRunAtTheWireRateInBothDirections) {
  // Wire 0x3C00 is 15 arc-seconds per second: 1500 arc-seconds in 100 s.
  const double counts = 1500.0 / 3600 / 360 * 16777216;
  for (int sign : {1, -1}) {
    packet_bus::AxisMotion axis(0, 0.0);
    axis.StartRate(sign * 0x3C00, 0.0);
    EXPECT_NEAR(axis.Counts(100.0), sign * counts, 1.0);
  }
}

TEST(PacketBusLine, EachFaultBreaksOnlyWhatItNames) {
  PacketBusEmulator emu;
  ASSERT_TRUE(emu.Start());
  LineClient line(emu.DevicePath());
  ASSERT_TRUE(line.IsOpen());
  struct Case {
    std::function<void(PacketBusOptions&)> set;
    Bytes reply0, reply1;  // what follows the echo of each version request
  } cases[] = {
      {[](PacketBusOptions& o) { o.silentAxis = 1; }, kVersion0Reply, {}},
      {[](PacketBusOptions& o) { o.silentAxis = 0; }, {}, kVersion1Reply},
      {[](PacketBusOptions& o) { o.badLengthAxis = 1; },
       kVersion0Reply,
       {0x3B, 0x1E, 0x11, 0x32, 0xFE, 0x03, 0x01, 0x9D}},
      {[](PacketBusOptions& o) { o.shortPacketAxis = 0; },
       {0x3B, 0x05, 0x10, 0x32, 0xFE, 0x03},
       kVersion1Reply},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    emu.UpdateOptions([&](PacketBusOptions& o) {
      o = PacketBusOptions{};
      cases[i].set(o);
    });
    Expect(line, kVersion0, cases[i].reply0);
    EXPECT_TRUE(Quiet(line));
    Expect(line, kVersion1, cases[i].reply1);
    EXPECT_TRUE(Quiet(line));
  }

  // Noise (never a preamble) and a delay come between the echo and the reply.
  emu.UpdateOptions([](PacketBusOptions& o) {
    o = PacketBusOptions{};
    o.noiseBytes = 40;
    o.replyDelayMs = 300;
  });
  EXPECT_EQ(line.Exchange(kVersion1, kVersion1.size()), kVersion1);
  EXPECT_TRUE(Quiet(line));
  const Bytes noise = line.Exchange({}, 40);
  ASSERT_EQ(noise.size(), 40u);
  EXPECT_EQ(std::count(noise.begin(), noise.end(), 0x3B), 0);
  EXPECT_EQ(line.Exchange({}, kVersion1Reply.size()), kVersion1Reply);

  emu.UpdateOptions([](PacketBusOptions& o) { o = PacketBusOptions{}; });
  ExpectHangUpAfterOneMore(emu, line, kVersion0, Concat(kVersion0, kVersion0Reply));
}

}  // namespace
}  // namespace sidera::emulator
