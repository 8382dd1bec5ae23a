// Byte-command line faults as the host sees them: a silent controller,
// replies cut short, slow or trailed by stray bytes, and a line that goes
// dead in the middle of a goto.
#include <chrono>
#include <cmath>
#include <thread>

#include "byte_command_fixture.h"
#include "tests/support/new_mount_settings.h"

namespace sidera::testing {
namespace {

using ByteCommandFaultTest = ByteCommandTest;
using Clock = std::chrono::steady_clock;

TEST_F(ByteCommandFaultTest, ASilentControllerFailsTheConnectButNotCommandsWithoutReply) {
  emulator::ByteCommandOptions o = QuickOptions();
  o.silent = true;
  EXPECT_EQ(Create(8, o), 100);
  EXPECT_EQ(Sent(), std::vector<Bytes>{{0x01}}) << "the connect stops at the first read";
  uint32_t state = 0;
  EXPECT_EQ(GetMountState(&state), 3) << "a failed connect leaves no mount";

  // Falling silent later: reads fail with their axis's code, while commands
  // without reply cannot tell.
  ASSERT_EQ(Create(8), 0);
  emu->UpdateOptions([](auto& o) { o.silent = true; });
  double pos = 0;
  EXPECT_EQ(GetAxisPosition(0, &pos), 100);
  EXPECT_EQ(GetAxisPosition(1, &pos), 101);
  EXPECT_EQ(SyncAxis(1, Deg(10.0)), 0);
}

TEST_F(ByteCommandFaultTest, ShortSlowAndTrailedRepliesAndTheLineAfterThem) {
  ASSERT_EQ(Create(8), 0);
  const uint32_t p = 0x012345, q = 0x054321;
  auto angle = [](uint32_t count) { return std::remainder(count * 2 * kPi / kN8, 2 * kPi); };
  struct Case {
    const char* what;
    std::function<void(emulator::ByteCommandOptions&)> fault;
    int result;
    double expected;  // position read under the fault
  } cases[] = {
      {"cut short: the missing byte reads 0", [](auto& o) { o.cutReplyBytes = 1; }, 0,
       angle(0x012300)},
      {"nothing at all", [](auto& o) { o.cutReplyBytes = 3; }, 100, 0.0},
      {"slow, within the read time-out", [](auto& o) { o.replyDelayMs = 250; }, 0, angle(p)},
      {"too slow", [](auto& o) { o.replyDelayMs = 800; }, 100, 0.0},
      {"stray bytes after the reply", [](auto& o) { o.strayBytes = 5; }, 0, angle(p)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emu->SetPositionCounts(0, p);
    emu->UpdateOptions(c.fault);
    double pos = 0;
    EXPECT_EQ(GetAxisPosition(0, &pos), c.result);
    if (c.result == 0) {
      EXPECT_NEAR(pos, c.expected, 1e-12);
    }
    // Whatever came late or trailed is gone once the next exchange starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    emu->UpdateOptions([](auto& o) { o = QuickOptions(); });
    emu->SetPositionCounts(0, q);
    EXPECT_EQ(GetAxisPosition(0, &pos), 0);
    EXPECT_NEAR(pos, angle(q), 1e-12);
  }
}

// Replies carry no framing, so a reply that comes after its exchange gave up
// on it must be taken off the line before the next request with a reply
// goes out: otherwise that request reads it as its own, and every read after
// it is one reply behind (axis 1 reads axis 0's position). Two ways a reply
// comes late: its read timed out, or a stop cut its wait short and a second
// stop then cut short the wait for that late reply.
TEST_F(ByteCommandFaultTest, AReplyThatComesLateIsNeverTakenForTheNextRequests) {
  {
    const NewMountSettings everyReadOnLine({.readOutWindowMs = 0});
    ASSERT_EQ(Create(8), 0);
  }
  const uint32_t p0 = 0x012345, p1 = 0x054321;
  auto angle = [](uint32_t count) { return std::remainder(count * 2 * kPi / kN8, 2 * kPi); };
  emu->SetPositionCounts(0, p0);
  emu->SetPositionCounts(1, p1);
  const auto readsTrue = [&](int axis) {
    double pos = 0;
    EXPECT_EQ(GetAxisPosition(axis, &pos), 0) << "axis " << axis;
    EXPECT_NEAR(pos, angle(axis == 0 ? p0 : p1), 1e-12) << "axis " << axis;
  };

  {
    SCOPED_TRACE("after a read that timed out");
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 800; });
    double pos = 0;
    EXPECT_EQ(GetAxisPosition(0, &pos), 100);
    // The next reply is due after the late one: sent at once, this read
    // would take axis 0's late reply.
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 400; });
    readsTrue(1);
    readsTrue(0);
  }
  {
    SCOPED_TRACE("after two stops, the second during the wait for the first's late reply");
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 200; });
    emu->ClearRequests();
    double pos = 0;
    int read = -1;
    std::thread reader([&] { read = GetAxisPosition(0, &pos); });
    ASSERT_TRUE(emu->WaitForRequest([](const auto& r) { return r.command == 0x01; }, 2000));
    EXPECT_EQ(StopAxis(0), 0);  // cuts the read's wait short; the read goes again after it
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(StopAxis(1), 0);  // comes while the read waits for its first reply
    reader.join();
    EXPECT_EQ(read, 0);
    EXPECT_NEAR(pos, angle(p0), 1e-12);
    readsTrue(1);
    readsTrue(0);
  }
  {
    SCOPED_TRACE("a read of the other axis waiting while a stop cut a read answered 600 ms late");
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 600; });
    emu->ClearRequests();
    double pos0 = 0, pos1 = 0;
    int read0 = -1, read1 = -1;
    std::thread reader0([&] { read0 = GetAxisPosition(0, &pos0); });
    ASSERT_TRUE(emu->WaitForRequest([](const auto& r) { return r.command == 0x01; }, 2000));
    // Only that read is slow (a controller that answers after the read
    // time-out); its reply still comes before every later one.
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 0; });
    std::thread reader1([&] { read1 = GetAxisPosition(1, &pos1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(StopAxis(0), 0);
    reader0.join();
    reader1.join();
    EXPECT_EQ(read1, 0);
    EXPECT_NEAR(pos1, angle(p1), 1e-12) << "axis 1 read another request's reply";
    EXPECT_EQ(read0, 0);
    EXPECT_NEAR(pos0, angle(p0), 1e-12);
    readsTrue(1);
    readsTrue(0);
  }
}

TEST_F(ByteCommandFaultTest, ALineThatDiesMidGotoLeavesEveryCallPromptAndTheMountDestroyable) {
  emulator::ByteCommandOptions o = QuickOptions();
  o.gotoDegPerSec = 2.0;
  ASSERT_EQ(Create(8, o), 0);
  ASSERT_EQ(GotoAxes(Deg(90.0), Deg(45.0)), 0);
  ASSERT_TRUE(WaitFor([&] { return emu->GotoInProgress(0); }));
  emu->CloseLine();
  // The goto gives up on a controller that stopped answering by itself.
  EXPECT_TRUE(WaitFor(MotionFinished, 5000));

  double pos = 0;
  uint32_t state = 0;
  const std::pair<std::function<int()>, int> calls[] = {
      {[&] { return GetAxisPosition(0, &pos); }, 100},
      {[&] { return GetAxisPosition(1, &pos); }, 101},
      {[&] { return SyncHomePosition(); }, 100},
      {[&] { return StopAxis(0); }, 100},
  };
  for (const auto& [call, expected] : calls) {
    const auto start = Clock::now();
    EXPECT_EQ(call(), expected);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
  }
  const auto start = Clock::now();
  EXPECT_EQ(GetMountState(&state), 100) << "the mount says which axis stopped answering";
  EXPECT_EQ(DestroyMount(), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(5500));
}

}  // namespace
}  // namespace sidera::testing
