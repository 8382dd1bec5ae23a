// The hex-command number codec, status characters and line reader on the
// cases a real line carries (echo, noise, short, lowercase and overlong
// replies). Whole exchanges are in the family-3 transcript file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "sidera/drivers/family3/hex_protocol.h"

namespace sidera {
namespace {

// A reply source that hands out a fixed string, then times out.
struct StringSource : family3::ByteSource {
  explicit StringSource(std::string t) : text(std::move(t)) {}
  bool ReadByte(uint8_t* byte) override {
    if (pos >= text.size()) return false;
    *byte = static_cast<uint8_t>(text[pos++]);
    return true;
  }
  std::string text;
  size_t pos = 0;
};

std::string Hex24(uint32_t v) {
  char out[6];
  family3::EncodeHex24(v, out);
  return std::string(out, 6);
}

TEST(HexCodec, NumbersFramesAndModesGoOutAsWorkedByHand) {
  const std::pair<std::string, std::string> rows[] = {
      {Hex24(0x123456), "563412"}, {Hex24(3500), "AC0D00"},
      {Hex24(1000), "E80300"},     {Hex24(0x1ABCDEF), "EFCDAB"},  // only the last six digits
      {Hex24(0x800000), "000080"},
  };
  for (const auto& [got, want] : rows) EXPECT_EQ(got, want);

  char mode[2];
  family3::EncodeMotionMode('1', false, true, mode);
  EXPECT_EQ(std::string(mode, 2), "12") << "southern: 2 ORed into the direction";
  family3::EncodeMotionMode('0', true, true, mode);
  EXPECT_EQ(std::string(mode, 2), "03");
  uint8_t frame[family3::kMaxRequestLength];
  const size_t n = family3::BuildFrame(1, 'j', nullptr, 0, frame);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(frame), n), ":j2\r");
  EXPECT_EQ(family3::BuildFrame(0, 'H', "1234567", 7, frame), 0u) << "seven data characters";
}

TEST(HexCodec, RepliesDecodeAsTheTableSays) {
  struct Case {
    const char* reply;
    bool valid;
    uint32_t value;
  } numbers[] = {
      {"=000080\r", true, 0x800000},  // position count 0
      {"=563412\r", true, 0x123456},
      {"=12\r", true, 0x12},  // one byte
      {"=3412\r", true, 0x1234},
      {"=1\r", false, 0},  // second digit missing
      {"=123\r", false, 0},
      {"=ab0000\r", false, 0},  // lowercase is not a digit
      {"=\r", false, 0},
      {"=0G0000\r", false, 0},
  };
  for (const Case& c : numbers) {
    uint32_t v = 0xDEAD;
    const auto* line = reinterpret_cast<const uint8_t*>(c.reply);
    EXPECT_EQ(family3::DecodeHex24(line, &v), c.valid) << c.reply;
    EXPECT_EQ(v, c.valid ? c.value : 0xDEADu) << c.reply;
  }
  EXPECT_EQ(family3::CountFromWire(0x000000), -8388608);
  EXPECT_EQ(family3::CountFromWire(0xFFFFFF), 8388607);
  EXPECT_EQ(family3::FirmwareFromWire(0x040302), 0x020304u);  // "=020304"

  const std::pair<const char*, uint32_t> states[] = {
      {"=011\r", 12},  // goto, positive, running, initialised
      {"=310\r", 34},  // rate, negative, running, not initialised
      {"=101\r", 9},   // stopped, positive
      {"=201\r", 1},   // stopped, negative
      {"=100\r", 41},  // not initialised yet
      {"=511\r", 26},  // fast rate, positive, running
      {"=01\r", 0},    // too short: malformed
  };
  for (const auto& [reply, state] : states) {
    uint32_t s = 0;
    const bool ok = family3::DecodeStatus(reinterpret_cast<const uint8_t*>(reply), &s);
    EXPECT_EQ(ok, state != 0) << reply;
    EXPECT_EQ(s, state) << reply;
  }
}

TEST(HexLineReader, SkipsToTheMarkerAndRejectsLinesItCannotHold) {
  const std::string noise(family3::kMaxDiscardedBytes - 1, 'x');
  const std::string longest = std::string("=").append(14, '0').append("\r");
  const std::string tooLong = std::string("=").append(15, '0').append("\r=1\r");
  struct Case {
    const char* what;
    std::string line, stored;  // stored empty: the read fails
  } cases[] = {
      {"clean reply", "=000080\r", "=000080\r"},
      {"refusal", "!2\r", "!2\r"},
      {"echo of the request first", ":j2\r=000080\r", "=000080\r"},
      {"stray bytes first", "\x07\xff?=12\r", "=12\r"},
      {"longest line", longest, longest},
      {"one byte too long", tooLong, ""},
      {"as much noise as allowed", noise + "=1\r", "=1\r"},
      {"endless noise", noise + "x=1\r", ""},
      {"silence", "", ""},
      {"no carriage return", "=000080", ""},
  };
  for (const Case& c : cases) {
    StringSource source(c.line), again(c.line);
    uint8_t reply[family3::kReplyBufferSize + 1];
    std::memset(reply, 0xEE, sizeof reply);
    const bool ok = family3::ReadLine(source, reply) == 0;
    EXPECT_EQ(ok, !c.stored.empty()) << c.what;
    if (ok) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(reply), c.stored.size()), c.stored) << c.what;
      EXPECT_EQ(reply[c.stored.size()], 0) << c.what;
      EXPECT_EQ(reply[c.stored.size() + 1], 0xEE) << c.what << ": wrote past the line";
    }
    EXPECT_EQ(family3::ReadLine(again, nullptr) == 0, ok) << c.what << " (reply dropped)";
  }
}

}  // namespace
}  // namespace sidera
