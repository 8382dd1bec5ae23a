// The hex-command codec and line reader at their limits: the worked number
// examples, the longest line the reader holds, the noise it skips before it
// gives up. Whole exchanges, and replies the decoders reject, are in the
// hex-command transcript file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "sidera/drivers/hex_command/hex_protocol.h"
#include "tests/link/string_source.h"

namespace sidera {
namespace {

TEST(HexCodec, NumbersGoOutLowByteFirstAndDecodeOneToThreeBytes) {
  const std::pair<uint32_t, std::string> sent[] = {
      {0x123456, "563412"}, {3500, "AC0D00"}, {0x1ABCDEF, "EFCDAB"}};  // last six digits only
  for (const auto& [value, digits] : sent) {
    char out[6];
    hex_command::EncodeHex24(value, out);
    EXPECT_EQ(std::string(out, 6), digits);
  }
  const std::pair<const char*, int64_t> read[] = {
      {"=563412\r", 0x123456}, {"=12\r", 0x12},  {"=3412\r", 0x1234}, {"=1\r", -1},
      {"=123\r", -1},          {"=ab0000\r", -1}};  // -1: malformed
  for (const auto& [reply, value] : read) {
    uint32_t v = 0;
    const bool ok = hex_command::DecodeHex24(reinterpret_cast<const uint8_t*>(reply), &v);
    EXPECT_EQ(ok ? int64_t{v} : -1, value) << reply;
  }
  uint32_t s = 0;
  EXPECT_TRUE(hex_command::DecodeStatus(reinterpret_cast<const uint8_t*>("=310\r"), &s));
  EXPECT_EQ(s, 34u) << "rate, negative, running, not initialised";
  uint8_t frame[hex_command::kMaxRequestLength];
  EXPECT_EQ(hex_command::BuildFrame(0, 'H', "1234567", 7, frame), 0u) << "seven data characters";
}

TEST(HexLineReader, HoldsSixteenBytesAndSkipsAtMost1023BeforeTheMarker) {
  const std::string noise(hex_command::kMaxDiscardedBytes - 1, 'x');
  const std::string longest = std::string("=").append(14, '0').append("\r");
  struct Case {
    std::string line, stored;  // stored empty: the read fails
  } cases[] = {
      {longest, longest},
      {std::string("=").append(15, '0').append("\r=1\r"), ""},  // one byte too long
      {noise + "=1\r", "=1\r"},
      {noise + "x=1\r", ""},
  };
  for (const Case& c : cases) {
    StringSource source(c.line), again(c.line);
    uint8_t reply[hex_command::kReplyBufferSize + 1];
    std::memset(reply, 0xEE, sizeof reply);
    const bool ok = hex_command::ReadLine(source, reply) == 0;
    ASSERT_EQ(ok, !c.stored.empty()) << c.line.size();
    if (ok) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(reply)), c.stored);
      EXPECT_EQ(reply[c.stored.size() + 1], 0xEE) << "wrote past the line";
    }
    EXPECT_EQ(hex_command::ReadLine(again, nullptr) == 0, ok) << "reply dropped";
  }
}

}  // namespace
}  // namespace sidera
