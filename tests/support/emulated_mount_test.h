// What the end-to-end suites share: a mount created through the exported
// operations on a controller emulator's terminal, polling with a liveness
// bound, the states and the sky position a host reads, and the check that
// one-star alignment moves the reported sky to where the star really is.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "platform/clock.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "tests/support/new_mount_settings.h"

namespace sidera::testing {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kSidereal = 2 * kPi / 86164.09065;

inline constexpr double Deg(double d) { return d * kPi / 180.0; }

// Polls `done` every 20 ms; false if it has not become true within
// `limitMs` (a liveness bound, not a timing check).
inline bool WaitFor(const std::function<bool()>& done, int limitMs = 30000) {
  for (int waited = 0; waited < limitMs && !done(); waited += 20) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

inline uint32_t MountStateNow() {
  uint32_t state = 0;
  EXPECT_EQ(GetMountState(&state), 0);
  return state;
}

inline uint32_t AxisStateNow(int axis) {
  uint32_t state = 0;
  EXPECT_EQ(GetAxisState(axis, &state), 0);
  return state;
}

// How far the mount points from a target that stood at `target` at tick
// `start` of the library's clock and turns with the sky. The read happens
// between two clock readings; the target is taken at whichever fits better.
inline double DistanceFromTarget(const SkyPoint& target, uint32_t start) {
  const auto off = [&](const SkyPoint& at, uint32_t tick) {
    const double turned = static_cast<uint32_t>(tick - start) / 1000.0 * kSidereal;
    return AngularSeparation(at.hourAngle, at.declination, target.hourAngle + turned,
                             target.declination);
  };
  const uint32_t before = platform::Now();
  SkyPoint here{};
  EXPECT_EQ(GetSkyPosition(&here), 0);
  const uint32_t after = platform::Now();
  return std::min(off(here, before), off(here, after));
}

// True once no motion thread of the current mount owns the axes.
inline bool MotionFinished() {
  TelescopeMount* m = g_mount;
  return m != nullptr && m->ClaimOn(0) == 0 && m->ClaimOn(1) == 0 && m->AxesIdle();
}

// With the mount standing still: tells it that the star it points at really
// is 1 degree further west and half a degree lower; afterwards it must
// report that place.
inline void ExpectOneStarAlignmentMovesTheSky() {
  AlignStar star{};
  ASSERT_EQ(GetAxisPosition(0, &star.axis0), 0);
  ASSERT_EQ(GetAxisPosition(1, &star.axis1), 0);
  SkyPoint at{};
  ASSERT_EQ(GetSkyPosition(&at), 0);
  star.hourAngle = at.hourAngle + Deg(1.0);
  star.declination = at.declination - Deg(0.5);
  ASSERT_EQ(AlignOneStar(star), 0);
  ASSERT_EQ(GetSkyPosition(&at), 0);
  EXPECT_LT(AngularSeparation(at.hourAngle, at.declination, star.hourAngle, star.declination),
            Deg(0.01));
}

// A fixture that owns one emulator and the mount created on it; both go at
// the end of every case.
template <typename Emulator, typename Options>
class EmulatedMountTest : public ::testing::Test {
 protected:
  // Destroys any mount and emulator of an earlier case, starts a new
  // emulator on `options` and points every serial port at its terminal;
  // false when it could not start.
  bool StartEmulator(const Options& options) {
    Finish();
    emu = std::make_unique<Emulator>(options);
    if (!emu->Start()) return false;
    setenv("SIDERA_SERIAL_PATTERN", emu->DevicePath().c_str(), 1);
    return true;
  }

  // A new emulator on `options` and model `type` created on it; the
  // connect result, or -1 when the emulator could not start. The latitude
  // is in radians; 0.6 is about 34 degrees north.
  // The line watch reads no quiet axis by itself, and every read-out reads
  // the line (the cases compare the requests commands and read-outs send and
  // what each meets; the line suites test the watch and the shared reads).
  int CreateOn(const Options& options, int type, double latitude = 0.6) {
    if (!StartEmulator(options)) return -1;
    SetComPort(4);  // any number: the pattern names one terminal
    const NewMountSettings quiet({.lineProbeQuietMs = 3600000, .readOutWindowMs = 0});
    return CreateMount(type, latitude, 100.0);
  }

  void Finish() {
    EXPECT_EQ(DestroyMount(), 0);
    emu.reset();
  }
  void TearDown() override { Finish(); }

  std::unique_ptr<Emulator> emu;
};

}  // namespace sidera::testing
