// How the byte-command driver tells that a goto is over, on a scripted line
// and a hand-stepped clock: the controller's answer for axis 0, two equal
// reads more than a second apart for axis 1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "platform/clock.h"
#include "sidera/core/angles.h"
#include "sidera/drivers/byte_command/byte_command.h"
#include "sidera/drivers/byte_command/byte_command_mount.h"
#include "tests/link/string_source.h"

namespace sidera {
namespace {

using Bytes = std::vector<uint8_t>;

// The family base over a scripted line: requests are recorded, each reply
// read takes the next scripted reply (none left: silence).
class ScriptedLine : public ByteCommandMount {
 public:
  ScriptedLine() { SetGearing(726559); }
  LineResult Write(const uint8_t* bytes, uint32_t length) override {
    sent.emplace_back(bytes, bytes + length);
    (void)ByteCommandMount::Write(bytes, length);  // notes the reply length; no port behind
    return LineResult::kOk;
  }
  LineResult ReadReply(uint8_t* reply) override {
    Bytes next;
    if (expectedReplyLength > 0 && !replies.empty()) {
      next = replies.front();
      replies.pop_front();
    }
    StringSource source(next);
    return byte_command::ReadFixedReply(source, expectedReplyLength, reply) == 0
               ? LineResult::kOk
               : LineResult::kFailed;
  }
  std::vector<Bytes> sent;
  std::deque<Bytes> replies;
};

TEST(ByteCommandCompletion, GotosEndAsTheControllerShowsThem) {
  setenv("SIDERA_SERIAL_PATTERN", "/nonexistent/sidera-%d", 1);  // no port behind the driver
  platform::ManualTickSource clock(5000);
  platform::ScopedTickSource use(clock);
  ScriptedLine m;
  m.replies = {{0, 0, 0}};
  ASSERT_EQ(m.GotoAxisAngle(1, DegToRad(20.0)), 0);
  EXPECT_EQ(m.sent, (std::vector<Bytes>{{0x15}, {0x16, 0x00, 0x9D, 0xAC}}));
  EXPECT_EQ(m.Axes().State(1), AXIS_GOTO | AXIS_HIGH_SPEED);
  EXPECT_EQ(m.Axes().Rate(1), DegToRad(8.0));
  // Axis 1: nothing is asked within a second of the last record; then each
  // read that differs is the new record, and two equal reads end the goto.
  struct Step {
    uint32_t advance;
    Bytes reply;
    size_t reads;
    uint32_t state;
  } steps[] = {{1000, {}, 0, 20}, {1, {0, 0x40, 0}, 1, 20}, {1001, {0, 0x40, 0}, 1, AXIS_STOPPED}};
  for (const Step& s : steps) {
    m.sent.clear();
    clock.Advance(s.advance);
    m.replies = {s.reply};
    EXPECT_EQ(m.ReadAxisState(1), 0);
    EXPECT_EQ(m.sent.size(), s.reads);
    EXPECT_EQ(m.Axes().State(1), s.state);
  }
  // Axis 0 asks the controller, which answers 0xFF once the goto is over.
  ASSERT_EQ(m.GotoAxisAngle(0, 0.0), 0);
  for (const auto& [reply, state] :
       {std::pair<Bytes, uint32_t>{{0xFE}, 20u}, {{0x00}, 20u}, {{0xFF}, 1u}}) {
    m.replies = {reply};
    EXPECT_EQ(m.ReadAxisState(0), 0);
    EXPECT_EQ(m.Axes().State(0), state);
  }
  EXPECT_EQ(m.ReadAxisState(0), 0) << "no goto: nothing to ask";
  EXPECT_EQ(m.ReadAxisState(1), 0);
  m.replies = {};
  ASSERT_EQ(m.GotoAxisAngle(0, 0.0), 0);
  EXPECT_EQ(m.ReadAxisState(0), 100) << "a silent controller";
  EXPECT_EQ(m.Axes().State(0), 20u);
}

}  // namespace
}  // namespace sidera
