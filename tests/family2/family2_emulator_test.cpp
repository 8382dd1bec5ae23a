// The controller emulator seen from the other end of its pseudo-terminal, on
// a circle of 3600 counts (10 a degree): motion, each fault option, pacing,
// and the stand-alone program.
#include "emulators/family2/family2_emulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "tests/emulators/line_client.h"

namespace sidera::emulator {
namespace {

using testing::Bytes;
using testing::LineClient;

Family2Options TenPerDegree() {
  Family2Options o;
  o.countsPerRevolution = 3600;
  o.initialCounts[1] = 900;
  o.gotoDegPerSec = 10.0;
  return o;
}

// The commands one by one are in the family's wire transcript; here, what
// takes time or state: the short way round, arrival, stop-goto against a
// rate, and a circle of the size the host sets.
TEST(Family2Line, MovesTheShortWayRoundOnTheCircleItIsGiven) {
  Family2Emulator emu(TenPerDegree());
  ASSERT_TRUE(emu.Start());
  LineClient line(emu.DevicePath());
  ASSERT_TRUE(line.IsOpen());
  // From 0 to 3500 the short way is 100 counts down, through 0.
  EXPECT_TRUE(line.Exchange({0x02, 0x00, 0x0D, 0xAC}, 1, 50).empty());
  EXPECT_EQ(line.Exchange({0x0D}, 1), Bytes{0x00});
  const uint32_t moving = emu.PositionCounts(0);
  EXPECT_TRUE(moving == 0 || moving > 3500) << moving;
  emu.UpdateOptions([](Family2Options& o) { o.timeScale = 1e9; });
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

TEST(Family2Line, EachFaultBreaksOnlyWhatItNames) {
  Family2Emulator emu(TenPerDegree());
  ASSERT_TRUE(emu.Start());
  LineClient line(emu.DevicePath());
  ASSERT_TRUE(line.IsOpen());
  const Bytes reply = {0x00, 0x03, 0x84};
  struct Case {
    std::function<void(Family2Options&)> set;
    Bytes first;   // what comes within 200 ms
    size_t later;  // bytes that follow
  } cases[] = {
      {[](Family2Options& o) { o.silent = true; }, {}, 0},
      {[](Family2Options& o) { o.cutReplyBytes = 1; }, {0x00, 0x03}, 0},
      {[](Family2Options& o) { o.strayBytes = 4; }, reply, 4},
      {[](Family2Options& o) { o.replyDelayMs = 400; }, {}, 3},
  };
  for (const Case& c : cases) {
    emu.UpdateOptions([&](Family2Options& o) {
      o = TenPerDegree();
      c.set(o);
    });
    EXPECT_EQ(line.Exchange({0x15}, 3, 200), c.first);
    EXPECT_EQ(line.Exchange({}, 100, 600).size(), c.later);
  }
  // The hang-up limit counts every request since the start: one more is
  // answered in full, then the line goes down.
  const int limit = static_cast<int>(emu.Requests().size()) + 1;
  emu.UpdateOptions([&](Family2Options& o) {
    o = TenPerDegree();
    o.closeAfterRequests = limit;
  });
  EXPECT_EQ(line.Exchange({0x15}, 3), reply);
  EXPECT_TRUE(line.Exchange({}, 1, 3000).empty());
  EXPECT_TRUE(line.hungUp);
}

TEST(Family2Line, APacedLineTakesTenBitsAByte) {
  Family2Options o = TenPerDegree();
  o.pace = true;
  Family2Emulator emu(o);
  ASSERT_TRUE(emu.Start());
  LineClient line(emu.DevicePath());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(line.Exchange({0x01}, 3).size(), 3u);
  // One request byte and three reply bytes at 4800 baud: at least 8.3 ms.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(8300));
}

TEST(Family2Program, PrintsItsDeviceFirstAndServesTheModelItIsGiven) {
  const std::string out = ::testing::TempDir() + "family2-program.out";
  FILE* input = popen(
      (std::string(FAMILY2_EMULATOR_PROGRAM) + " --model 11 --position1 90 >" + out).c_str(), "w");
  ASSERT_NE(input, nullptr);
  std::string path;
  for (int polls = 0; polls < 500 && path.empty(); ++polls) {  // at most 10 s
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ifstream(out) >> path;
  }
  ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
  {
    LineClient line(path);
    // A quarter of 1059334 counts, rounded: 264834 = 04 0A82.
    EXPECT_EQ(line.Exchange({0x15}, 3), (Bytes{0x04, 0x0A, 0x82}));
  }
  EXPECT_EQ(pclose(input), 0) << "the end of its input stops it, successfully";
  (void)std::remove(out.c_str());
}

}  // namespace
}  // namespace sidera::emulator
