// The worker's two lanes: calls run in order, now or at their time; a call
// that does not finish in time is given up by its caller and still runs; and
// the stop lane runs while the calls lane is held up.
#include "host/mount_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <vector>

namespace sidera::host {
namespace {

using namespace std::chrono_literals;

TEST(MountWorker, CallsRunInOrderAndTimedOnesAtTheirTime) {
  std::vector<int> order;  // written by the calls lane only, read after it ends
  std::atomic<int> ran{0};
  {
    TaskLane lane;
    const auto now = TaskLane::Clock::now();
    lane.PostAt(now + 300ms, [&] { order.push_back(100); });
    lane.PostAt(now + 150ms, [&] { order.push_back(50); });
    for (int i = 0; i < 20; ++i) lane.Post([&, i] { order.push_back(i); });
    EXPECT_EQ(lane.Call([] { return 7; }, 10s), 7);
    std::this_thread::sleep_for(600ms);  // the timed ones are due
    // Queued when the lane stops: the due one runs, the timed one is dropped.
    lane.PostAt(TaskLane::Clock::now() + 60s, [&] { ran = 99; });
    lane.Post([&] { ran.fetch_add(1); });
  }
  EXPECT_EQ(ran.load(), 1);
  ASSERT_EQ(order.size(), 22u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
  EXPECT_EQ(order[20], 50);
  EXPECT_EQ(order[21], 100);
}

TEST(MountWorker, StopsWhileWaitingForATimedCall) {
  std::atomic<bool> ran{false};
  {
    TaskLane lane;
    lane.PostAt(TaskLane::Clock::now() + 60s, [&] { ran = true; });
    std::this_thread::sleep_for(50ms);  // the lane now waits for it
  }  // Stop drops it while the lane waits (the sanitizers watch the wait)
  EXPECT_FALSE(ran);
}

TEST(MountWorker, AStopRunsWhileACallIsHeldUp) {
  MountWorker worker;
  std::promise<void> release;
  worker.calls.Post([held = release.get_future().share()] { held.wait(); });  // reads late
  // The caller gives up on a call queued behind it, which still runs later.
  std::atomic<bool> lateCallRan{false};
  EXPECT_FALSE(worker.calls.Call(
      [&] {
        lateCallRan = true;
        return 1;
      },
      100ms));
  EXPECT_EQ(worker.calls.pending(), 2u);
  // The stop lane answers at once (a generous bound: the machine may be busy).
  const auto before = TaskLane::Clock::now();
  EXPECT_EQ(worker.stops.Call([] { return 3; }, 10s), 3);
  EXPECT_LT(TaskLane::Clock::now() - before, 5s);
  EXPECT_FALSE(lateCallRan);
  release.set_value();
  worker.Stop();
  EXPECT_TRUE(lateCallRan);
}

}  // namespace
}  // namespace sidera::host
