// Host read-outs share the axes' readings: however many threads poll, and
// however fast, the line carries one read of each kind per axis per
// read-out window; and a command forgets what was read before it, so a
// read-out never shows the axis as it was before the last command. Counted
// and read through the exported operations against each family's emulator.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "tests/line_safety/line_family.h"
#include "tests/support/emulated_mount_test.h"

namespace sidera::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Session = MountOnLine;

void PollEveryReadOut() {
  AxisPair axes{};
  SkyPoint sky{};
  HorizontalPoint horizontal{};
  uint32_t word = 0;
  double angle = 0;
  (void)GetAxisPositions(&axes);
  (void)GetSkyPosition(&sky);
  (void)GetHorizontalPosition(&horizontal);
  (void)GetMountState(&word);
  (void)GetAxisState(0, &word);
  (void)GetAxisState(1, &word);
  (void)GetAxisPosition(1, &angle);
}

// Four threads poll every read-out at 100 Hz on an idle mount: each axis is
// read for its position and its state at most once a window (and the line
// watch, which reads only axes quiet for a second, at most once more).
TEST(SharedReads, HostsPollingFasterThanTheWindowShareOneReadPerWindow) {
  const auto window = std::chrono::duration_cast<std::chrono::milliseconds>(kReadOutWindow);
  for (int family = 1; family <= 3; ++family) {
    Session s(family, false);
    SCOPED_TRACE(s.line->Name());
    ASSERT_EQ(s.created, 0);
    PollEveryReadOut();
    s.line->ClearRequests();
    const Clock::time_point start = Clock::now();
    std::atomic<bool> stop{false};
    std::vector<std::thread> hosts;
    for (int i = 0; i < 4; ++i) {
      hosts.emplace_back([&] {
        while (!stop) {
          PollEveryReadOut();
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    for (std::thread& t : hosts) t.join();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    const int windows = static_cast<int>(elapsed / window) + 1;
    const int reads = s.line->Count(Wire::kRead, 0) + s.line->Count(Wire::kRead, 1);
    EXPECT_LE(reads, 4 * windows + 2) << "in " << elapsed.count() << " ms";
    EXPECT_GT(reads, 0) << "the read-outs do read the line";
  }
}

// A position read just before SyncAxis would still be within the window
// after it; the read-out shows the axis as it is after the command. During a
// goto the read-outs follow the axis (the goto's own polls keep readings
// made after its command, so one window after the start it shows moving).
TEST(SharedReads, AReadOutAfterACommandNeverShowsTheReadingBefore) {
  for (int family = 1; family <= 3; ++family) {
    Session s(family, false);
    SCOPED_TRACE(s.line->Name());
    ASSERT_EQ(s.created, 0);
    double before = 0;
    double after = 0;
    ASSERT_EQ(GetAxisPosition(0, &before), 0);
    ASSERT_EQ(SyncAxis(0, before + Deg(10)), 0);
    ASSERT_EQ(GetAxisPosition(0, &after), 0);
    EXPECT_NEAR(std::remainder(after - before - Deg(10), 2 * kPi), 0.0, Deg(0.01))
        << "after SyncAxis";

    ASSERT_EQ(GetAxisPosition(0, &before), 0);
    ASSERT_EQ(GotoAxis(0, before + Deg(40)), 0);
    ASSERT_TRUE(s.line->Arrival(Wire::kStart, 0, 5000).has_value());
    ASSERT_TRUE(WaitFor([&] { return s.line->Moving(0); }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ASSERT_EQ(GetAxisPosition(0, &after), 0);
    EXPECT_GT(std::fabs(std::remainder(after - before, 2 * kPi)), Deg(0.05)) << "after a goto";
    EXPECT_EQ(StopAxis(0), 0);
    ASSERT_TRUE(WaitFor(MotionFinished, 5000));
  }
}

}  // namespace
}  // namespace sidera::testing
