// The byte-command controller emulator seen from the other end of its
// pseudo-terminal, on a circle of 3600 counts (10 a degree): the motion the
// requests start, stray bytes, pacing and the hang-up limit. The commands
// one by one are in the byte-command transcript file (tests/transcripts); a
// silent controller and cut-short or slow replies show in the family's
// end-to-end fault tests (tests/byte_command).
#include <gtest/gtest.h>

#include <chrono>

#include "emulators/byte_command/byte_command_emulator.h"
#include "tests/emulators/line_client.h"

namespace sidera::emulator {
namespace {

using testing::Bytes;
using testing::LineClient;

ByteCommandOptions TenPerDegree() {
  ByteCommandOptions o;
  o.countsPerRevolution = 3600;
  o.initialCounts[1] = 900;
  o.gotoDegPerSec = 10.0;
  return o;
}

TEST(ByteCommandLine, MovesTheShortWayRoundOnTheCircleItIsGiven) {
  ByteCommandEmulator emu(TenPerDegree());
  ASSERT_TRUE(emu.Start());
  LineClient line(emu.DevicePath());
  ASSERT_TRUE(line.IsOpen());
  // From 0 to 3500 the short way is 100 counts down, through 0.
  EXPECT_TRUE(line.Exchange({0x02, 0x00, 0x0D, 0xAC}, 1, 50).empty());
  EXPECT_EQ(line.Exchange({0x0D}, 1), Bytes{0x00});
  const uint32_t moving = emu.PositionCounts(0);
  EXPECT_TRUE(moving == 0 || moving > 3500) << moving;
  emu.UpdateOptions([](ByteCommandOptions& o) { o.timeScale = 1e9; });
  EXPECT_EQ(line.Exchange({0x0D}, 1), Bytes{0xFF});
  EXPECT_EQ(line.Exchange({0x01}, 3), (Bytes{0x00, 0x0D, 0xAC}));
  // Stop-goto leaves a rate alone; a zero rate stops it.
  const std::pair<Bytes, int32_t> rates[] = {
      {{0x1B, 0x00, 0x00, 0x64}, -100}, {{0x19}, -100}, {{0x1A, 0x00, 0x00, 0x00}, 0}};
  for (const auto& [request, wire] : rates) {
    EXPECT_TRUE(line.Exchange(request, 1, 50).empty());
    EXPECT_EQ(emu.RateWireValue(1), wire);
  }
  // Told a circle of 1000 counts, axis 1 (at 900) counts on it.
  EXPECT_TRUE(line.Exchange({0x20, 0x00, 0x03, 0xE8}, 1, 50).empty());
  EXPECT_TRUE(line.Exchange({0x16, 0x00, 0x00, 0x32}, 1, 50).empty());  // 50: up through 0
  EXPECT_EQ(line.Exchange({0x15}, 3), (Bytes{0x00, 0x00, 0x32}));
}

TEST(ByteCommandLine, StrayBytesTrailTheReplyAPacedLineTakesTenBitsAByteAndTheLineHangsUp) {
  ByteCommandOptions o = TenPerDegree();
  o.strayBytes = 4;
  ByteCommandEmulator emu(o);
  ASSERT_TRUE(emu.Start());
  LineClient line(emu.DevicePath());
  const Bytes reply = {0x00, 0x03, 0x84};
  EXPECT_EQ(line.Exchange({0x15}, 3, 200), reply);
  EXPECT_EQ(line.Exchange({}, 100, 600).size(), 4u);

  emu.UpdateOptions([](ByteCommandOptions& o) {
    o.strayBytes = 0;
    o.pace = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(line.Exchange({0x15}, 3), reply);
  // One request byte and three reply bytes at 4800 baud: at least 8.3 ms.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(8300));

  ExpectHangUpAfterOneMore(emu, line, {0x15}, reply);
}

}  // namespace
}  // namespace sidera::emulator
