// The packet-bus driver over a scripted line: what it sends for rate
// commands, and how it treats replies too short to carry their data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "sidera/drivers/family1/packet_bus_mount.h"

namespace sidera {
namespace {

using Bytes = std::vector<uint8_t>;

// The bus's own port must not open: every byte goes through the script.
void NoDevice() { setenv("SIDERA_SERIAL_PATTERN", "/nonexistent/sidera-bus-test-%d", 1); }

class ScriptedBus : public PacketBusMount {
 public:
  int write(const uint8_t* bytes, uint32_t length) override {
    sent.emplace_back(bytes, bytes + length);
    lastWriteLength = length;
    return 0;
  }
  int finishWrite() override { return 1; }
  int readReply(uint8_t* reply) override {
    if (replies.empty()) return 1;
    if (reply != nullptr) std::memcpy(reply, replies.front().data(), replies.front().size());
    replies.pop_front();
    return 0;
  }
  // Message id and data of the last request.
  Bytes Last() const { return Bytes(sent.back().begin() + 4, sent.back().end() - 1); }

  std::vector<Bytes> sent;
  std::deque<Bytes> replies;
};

TEST(PacketBusDriver, ZeroRatesFollowTheRememberedDirection) {
  NoDevice();
  ScriptedBus bus;
  const Bytes zeroPositive = {0x06, 0, 0, 0}, zeroNegative = {0x07, 0, 0, 0};
  for (int i = 0; i < 3; ++i) bus.replies.push_back({0x3B, 0x03, 0x10, 0x32, 0x06, 0xB5});

  // A zero rate given to the slew slot counts as a positive move.
  bus.axisLastDirectionPositive[0] = 0;
  ASSERT_EQ(bus.SlewAxisAtRate(0, 0.0), 0);
  EXPECT_EQ(bus.Last(), zeroPositive);
  EXPECT_EQ(bus.axisState[0].load(), AXIS_RATE_MOTION | AXIS_POSITIVE);

  // A halt after a negative move goes out negative and stops the axis.
  ASSERT_EQ(bus.SlewAxisAtRate(0, -0.001), 0);
  EXPECT_EQ(bus.Last()[0], 0x07);
  EXPECT_EQ(bus.axisState[0].load(), AXIS_RATE_MOTION);
  ASSERT_EQ(bus.HaltAxis(0), 0);
  EXPECT_EQ(bus.Last(), zeroNegative);
  EXPECT_EQ(bus.axisState[0].load(), AXIS_STOPPED);

  // No reply: the halt fails with the axis's code and the state stays.
  bus.axisState[1] = AXIS_RATE_MOTION;
  EXPECT_EQ(bus.HaltAxis(1), 101);
  EXPECT_EQ(bus.axisState[1].load(), AXIS_RATE_MOTION);
}

TEST(PacketBusDriver, RepliesTooShortForTheirDataCountAsNoReply) {
  NoDevice();
  ScriptedBus bus;
  bus.axisPosition[0] = 0.25;
  bus.replies.push_back({0x3B, 0x05, 0x10, 0x32, 0x01, 0x40, 0x00, 0x00});  // 2 of 3 bytes
  EXPECT_EQ(bus.ReadAxisPosition(0), 100);
  EXPECT_EQ(bus.axisPosition[0].load(), 0.25);

  bus.axisState[1] = AXIS_GOTO;
  bus.replies.push_back({0x3B, 0x03, 0x11, 0x32, 0x13, 0xA7});  // no answer byte
  EXPECT_EQ(bus.ReadAxisState(1), 101);
  EXPECT_EQ(bus.axisState[1].load(), AXIS_GOTO);

  uint32_t version = 7;
  bus.replies.push_back({0x3B, 0x04, 0x10, 0x32, 0xFE, 0x03, 0xBC});  // major only
  EXPECT_EQ(bus.queryVersion(0, &version), 100);
  EXPECT_EQ(version, 7u);

  // Complete replies decode: 40 00 00 is a quarter turn; 0xFF (-1) ends a goto.
  bus.replies.push_back({0x3B, 0x06, 0x10, 0x32, 0x01, 0x40, 0x00, 0x00, 0x37});
  EXPECT_EQ(bus.ReadAxisPosition(0), 0);
  EXPECT_NEAR(bus.axisPosition[0].load(), 3.141592653589793 / 2, 1e-15);
  bus.replies.push_back({0x3B, 0x04, 0x11, 0x32, 0x13, 0xFF, 0xA7});
  EXPECT_EQ(bus.ReadAxisState(1), 0);
  EXPECT_EQ(bus.axisState[1].load(), AXIS_STOPPED);
}

}  // namespace
}  // namespace sidera
