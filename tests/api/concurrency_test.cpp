// The exported operations from two host threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

#include "platform/clock.h"
#include "sidera/include/sidera.h"

namespace {

int ThreadCount() {
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

// One thread polls without pause while another creates and destroys the
// mount 200 times, mostly in the middle of a goto, a hand move or tracking.
// Every poll answers 0 (a mount) or 3 (none), a call that reached a freed
// mount shows in the sanitizer builds, and no thread of a destroyed mount
// is left.
TEST(ApiAcrossThreads, PollingWhileAnotherThreadCreatesAndDestroys) {
  sidera::platform::ScaledTickSource clock(100.0, 1000000);
  sidera::platform::ScopedTickSource installed(clock);
  std::atomic<bool> done{false};
  std::atomic<int> answers[3] = {};  // 0, 3, anything else
  std::thread poller([&] {
    while (!done) {
      uint32_t state = 0;
      AxisPair axes{};
      for (int r : {GetMountState(&state), GetAxisPositions(&axes)}) {
        ++answers[r == 0 ? 0 : r == 3 ? 1 : 2];
      }
    }
  });
  // Counted with the poller running (a sanitizer runtime adds a thread of its
  // own when the first one starts).
  const int baseline = ThreadCount();
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(CreateMount(i % 2 == 0 ? 6 : 7, 0.6, 0.0), 0);
    switch (i % 4) {
      case 0:
        EXPECT_EQ(GotoSky(-0.5, 0.3), 0);
        break;
      case 1:
        EXPECT_EQ(MoveAxis(i % 3 == 0 ? 0 : 1, 0.02), 0);
        break;
      case 2:
        EXPECT_EQ(SetTracking(1), 0);
        break;
    }
    EXPECT_EQ(DestroyMount(), 0);
  }
  // A joined thread can stay listed for a moment after it has ended.
  const auto gone = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (ThreadCount() > baseline && std::chrono::steady_clock::now() < gone) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_LE(ThreadCount(), baseline);
  done = true;
  poller.join();
  EXPECT_EQ(answers[2], 0);
  EXPECT_GT(answers[0], 0);
  EXPECT_GT(answers[1], 0);
}

}  // namespace
