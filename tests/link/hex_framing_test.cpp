// The hex-command codec and line reader at their limits: the digits a
// number too large for six loses, the longest line the reader holds, the
// noise it skips before it gives up. Whole exchanges, the worked number
// examples and the replies the decoders reject are in the hex-command
// transcript file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "sidera/drivers/hex_command/hex_protocol.h"
#include "tests/link/string_source.h"

namespace sidera {
namespace {

TEST(HexCodec, ANumberKeepsItsLowSixDigitsAndAFrameRefusesSevenDataCharacters) {
  char out[6];
  hex_command::EncodeHex24(0x1ABCDEF, out);
  EXPECT_EQ(std::string(out, 6), "EFCDAB");
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

// A late answer to an earlier request is told by its shape: inquiries are
// answered with data, commands without; a refusal can answer either.
TEST(HexLineReader, TellsAnAnswerFromTheLateAnswerOfAnotherKindOfRequest) {
  const struct {
    char letter;
    const char* line;
    bool fits;
  } cases[] = {
      {'j', "=563412\r", true}, {'j', "=\r", false}, {'f', "=101\r", true},
      {'g', "=10\r", true},     {'K', "=\r", true},  {'K', "=563412\r", false},
      {'G', "=101\r", false},   {'J', "!0\r", true}, {'j', "!2\r", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hex_command::ReplyFits(c.letter, reinterpret_cast<const uint8_t*>(c.line)), c.fits)
        << c.letter << " " << c.line;
  }
}

}  // namespace
}  // namespace sidera
