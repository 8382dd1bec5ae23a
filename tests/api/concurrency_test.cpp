// The exported operations from several host threads at once: status polls
// while another thread creates and destroys mounts, with motions running.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sidera/include/sidera.h"
#include "sidera/platform/clock.h"

namespace {

// One thread polls without pause while another creates and destroys the
// mount 200 times, half of them in the middle of a goto or a hand move.
// Every poll answers 0 (a mount) or 3 (none); a call that reached a freed
// mount shows in the sanitizer builds.
TEST(ApiAcrossThreads, PollingWhileAnotherThreadCreatesAndDestroys) {
  sidera::platform::ScaledTickSource clock(100.0, 1000000);
  sidera::platform::ScopedTickSource installed(clock);
  std::atomic<bool> done{false};
  std::atomic<int> withMount{0}, withoutMount{0}, unexpected{0};
  std::thread poller([&] {
    while (!done) {
      uint32_t state = 0;
      AxisPair axes{};
      const int r1 = GetMountState(&state);
      const int r2 = GetAxisPositions(&axes);
      for (int r : {r1, r2}) {
        if (r == SIDERA_OK) {
          ++withMount;
        } else if (r == SIDERA_NO_MOUNT) {
          ++withoutMount;
        } else {
          ++unexpected;
        }
      }
    }
  });
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(CreateMount(i % 2 == 0 ? 6 : 7, 0.6, 0.0), SIDERA_OK);
    if (i % 4 == 1) {
      EXPECT_EQ(GotoSky(-0.5, 0.3), SIDERA_OK);
    } else if (i % 4 == 3) {
      EXPECT_EQ(MoveAxis(i % 3 == 0 ? 0 : 1, 0.02), SIDERA_OK);
    }
    std::this_thread::yield();
    EXPECT_EQ(DestroyMount(), SIDERA_OK);
  }
  done = true;
  poller.join();
  EXPECT_EQ(unexpected, 0);
  EXPECT_GT(withMount, 0);
  EXPECT_GT(withoutMount, 0);
}

}  // namespace
