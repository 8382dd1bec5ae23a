// Packet-bus wire transcripts: the bytes a request must carry and the values
// a reply's bytes must decode to, worked out by hand from the bus layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "sidera/drivers/family1/packet.h"
#include "sidera/link/serial_link.h"

namespace sidera {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr double kPi = 3.141592653589793;

// A link with the bus's conversion factors and no port.
class FactorLink : public SerialLink {
 public:
  FactorLink() {
    for (int a = 0; a < 2; ++a) {
      countsPerRadian[a] = 8388608.0 / kPi;  // 2^24 counts per turn
      radiansPerCount[a] = kPi / 8388608.0;
      rateUnitsPerRadian[a] = 648000.0 * 4.0 / kPi;  // quarter arc-seconds
    }
  }
  int readReply(uint8_t*) override { return 1; }
};

Bytes Request(int axis, uint8_t id, const Bytes& data) {
  uint8_t out[family1::kPacketBufferSize] = {};
  const size_t n =
      family1::BuildRequest(axis, id, data.empty() ? nullptr : data.data(), data.size(), out);
  return Bytes(out, out + n);
}

TEST(PacketTranscript, RequestsCarryHeaderDataAndChecksum) {
  struct Case {
    const char* what;
    int axis;
    uint8_t id;
    Bytes data;
    Bytes wire;
  };
  const Case cases[] = {
      {"position of axis 0", 0, 0x01, {}, {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA}},
      {"version of axis 1", 1, 0xFE, {}, {0x3B, 0x03, 0x32, 0x11, 0xFE, 0xBC}},
      // 06+32+11+17+C0 = 0x120 -> checksum 0x100 - 0x20 = 0xE0
      {"slow goto to -90 deg on axis 1",
       1,
       0x17,
       {0xC0, 0x00, 0x00},
       {0x3B, 0x06, 0x32, 0x11, 0x17, 0xC0, 0x00, 0x00, 0xE0}},
      // 04+32+10+FD+01 = 0x144 -> 0xBC
      {"approach 1 on axis 0", 0, 0xFD, {0x01}, {0x3B, 0x04, 0x32, 0x10, 0xFD, 0x01, 0xBC}},
      // sum 03+32+10+13 = 0x58 -> 0xA8
      {"goto-done query of axis 0", 0, 0x13, {}, {0x3B, 0x03, 0x32, 0x10, 0x13, 0xA8}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Request(c.axis, c.id, c.data), c.wire) << c.what;
  }
}

TEST(PacketTranscript, ChecksumMakesTheFrameSumToZeroForEveryDataLength) {
  for (size_t n = 0; n <= family1::kMaxRequestData; ++n) {
    Bytes data(n);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(0xA7 * (i + 1));
    const Bytes wire = Request(1, 0x42, data);
    ASSERT_EQ(wire.size(), n + 6);
    unsigned sum = 0;
    for (size_t i = 1; i < wire.size(); ++i) sum += wire[i];
    EXPECT_EQ(sum % 256, 0u) << n;
  }
  uint8_t out[family1::kPacketBufferSize];
  EXPECT_EQ(family1::BuildRequest(0, 1, nullptr, family1::kMaxRequestData + 1, out), 0u)
      << "a request that would overflow the frame is refused";
}

TEST(PacketTranscript, AnglesGoOutAsTwosComplement24BitCounts) {
  FactorLink link;
  struct Case {
    double angle;
    Bytes wire;
  };
  const Case cases[] = {
      {-kPi / 2, {0xC0, 0x00, 0x00}},
      {kPi / 2, {0x40, 0x00, 0x00}},
      {kPi, {0x80, 0x00, 0x00}},  // +pi and -pi are the same count
      {-kPi, {0x80, 0x00, 0x00}},
      // One count is pi / 2^23; 1.9 counts truncate to 1, -1.9 to -1.
      {1.9 * kPi / 8388608.0, {0x00, 0x00, 0x01}},
      {-1.9 * kPi / 8388608.0, {0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    uint8_t out[3];
    SerialLink::pack24(link.toCounts(1, c.angle), out);
    EXPECT_EQ(Bytes(out, out + 3), c.wire) << c.angle;
  }
}

TEST(PacketTranscript, PositionRepliesDecodeToAnglesInMinusPiToPi) {
  FactorLink link;
  struct Case {
    Bytes wire;
    double angle;
  };
  const Case cases[] = {
      {{0x80, 0x00, 0x00}, -kPi},
      {{0x40, 0x00, 0x00}, kPi / 2},
      {{0x7F, 0xFF, 0xFF}, kPi - kPi / 8388608.0},
      {{0xFF, 0xFF, 0xFF}, -kPi / 8388608.0},
  };
  for (const Case& c : cases) {
    const double got = link.toRadians(0, family1::DecodeCount24(c.wire.data()));
    EXPECT_NEAR(got, c.angle, 1e-15);
    EXPECT_LT(got, kPi);
  }
}

TEST(PacketTranscript, RatesGoOutAsQuarterArcsecondsTimes256WithDirectionMemory) {
  FactorLink link;
  const double sidereal = 2 * kPi / 86164.09065;
  // One quarter arc-second per second, in radians per second.
  const double unit = kPi / (180.0 * 3600.0 * 4.0);
  struct Case {
    const char* what;
    double rate;
    bool lastPositive;
    uint8_t id;
    Bytes data;
  };
  const Case cases[] = {
      {"sidereal (60.16 units)", sidereal, false, 0x06, {0x00, 0x3C, 0x00}},
      {"reverse sidereal", -sidereal, true, 0x07, {0x00, 0x3C, 0x00}},
      {"r = 1", 1.5 * unit, false, 0x06, {0x00, 0x01, 0x00}},
      {"zero after a negative rate", 0.0, false, 0x07, {0x00, 0x00, 0x00}},
      {"zero after a positive rate", 0.0, true, 0x06, {0x00, 0x00, 0x00}},
      {"too small to reach r = 1 counts as zero", 0.9 * unit, false, 0x07, {0x00, 0x00, 0x00}},
      {"small negative counts as zero too", -0.9 * unit, true, 0x06, {0x00, 0x00, 0x00}},
      {"largest rate that fits (65535)", 65535.5 * unit, false, 0x06, {0xFF, 0xFF, 0x00}},
      {"65536 does not fit: held at the largest", 65536.5 * unit, false, 0x06, {0xFF, 0xFF, 0x00}},
      {"10 deg/s reverse held at the largest", -10.0 * kPi / 180, true, 0x07, {0xFF, 0xFF, 0x00}},
      {"non-finite rate is no motion", std::nan(""), true, 0x06, {0x00, 0x00, 0x00}},
      {"huge rate saturates", 1e300, false, 0x06, {0xFF, 0xFF, 0x00}},
  };
  for (const Case& c : cases) {
    const family1::RateCommand cmd =
        family1::EncodeRate(link.toRateUnits(0, c.rate), c.lastPositive);
    EXPECT_EQ(cmd.id, c.id) << c.what;
    EXPECT_EQ(Bytes(cmd.data, cmd.data + 3), c.data) << c.what;
  }
  const family1::RateCommand most = family1::EncodeRate(INT32_MIN, true);
  EXPECT_EQ(most.id, 0x07);
  EXPECT_EQ(Bytes(most.data, most.data + 3), (Bytes{0xFF, 0xFF, 0x00}));
}

TEST(PacketTranscript, DoubleToCountConversionsTruncateAndSaturate) {
  struct Case {
    double in;
    int32_t out;
  };
  const Case cases[] = {
      {2.9, 2},
      {-2.9, -2},
      {2147483646.5, 2147483646},
      {2147483648.0, INT32_MAX},
      {-2147483649.0, INT32_MIN},
      {1e300, INT32_MAX},
      {-1e300, INT32_MIN},
      {INFINITY, INT32_MAX},
      {-INFINITY, INT32_MIN},
      {std::nan(""), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SerialLink::TruncateToInt32(c.in), c.out) << c.in;
}

// A reply source that hands out a fixed byte string, then times out.
class StringSource : public family1::ByteSource {
 public:
  explicit StringSource(Bytes bytes) : bytes_(std::move(bytes)) {}
  size_t Read(uint8_t* data, size_t length) override {
    size_t n = 0;
    while (n < length && pos_ < bytes_.size()) data[n++] = bytes_[pos_++];
    return n;
  }

 private:
  Bytes bytes_;
  size_t pos_ = 0;
};

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(ReplyReader, FindsTheFramedReplyAndRejectsMalformedOnes) {
  const Bytes position = {0x3B, 0x06, 0x10, 0x32, 0x01, 0x40, 0x00, 0x00, 0x77};
  Bytes longest(32, 0x55);
  longest[0] = 0x3B;
  longest[1] = 29;
  Bytes tooLong(33, 0x55);
  tooLong[0] = 0x3B;
  tooLong[1] = 30;
  struct Case {
    const char* what;
    Bytes line;
    bool ok;
    Bytes stored;
  };
  const Case cases[] = {
      {"clean reply", position, true, position},
      {"noise before the preamble is skipped", Concat({0x00, 0xFF, 0x12, 0x06}, position), true,
       position},
      {"zeros where the length should be are skipped",
       {0x3B, 0x00, 0x00, 0x04, 0x11, 0x32, 0x13, 0x01, 0xA4},
       true,
       {0x3B, 0x04, 0x11, 0x32, 0x13, 0x01, 0xA4}},
      {"bytes after the packet are left alone", Concat(position, {0x3B, 0x03}), true, position},
      {"checksum and addresses are not checked",
       {0x3B, 0x03, 0x99, 0x99, 0x99, 0x00},
       true,
       {0x3B, 0x03, 0x99, 0x99, 0x99, 0x00}},
      {"the longest reply (29) fills the buffer", longest, true, longest},
      {"length 30 is not a reply", tooLong, false, {}},
      {"length 0xFF is not a reply", {0x3B, 0xFF, 1, 2, 3}, false, {}},
      {"silence", {}, false, {}},
      {"noise only", {0x01, 0x02, 0x03}, false, {}},
      {"preamble, then silence", {0x3B}, false, {}},
      {"only zeros after the preamble", {0x3B, 0x00, 0x00}, false, {}},
      {"packet cut short", {0x3B, 0x06, 0x10, 0x32, 0x01, 0x40}, false, {}},
  };
  for (const Case& c : cases) {
    uint8_t reply[family1::kPacketBufferSize];
    std::fill(std::begin(reply), std::end(reply), 0xEE);
    StringSource source(c.line);
    const int r = family1::ReadReply(source, reply);
    EXPECT_EQ(r == 0, c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(Bytes(reply, reply + c.stored.size()), c.stored) << c.what;
      if (c.stored.size() < sizeof reply) {
        EXPECT_EQ(reply[c.stored.size()], 0xEE) << c.what << ": wrote past the packet";
      }
    }
    StringSource again(c.line);
    EXPECT_EQ(family1::ReadReply(again, nullptr) == 0, c.ok) << c.what << " (no buffer)";
  }
}

TEST(ReplyReader, GivesUpOnALineThatNeverStopsBabbling) {
  const Bytes reply = {0x3B, 0x03, 0x10, 0x32, 0x01, 0xBA};
  Bytes within(family1::kMaxSkippedBytes, 0x55);
  StringSource ok(Concat(within, reply));
  EXPECT_EQ(family1::ReadReply(ok, nullptr), 0);

  Bytes beyond(family1::kMaxSkippedBytes + 1, 0x55);
  StringSource babble(Concat(beyond, reply));
  EXPECT_NE(family1::ReadReply(babble, nullptr), 0);

  Bytes zeros = {0x3B};
  zeros.resize(family1::kMaxSkippedBytes + 2, 0x00);
  StringSource zeroBabble(Concat(zeros, {0x03, 0x10, 0x32, 0x01, 0xBA}));
  EXPECT_NE(family1::ReadReply(zeroBabble, nullptr), 0);
}

}  // namespace
}  // namespace sidera
