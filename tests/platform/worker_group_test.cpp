#include "sidera/platform/worker_group.h"

#include <gtest/gtest.h>

#include <atomic>

#include "sidera/platform/event.h"

namespace sidera::platform {
namespace {

TEST(WorkerGroup, CloseAndJoinNudgesSleepersAndWaitsForEveryThread) {
  WorkerGroup group;
  Event wake(Event::Mode::kManualReset, false);
  std::atomic<int> done{0};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(group.Start([&] {
      wake.Wait(Event::kInfinite);  // without the nudge, forever
      ++done;
    }));
  }
  EXPECT_EQ(group.RunningCount(), 3);
  group.CloseAndJoin([&] { wake.Set(); });
  EXPECT_EQ(done.load(), 3);
  EXPECT_EQ(group.RunningCount(), 0);
  group.CloseAndJoin();  // a second close is harmless
}

TEST(WorkerGroup, ClosedGroupRefusesNewThreadsEvenFromItsOwnWorkers) {
  WorkerGroup group;
  Event wake(Event::Mode::kManualReset, false);
  std::atomic<int> startDuringClose{-1};
  std::atomic<bool> refusedBodyRan{false};
  ASSERT_TRUE(group.Start([&] {
    wake.Wait(Event::kInfinite);
    // The owner is closing: this Start must fail, not deadlock the close.
    startDuringClose = group.Start([&] { refusedBodyRan = true; }) ? 1 : 0;
  }));
  group.CloseAndJoin([&] { wake.Set(); });
  EXPECT_EQ(startDuringClose.load(), 0);
  EXPECT_TRUE(group.IsClosed());
  EXPECT_FALSE(group.Start([&] { refusedBodyRan = true; }));
  EXPECT_FALSE(refusedBodyRan.load());
}

TEST(WorkerGroup, WorkersStartWorkersAndTheDestructorJoinsThem) {
  std::atomic<int> ran{0};
  {
    WorkerGroup group;
    for (int i = 0; i < 20; ++i) {  // each Start reaps the finished ones
      Event innerRan(Event::Mode::kManualReset, false);
      ASSERT_TRUE(group.Start([&] {
        ++ran;
        if (group.Start([&] { ++ran, innerRan.Set(); })) return;
        innerRan.Set();
      }));
      innerRan.Wait(Event::kInfinite);
    }
    ASSERT_TRUE(group.Start([&] { ++ran; }));
  }
  EXPECT_EQ(ran.load(), 41);
}

}  // namespace
}  // namespace sidera::platform
