// Packet-bus wire transcripts: the bytes a request must carry and what the
// bytes of a reply must decode to, worked out by hand from the bus layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "sidera/drivers/family1/packet.h"
#include "sidera/drivers/family1/packet_bus_mount.h"

namespace sidera {
namespace {

// No device behind any port number: the bus driver opens nothing.
[[maybe_unused]] const int kNoDevice =
    setenv("SIDERA_SERIAL_PATTERN", "/nonexistent/sidera-bus-%d", 1);

using Bytes = std::vector<uint8_t>;

constexpr double kPi = 3.141592653589793;
constexpr double kCount = kPi / 8388608.0;              // 2^24 counts per turn
constexpr double kRateUnit = kPi / (180.0 * 3600 * 4);  // quarter arc-second per second
constexpr double kSidereal = 2 * kPi / 86164.09065;     // 60.16 units

// The bus driver over scripted replies: nothing goes to a port, and each
// read takes the next reply (none left: no reply).
class ScriptedBus : public PacketBusMount {
 public:
  LineResult write(const uint8_t*, uint32_t) override { return LineResult::kOk; }
  LineReady finishWrite() override { return LineReady::kYes; }
  LineResult readReply(uint8_t* reply) override {
    if (replies.empty()) return LineResult::kFailed;
    if (reply != nullptr) std::memcpy(reply, replies.front().data(), replies.front().size());
    replies.pop_front();
    return LineResult::kOk;
  }
  std::deque<Bytes> replies;
};

Bytes Request(int axis, uint8_t id, const Bytes& data) {
  uint8_t out[family1::kPacketBufferSize] = {};
  return Bytes(out, out + family1::BuildRequest(axis, id, data.data(), data.size(), out));
}
Bytes Angle(double radians) {
  uint8_t out[3];
  SerialLink::pack24(ScriptedBus().toCounts(1, radians), out);
  return Bytes(out, out + 3);
}
// Message id, then the three data bytes.
Bytes Rate(double radiansPerSecond, bool lastPositive) {
  const family1::RateCommand c =
      family1::EncodeRate(ScriptedBus().toRateUnits(0, radiansPerSecond), lastPositive);
  return {c.id, c.data[0], c.data[1], c.data[2]};
}
Bytes Concat(Bytes a, const Bytes& b, const Bytes& c = {}) {
  a.insert(a.end(), b.begin(), b.end());
  a.insert(a.end(), c.begin(), c.end());
  return a;
}

TEST(PacketTranscript, RequestsAnglesAndRatesGoOutAsWorkedByHand) {
  const std::pair<Bytes, Bytes> rows[] = {
      {Request(0, 0x01, {}), {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA}},  // position, axis 0
      {Request(1, 0xFE, {}), {0x3B, 0x03, 0x32, 0x11, 0xFE, 0xBC}},  // version, axis 1
      // 06+32+11+17+C0 = 0x120: checksum 0xE0
      {Request(1, 0x17, {0xC0, 0, 0}), {0x3B, 0x06, 0x32, 0x11, 0x17, 0xC0, 0x00, 0x00, 0xE0}},
      {Request(0, 0x01, Bytes(27)), {}},  // over-long data is refused
      {Angle(-kPi / 2), {0xC0, 0x00, 0x00}},
      {Angle(kPi), {0x80, 0x00, 0x00}},           // +pi and -pi share a count
      {Angle(1.9 * kCount), {0x00, 0x00, 0x01}},  // counts truncate toward zero
      {Angle(-1.9 * kCount), {0xFF, 0xFF, 0xFF}},
      {Rate(kSidereal, false), {0x06, 0x00, 0x3C, 0x00}},
      {Rate(-kSidereal, true), {0x07, 0x00, 0x3C, 0x00}},
      {Rate(1.5 * kRateUnit, false), {0x06, 0x00, 0x01, 0x00}},      // r = 1
      {Rate(0.0, false), {0x07, 0x00, 0x00, 0x00}},                  // zero: last direction
      {Rate(0.0, true), {0x06, 0x00, 0x00, 0x00}},                   //
      {Rate(0.9 * kRateUnit, false), {0x07, 0x00, 0x00, 0x00}},      // too small: zero
      {Rate(65535.5 * kRateUnit, false), {0x06, 0xFF, 0xFF, 0x00}},  // largest that fits
      {Rate(65536.5 * kRateUnit, false), {0x06, 0xFF, 0xFF, 0x00}},  // held at the largest
      {Rate(-1e300, true), {0x07, 0xFF, 0xFF, 0x00}},                // beyond int32
      {Rate(std::nan(""), true), {0x06, 0x00, 0x00, 0x00}},          // non-finite: no motion
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << i;

  const std::pair<Bytes, double> replies[] = {{{0x80, 0x00, 0x00}, -kPi},
                                              {{0x40, 0x00, 0x00}, kPi / 2},
                                              {{0x7F, 0xFF, 0xFF}, kPi - kCount},
                                              {{0xFF, 0xFF, 0xFF}, -kCount}};
  for (const auto& [wire, angle] : replies) {
    EXPECT_NEAR(ScriptedBus().toRadians(0, family1::DecodeCount24(wire.data())), angle, 1e-15);
  }
}

// A reply source that hands out a fixed byte string, then times out.
struct StringSource : family1::ByteSource {
  explicit StringSource(Bytes b) : bytes(std::move(b)) {}
  size_t Read(uint8_t* data, size_t length) override {
    size_t n = 0;
    while (n < length && pos < bytes.size()) data[n++] = bytes[pos++];
    return n;
  }
  Bytes bytes;
  size_t pos = 0;
};

TEST(ReplyReader, FindsTheFramedReplyAndRejectsMalformedOnes) {
  const Bytes position = {0x3B, 0x06, 0x10, 0x32, 0x01, 0x40, 0x00, 0x00, 0x77};
  const Bytes longest = Concat({0x3B, 29}, Bytes(30, 0x55));
  const Bytes noise(family1::kMaxSkippedBytes, 0x55), zeros(family1::kMaxSkippedBytes + 1, 0);
  struct Case {
    const char* what;
    Bytes line, stored;  // stored empty: the read fails
  } cases[] = {
      {"clean reply", position, position},
      {"noise before the preamble", Concat({0x00, 0xFF, 0x12, 0x06}, position), position},
      {"zero length bytes skipped",
       {0x3B, 0x00, 0x00, 0x04, 0x11, 0x32, 0x13, 0x01, 0xA4},
       {0x3B, 0x04, 0x11, 0x32, 0x13, 0x01, 0xA4}},
      {"bytes after the packet left alone", Concat(position, {0x3B, 0x03}), position},
      {"the longest reply fills the buffer", longest, longest},
      {"as much noise as allowed", Concat(noise, position), position},
      {"endless noise", Concat(noise, {0x55}, position), {}},
      {"endless zeros", Concat({0x3B}, zeros, {0x03, 0x10, 0x32, 0x01, 0xBA}), {}},
      {"length 30", Concat({0x3B, 30}, Bytes(31, 0x55)), {}},
      {"silence", {}, {}},
      {"packet cut short", {0x3B, 0x06, 0x10, 0x32, 0x01, 0x40}, {}},
  };
  for (const Case& c : cases) {
    uint8_t reply[family1::kPacketBufferSize + 1];
    std::fill(std::begin(reply), std::end(reply), 0xEE);
    StringSource source(c.line), again(c.line);
    const bool ok = family1::ReadReply(source, reply) == 0;
    EXPECT_EQ(ok, !c.stored.empty()) << c.what;
    if (ok) {
      EXPECT_EQ(Bytes(reply, reply + c.stored.size()), c.stored) << c.what;
      EXPECT_EQ(reply[c.stored.size()], 0xEE) << c.what << ": wrote past the packet";
    }
    EXPECT_EQ(family1::ReadReply(again, nullptr) == 0, ok) << c.what << " (reply dropped)";
  }
}

// A reply too short for the data its message carries counts as no reply
// rather than being read past its end.
TEST(PacketBusDriver, RepliesTooShortForTheirDataCountAsNoReply) {
  ScriptedBus bus;
  bus.axisPosition[0] = 0.25;
  bus.axisState[1] = AXIS_GOTO;
  uint32_t version = 7;
  bus.replies = {
      {0x3B, 0x05, 0x10, 0x32, 0x01, 0x40, 0x00, 0x00},  // position: 2 of 3 bytes
      {0x3B, 0x03, 0x11, 0x32, 0x13, 0xA7},              // goto done: no answer byte
      {0x3B, 0x04, 0x10, 0x32, 0xFE, 0x03, 0xBC},        // version: major only
  };
  EXPECT_EQ(bus.ReadAxisPosition(0), 100);
  EXPECT_EQ(bus.ReadAxisState(1), 101);
  EXPECT_EQ(bus.queryVersion(0, &version), 100);
  EXPECT_EQ(bus.axisPosition[0].load(), 0.25);
  EXPECT_EQ(bus.axisState[1].load(), AXIS_GOTO);
  EXPECT_EQ(version, 7u);
}

}  // namespace
}  // namespace sidera
