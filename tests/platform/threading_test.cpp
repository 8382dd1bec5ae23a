// Events and worker groups: the primitives every mount thread is built on.
// Wake-ups across threads are exercised by every motion thread of the
// mount suites; here, the reset rules and how a group closes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/worker_group.h"

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

// Taking a manual-reset event with WaitAndReset is one step: of the
// threads waiting for it, one passes per Set (the axes of a mount have one
// owner at a time, however close together two motions start).
TEST(Event, WaitAndResetLetsOneWaiterThroughPerSet) {
  Event idle(Event::Mode::kManualReset, false);
  std::atomic<int> passed{0};
  std::thread a([&] { passed += idle.WaitAndReset(Event::kInfinite) ? 1 : 0; });
  std::thread b([&] { passed += idle.WaitAndReset(Event::kInfinite) ? 1 : 0; });
  idle.Set();
  while (passed == 0) std::this_thread::yield();
  ManualTickSource fast(0, 1000.0);
  ScopedTickSource installed(fast);
  EXPECT_FALSE(idle.Wait(200)) << "the event was taken";
  EXPECT_EQ(passed, 1);
  idle.Set();  // the owner hands it on
  a.join();
  b.join();
  EXPECT_EQ(passed, 2);
  EXPECT_FALSE(idle.IsSet());
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
