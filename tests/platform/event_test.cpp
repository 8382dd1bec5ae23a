#include "sidera/platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "sidera/platform/clock.h"

namespace sidera::platform {
namespace {

TEST(Event, ManualResetStaysSignalledUntilReset) {
  Event event(Event::Mode::kManualReset, false);
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.IsSet());
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.Wait(0));
}

TEST(Event, AutoResetLetsOneWaitPassPerSet) {
  Event event(Event::Mode::kAutoReset, true);
  EXPECT_TRUE(event.IsSet());  // looking does not consume
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  event.Set();  // not counted: still one pass
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
}

TEST(Event, TimedWaitEndsAfterTheTimeoutInTickTime) {
  // 2000 ticks at this scale are 2 real milliseconds.
  ManualTickSource fast(0, 1000.0);
  ScopedTickSource installed(fast);
  Event manual(Event::Mode::kManualReset, false);
  Event autoReset(Event::Mode::kAutoReset, false);
  EXPECT_FALSE(manual.Wait(2000));
  EXPECT_FALSE(autoReset.Wait(2000));
  EXPECT_FALSE(autoReset.IsSet());
}

TEST(Event, SetFromAnotherThreadWakesWaiters) {
  Event autoReset(Event::Mode::kAutoReset, false);
  std::thread waiter([&] { EXPECT_TRUE(autoReset.Wait(Event::kInfinite)); });
  autoReset.Set();
  waiter.join();
  EXPECT_FALSE(autoReset.IsSet()) << "the woken waiter consumes the signal";

  Event manual(Event::Mode::kManualReset, false);
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (manual.Wait(Event::kInfinite)) ++passed;
    });
  }
  manual.Set();  // one Set releases every waiter of a manual-reset event
  for (auto& t : waiters) t.join();
  EXPECT_EQ(passed.load(), 3);
}

TEST(Event, AutoResetReleasesOneOfTwoWaitersPerSet) {
  Event event(Event::Mode::kAutoReset, false);
  Event onePassed(Event::Mode::kAutoReset, false);
  std::atomic<int> passed{0};
  auto wait = [&] {
    if (event.Wait(Event::kInfinite)) {
      ++passed;
      onePassed.Set();
    }
  };
  std::thread a(wait), b(wait);
  event.Set();
  ASSERT_TRUE(onePassed.Wait(Event::kInfinite));
  EXPECT_FALSE(event.Wait(0)) << "the signal went to exactly one waiter";
  event.Set();
  a.join();
  b.join();
  EXPECT_EQ(passed.load(), 2);
}

}  // namespace
}  // namespace sidera::platform
