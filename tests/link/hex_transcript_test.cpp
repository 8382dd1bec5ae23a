// Hex-command wire transcripts: the lines a command must send, what reply
// lines must decode to, and how the line reader copes with what a real line
// carries, all worked out by hand from the command table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sidera/drivers/family3/hex_command_mount.h"
#include "sidera/drivers/family3/hex_protocol.h"

namespace sidera {
namespace {

// No device behind any port number: nothing is opened.
[[maybe_unused]] const int kNoDevice =
    setenv("SIDERA_SERIAL_PATTERN", "/nonexistent/sidera-hex-%d", 1);

constexpr double kPi = 3.141592653589793;

// The family driver over scripted reply lines: requests are recorded, each
// read takes the next line through the real reader (none left: time-out).
class ScriptedHex : public HexCommandMount {
 public:
  int write(const uint8_t* bytes, uint32_t length) override {
    sent.emplace_back(bytes, bytes + length);
    return 0;
  }
  int readReply(uint8_t* reply) override {
    if (lines.empty()) return 1;
    Source source{lines.front()};
    lines.pop_front();
    return family3::ReadLine(source, reply);
  }
  struct Source : family3::ByteSource {
    explicit Source(std::string t) : text(std::move(t)) {}
    bool ReadByte(uint8_t* byte) override {
      if (pos >= text.size()) return false;
      *byte = static_cast<uint8_t>(text[pos++]);
      return true;
    }
    std::string text;
    size_t pos = 0;
  };
  std::deque<std::string> lines;
  std::vector<std::string> sent;
};

std::string Hex24(uint32_t v) {
  char out[6];
  family3::EncodeHex24(v, out);
  return std::string(out, 6);
}

TEST(HexTranscript, NumbersFramesAndModesGoOutAsWorkedByHand) {
  const std::pair<std::string, std::string> rows[] = {
      {Hex24(0x123456), "563412"}, {Hex24(3500), "AC0D00"},
      {Hex24(1000), "E80300"},     {Hex24(0x1ABCDEF), "EFCDAB"},  // only the last six digits
      {Hex24(0x800000), "000080"},
  };
  for (const auto& [got, want] : rows) EXPECT_EQ(got, want);

  // Each command is one line; the southern flag ORs 2 into the direction.
  struct Command {
    std::function<void(ScriptedHex&)> send;
    std::string line;
  } commands[] = {
      {[](ScriptedHex& m) { (void)m.InquirePosition(1); }, ":j2\r"},
      {[](ScriptedHex& m) { (void)m.SetGotoIncrement(0, 1000); }, ":H1E80300\r"},
      {[](ScriptedHex& m) { (void)m.SetBrakeIncrement(1, 3500); }, ":M2AC0D00\r"},
      {[](ScriptedHex& m) { (void)m.SetMotionMode(0, '1', false); }, ":G110\r"},
      {[](ScriptedHex& m) { (void)m.SetMotionMode(1, '0', true); }, ":G201\r"},
      {[](ScriptedHex& m) {
         m.southernHemisphere = 1;
         (void)m.SetMotionMode(0, '1', false);
       },
       ":G112\r"},
      {[](ScriptedHex& m) {
         m.southernHemisphere = 1;
         (void)m.SetMotionMode(0, '3', true);
       },
       ":G133\r"},
      // 1000 counts of the default factor (1 per radian) above the offset
      {[](ScriptedHex& m) { (void)m.LoadPosition(0, 1000.9); }, ":E1E80380\r"},
      {[](ScriptedHex& m) { (void)m.LoadPosition(1, -1.5); }, ":E2FFFF7F\r"},
      {[](ScriptedHex& m) { (void)m.StopInstantly(1); }, ":L2\r"},
  };
  for (const Command& c : commands) {
    ScriptedHex m;
    m.lines = {"=\r"};
    c.send(m);
    ASSERT_EQ(m.sent.size(), 1u);
    EXPECT_EQ(m.sent[0], c.line);
  }
}

TEST(HexTranscript, RepliesDecodeAsTheTableSays) {
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
    ScriptedHex::Source source(c.line), again(c.line);
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

TEST(HexCommands, FailuresMapToTheAxisCodeOrFourAndKeepStoredValues) {
  struct Case {
    const char* what;
    std::function<MountResult(ScriptedHex&)> command;
    std::string reply;  // "" : no reply
    MountResult expected;
    std::function<bool(const ScriptedHex&)> check;
  } cases[] = {
      {"version", [](auto& m) { return m.InquireVersion(0); }, "=020304\r", 0,
       [](auto& m) { return m.firmwareVersion == 0x020304u; }},
      {"malformed version", [](auto& m) { return m.InquireVersion(0); }, "=02030\r", 4,
       [](auto& m) { return m.firmwareVersion == 0u; }},
      {"refused", [](auto& m) { return m.InquireVersion(1); }, "!0\r", 4, nullptr},
      {"silent axis 0", [](auto& m) { return m.StopMotion(0); }, "", 100, nullptr},
      {"silent axis 1", [](auto& m) { return m.StopMotion(1); }, "", 101, nullptr},
      {"overlong reply", [](auto& m) { return m.InquirePosition(1); }, "=000080000000000000\r", 101,
       nullptr},
      {"position", [](auto& m) { return m.InquirePosition(1); }, "=E80380\r", 0,
       [](auto& m) { return m.axisPosition[1] == 1000.0; }},
      {"malformed position", [](auto& m) { return m.InquirePosition(1); }, "=E8038\r", 4,
       [](auto& m) { return m.axisPosition[1] == 0.5; }},
      {"malformed s", [](auto& m) { return m.InquireS(0); }, "=G\r", 4, nullptr},
      {"status", [](auto& m) { return m.InquireStatus(0); }, "=310\r", 0,
       [](auto& m) { return m.axisState[0] == 34u; }},
      {"short status", [](auto& m) { return m.InquireStatus(0); }, "=1\r", 4,
       [](auto& m) { return m.axisState[0] == AXIS_GOTO; }},
      // 0x162B97 = 1452951 counts per revolution
      {"counts", [](auto& m) { return m.InquireCountsPerRevolution(1); }, "=972B16\r", 0,
       [](auto& m) { return std::fabs(m.countsPerRadian[1] - 1452951 / (2 * kPi)) < 1e-9; }},
      {"counts replaced for model 0x82",
       [](auto& m) {
         m.modelCode = 0x82;
         return m.InquireCountsPerRevolution(0);
       },
       "=972B16\r", 0,
       [](auto& m) { return std::fabs(m.countsPerRadian[0] - 2118424 / (2 * kPi)) < 1e-9; }},
      {"malformed counts keep the factors", [](auto& m) { return m.InquireCountsPerRevolution(0); },
       "=9\r", 0, [](auto& m) { return m.countsPerRadian[0] == 2.0; }},
      {"zero counts keep the factors", [](auto& m) { return m.InquireCountsPerRevolution(0); },
       "=000000\r", 0, [](auto& m) { return m.countsPerRadian[0] == 2.0; }},
      {"malformed timer still sets the factors", [](auto& m) { return m.InquireTimerFrequency(0); },
       "=x\r", 0,
       [](auto& m) { return m.timerFrequency[0] == 500 && m.stepPeriodFactor[1] == 125.0; }},
      {"malformed ratio is kept", [](auto& m) { return m.InquireHighSpeedRatio(1); }, "=1\r", 0,
       [](auto& m) { return m.highSpeedRatio[1] == 7u; }},
  };
  for (const Case& c : cases) {
    ScriptedHex m;
    m.axisPosition[1] = 0.5;
    m.axisState[0] = AXIS_GOTO;
    m.countsPerRadian[0] = 2.0;
    m.countsPerRadian[1] = 4.0;
    m.timerFrequency[0] = 500;
    m.highSpeedRatio[1] = 7;
    if (!c.reply.empty()) m.lines = {c.reply};
    EXPECT_EQ(c.command(m), c.expected) << c.what;
    if (c.check) {
      EXPECT_TRUE(c.check(m)) << c.what;
    }
  }
}

}  // namespace
}  // namespace sidera
