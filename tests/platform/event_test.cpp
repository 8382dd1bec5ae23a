#include "sidera/platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "sidera/platform/clock.h"

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
}

TEST(Event, TimedWaitEndsAfterTheTimeoutInTickTime) {
  ManualTickSource fast(0, 1000.0);  // 2000 ticks are 2 real milliseconds
  ScopedTickSource installed(fast);
  Event manual(Event::Mode::kManualReset, false);
  Event autoReset(Event::Mode::kAutoReset, false);
  EXPECT_FALSE(manual.Wait(2000));
  EXPECT_FALSE(autoReset.Wait(2000));
}

TEST(Event, SetFromAnotherThreadWakesAllManualOrOneAutoWaiter) {
  Event manual(Event::Mode::kManualReset, false);
  Event autoReset(Event::Mode::kAutoReset, false);
  Event oneAutoPassed(Event::Mode::kAutoReset, false);
  std::atomic<int> manualPassed{0}, autoPassed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      if (manual.Wait(Event::kInfinite)) ++manualPassed;
      if (autoReset.Wait(Event::kInfinite)) ++autoPassed, oneAutoPassed.Set();
    });
  }
  manual.Set();
  autoReset.Set();
  ASSERT_TRUE(oneAutoPassed.Wait(Event::kInfinite));
  EXPECT_FALSE(autoReset.IsSet()) << "the woken waiter consumed the signal";
  autoReset.Set();  // releases the other one
  for (auto& t : waiters) t.join();
  EXPECT_EQ(manualPassed.load(), 2);
  EXPECT_EQ(autoPassed.load(), 2);
}

}  // namespace
}  // namespace sidera::platform
