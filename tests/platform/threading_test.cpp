// Events and worker groups: the primitives every mount thread is built on.
// Wake-ups across threads are exercised by every motion thread of the
// mount suites; here, the reset rules and how a group closes.
#include <gtest/gtest.h>

#include <atomic>

#include "sidera/platform/clock.h"
#include "sidera/platform/event.h"
#include "sidera/platform/worker_group.h"

namespace sidera::platform {
namespace {

TEST(Event, ManualResetStaysSignalledAutoResetPassesOneWaitPerSet) {
  Event manual(Event::Mode::kManualReset, false);
  EXPECT_FALSE(manual.Wait(0));
  manual.Set();
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(0));
  manual.Reset();
  EXPECT_FALSE(manual.Wait(0));

  Event autoReset(Event::Mode::kAutoReset, true);
  EXPECT_TRUE(autoReset.IsSet());  // looking does not consume
  EXPECT_TRUE(autoReset.Wait(0));
  EXPECT_FALSE(autoReset.Wait(0));
  autoReset.Set();
  autoReset.Set();  // not counted: still one pass
  EXPECT_TRUE(autoReset.Wait(0));
  EXPECT_FALSE(autoReset.IsSet());

  // A timed wait ends unsignalled; 2000 ticks are 2 real ms on this clock.
  ManualTickSource fast(0, 1000.0);
  ScopedTickSource installed(fast);
  EXPECT_FALSE(manual.Wait(2000));
  EXPECT_FALSE(autoReset.Wait(2000));
}

// Close nudges sleepers, waits for every thread, and from then on refuses
// new ones, even to its own workers (which must not deadlock the close).
TEST(WorkerGroup, CloseAndJoinNudgesSleepersJoinsAllAndRefusesNewThreads) {
  WorkerGroup group;
  Event wake(Event::Mode::kManualReset, false);
  std::atomic<int> done{0}, startedDuringClose{0};
  std::atomic<bool> refusedBodyRan{false};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(group.Start([&] {
      wake.Wait(Event::kInfinite);  // without the nudge, forever
      if (group.Start([&] { refusedBodyRan = true; })) ++startedDuringClose;
      ++done;
    }));
  }
  EXPECT_EQ(group.RunningCount(), 3);
  group.CloseAndJoin([&] { wake.Set(); });
  EXPECT_EQ(done.load(), 3);
  EXPECT_EQ(group.RunningCount(), 0);
  EXPECT_EQ(startedDuringClose.load(), 0);
  EXPECT_TRUE(group.IsClosed());
  EXPECT_FALSE(group.Start([&] { refusedBodyRan = true; }));
  EXPECT_FALSE(refusedBodyRan.load());
  group.CloseAndJoin();  // a second close is harmless
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
