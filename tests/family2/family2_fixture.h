// A byte-command mount created through the exported operations against the
// controller emulator, and helpers to read what went over the line.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "emulators/family2/family2_emulator.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

namespace sidera::testing {

using Bytes = std::vector<uint8_t>;

inline constexpr double kPi = 3.141592653589793;
inline constexpr uint32_t kN8 = 726559;
inline constexpr uint32_t kN9 = 1059334;

inline double Deg(double d) { return d * kPi / 180.0; }
// The count the driver sends for an angle in [0, 360) degrees: (N / 2) / pi
// counts per radian, truncated.
inline uint32_t CountOf(double deg, uint32_t n = kN8) {
  return static_cast<uint32_t>(Deg(deg) * (n / 2) / kPi);
}

class Family2Test : public ::testing::Test {
 protected:
  // A fast controller keeps the suite quick; rates still run in real time.
  static emulator::Family2Options QuickOptions() {
    emulator::Family2Options o;
    o.gotoDegPerSec = 90.0;
    return o;
  }

  // Destroys any mount and emulator of an earlier case, starts a new
  // emulator and creates model `type` on it; the connect result.
  int Create(int type, emulator::Family2Options options = QuickOptions()) {
    Finish();
    emu = std::make_unique<emulator::Family2Emulator>(options);
    if (!emu->Start()) return -1;
    setenv("SIDERA_SERIAL_PATTERN", emu->DevicePath().c_str(), 1);
    SetComPort(4);                                // any number: the pattern names one terminal
    const int r = CreateMount(type, 0.6, 100.0);  // about 34 degrees north
    if (r == 0) (void)Sent(7);                    // the connect's last request is in
    return r;
  }

  void Finish() {
    EXPECT_EQ(DestroyMount(), 0);
    emu.reset();
  }
  void TearDown() override { Finish(); }

  // The request bytes received since the last ClearRequests, in order, once
  // at least `count` have come (a request without reply may still be on
  // its way when the call that sent it returns).
  std::vector<Bytes> Sent(size_t count = 0) {
    (void)WaitFor([&] { return emu->Requests().size() >= count; }, 2000);
    std::vector<Bytes> out;
    for (const auto& r : emu->Requests()) out.push_back(r.bytes);
    return out;
  }
  // The last request with command byte `command`, waiting up to 2 s for one
  // to come (empty when none did).
  Bytes Last(uint8_t command) {
    Bytes last;
    (void)WaitFor(
        [&] {
          for (const auto& r : emu->Requests()) {
            if (r.command == command) last = r.bytes;
          }
          return !last.empty();
        },
        2000);
    return last;
  }

  // Polls `done` every 20 ms; false if it has not become true within
  // `limitMs` (a liveness bound, not a timing check).
  static bool WaitFor(const std::function<bool()>& done, int limitMs = 30000) {
    for (int waited = 0; waited < limitMs && !done(); waited += 20) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
  }

  // True once no motion thread of the current mount owns the axes.
  static bool MotionFinished() {
    TelescopeMount* m = g_mount;
    return m != nullptr && m->axisMoving[0] == 0 && m->axisMoving[1] == 0 && m->idleEvent.IsSet();
  }

  std::unique_ptr<emulator::Family2Emulator> emu;
};

// Four request bytes: the command and a 24-bit value.
inline Bytes Req(uint8_t command, uint32_t value) {
  return {command, static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value)};
}

}  // namespace sidera::testing
