#include "sidera/platform/worker_group.h"

#include <gtest/gtest.h>

#include <atomic>

#include "sidera/platform/event.h"

namespace sidera::platform {
namespace {

TEST(WorkerGroup, CloseAndJoinWaitsForEveryThreadAndNudgesSleepers) {
  WorkerGroup group;
  Event wake(Event::Mode::kManualReset, false);
  std::atomic<int> done{0};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(group.Start([&] {
      // Without the nudge these threads would sleep forever.
      wake.Wait(Event::kInfinite);
      ++done;
    }));
  }
  EXPECT_EQ(group.RunningCount(), 4);
  std::atomic<int> nudges{0};
  group.CloseAndJoin([&] {
    ++nudges;
    wake.Set();
  });
  EXPECT_EQ(done.load(), 4);
  EXPECT_GE(nudges.load(), 1);
  EXPECT_EQ(group.RunningCount(), 0);
  EXPECT_TRUE(group.IsClosed());
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
  EXPECT_FALSE(group.Start([&] { refusedBodyRan = true; }));
  EXPECT_FALSE(refusedBodyRan.load());
}

TEST(WorkerGroup, AWorkerCanStartAnotherWorker) {
  WorkerGroup group;
  Event innerRan(Event::Mode::kManualReset, false);
  std::atomic<bool> innerStarted{false};
  ASSERT_TRUE(group.Start([&] { innerStarted = group.Start([&] { innerRan.Set(); }, 2); }));
  EXPECT_TRUE(innerRan.Wait(Event::kInfinite));
  group.CloseAndJoin();
  EXPECT_TRUE(innerStarted.load());
}

TEST(WorkerGroup, FinishedThreadsAreReapedAndTheDestructorJoinsTheRest) {
  std::atomic<int> ran{0};
  {
    WorkerGroup group;
    // Many short threads in sequence: each Start reaps the finished ones.
    for (int i = 0; i < 50; ++i) {
      Event finished(Event::Mode::kManualReset, false);
      ASSERT_TRUE(group.Start([&] {
        ++ran;
        finished.Set();
      }));
      finished.Wait(Event::kInfinite);
    }
    ASSERT_TRUE(group.Start([&] { ++ran; }));
  }  // destructor closes and joins
  EXPECT_EQ(ran.load(), 51);
}

}  // namespace
}  // namespace sidera::platform
