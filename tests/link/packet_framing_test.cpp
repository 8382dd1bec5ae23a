// The packet-bus reply reader at its limits (the noise and zero bytes it
// skips, over-long and cut-short packets), and the request size limit.
// Whole exchanges, and noise or zero bytes before a reply, are in the
// packet-bus transcript file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "sidera/drivers/packet_bus/packet.h"
#include "tests/link/string_source.h"

namespace sidera {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(Bytes a, const Bytes& b, const Bytes& c = {}) {
  a.insert(a.end(), b.begin(), b.end());
  a.insert(a.end(), c.begin(), c.end());
  return a;
}

TEST(ReplyReader, FindsTheFramedReplyAndRejectsMalformedOnes) {
  const Bytes position = {0x3B, 0x06, 0x10, 0x32, 0x01, 0x40, 0x00, 0x00, 0x77};
  const Bytes longest = Concat({0x3B, 29}, Bytes(30, 0x55));
  const Bytes noise(packet_bus::kMaxSkippedBytes, 0x55), zeros(packet_bus::kMaxSkippedBytes + 1, 0);
  struct Case {
    const char* what;
    Bytes line, stored;  // stored empty: the read fails
  } cases[] = {
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
    uint8_t reply[packet_bus::kPacketBufferSize + 1];
    std::fill(std::begin(reply), std::end(reply), 0xEE);
    StringSource source(c.line), again(c.line);
    const bool ok = packet_bus::ReadReply(source, reply) == 0;
    EXPECT_EQ(ok, !c.stored.empty()) << c.what;
    if (ok) {
      EXPECT_EQ(Bytes(reply, reply + c.stored.size()), c.stored) << c.what;
      EXPECT_EQ(reply[c.stored.size()], 0xEE) << c.what << ": wrote past the packet";
    }
    EXPECT_EQ(packet_bus::ReadReply(again, nullptr) == 0, ok) << c.what << " (reply dropped)";
  }
}

TEST(RequestBuilder, RefusesMoreDataThanAPacketHolds) {
  uint8_t out[packet_bus::kPacketBufferSize] = {};
  const uint8_t data[packet_bus::kMaxRequestData + 1] = {};
  EXPECT_EQ(packet_bus::BuildRequest(0, 0x01, data, sizeof data, out), 0u);
  EXPECT_EQ(packet_bus::BuildRequest(0, 0x01, data, sizeof data - 1, out), sizeof data + 5);
}

// A reply answers the request whose controller sent it and whose id it
// carries; any other packet is the late answer to an earlier request.
TEST(ReplyReader, MatchesAReplyToItsRequestByControllerAndId) {
  uint8_t request[packet_bus::kPacketBufferSize];
  ASSERT_GT(packet_bus::BuildRequest(1, packet_bus::kGetPosition, nullptr, 0, request), 0u);
  const struct {
    uint8_t from, id;
    bool answers;
  } cases[] = {
      {0x11, packet_bus::kGetPosition, true},
      {0x10, packet_bus::kGetPosition, false},
      {0x11, packet_bus::kRatePositive, false},
  };
  for (const auto& c : cases) {
    const uint8_t reply[] = {0x3B, 0x03, c.from, 0x32, c.id, 0x00};
    EXPECT_EQ(packet_bus::Answers(request, reply), c.answers) << int(c.from) << " " << int(c.id);
  }
}

}  // namespace
}  // namespace sidera
