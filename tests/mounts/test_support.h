// Helpers shared by the mount tests: a host session on a fast clock and
// polling with a guard.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/clock.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "tests/support/emulated_mount_test.h"

namespace sidera::testing {

// Polls `done` every real millisecond; false if it has not held within
// `guardMs` real milliseconds (a guard against a hang, not a timing check).
inline bool WaitUntil(const std::function<bool()>& done, int guardMs = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Lets `ticks` of the installed clock pass.
inline bool WaitTicks(uint32_t ticks) {
  const uint32_t start = platform::Now();
  return WaitUntil([&] { return platform::Now() - start >= ticks; });
}

// Angular distance between two sky positions.
inline double SkyDistance(const SkyPoint& a, const SkyPoint& b) {
  const double c =
      std::sin(a.declination) * std::sin(b.declination) +
      std::cos(a.declination) * std::cos(b.declination) * std::cos(a.hourAngle - b.hourAngle);
  return std::acos(std::fmin(1.0, std::fmax(-1.0, c)));
}

// The mount tracks and axis 0 runs at a tracking rate, not at a goto or
// hand-move speed.
inline bool TracksAtTrackingRates() {
  return MountStateNow() == SIDERA_MOUNT_TRACKING && g_mount != nullptr &&
         (AxisStateNow(0) & SIDERA_AXIS_RATE_MOTION) != 0 &&
         std::fabs(g_mount->Axes().Rate(0)) < 5 * kSidereal;
}

// The library's clock runs `scale` times faster than real time; whatever
// mount the test creates is destroyed before the clock is removed.
class HostSession : public ::testing::Test {
 protected:
  explicit HostSession(double scale = 100.0) : clock_(scale, 1000000), scoped_(clock_) {}
  void TearDown() override { EXPECT_EQ(DestroyMount(), 0); }

  static bool WaitForTrackingRates() { return WaitUntil(TracksAtTrackingRates); }

  // Creates `model` and starts a long goto; returns once an axis shows it.
  static void StartLongGoto(int model) {
    ASSERT_EQ(CreateMount(model, Deg(30), 0.0), 0);
    ASSERT_EQ(GotoSky(Deg(60), Deg(-10)), 0);
    ASSERT_TRUE(WaitUntil([] { return (AxisStateNow(0) | AxisStateNow(1)) & SIDERA_AXIS_GOTO; }));
  }

  platform::ScaledTickSource clock_;
  platform::ScopedTickSource scoped_;
};

}  // namespace sidera::testing
