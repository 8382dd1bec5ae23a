// A packet-bus mount created through the exported operations against the
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

#include "emulators/family1/family1_emulator.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

namespace sidera::testing {

using Bytes = std::vector<uint8_t>;

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kSidereal = 2 * kPi / 86164.09065;

inline double Deg(double d) { return d * kPi / 180.0; }
// Counts of an angle given in degrees: 2^24 per turn.
inline double CountsOfDeg(double d) { return d / 360.0 * 16777216.0; }

// Signed 24-bit value of three data bytes.
inline int32_t Wire24(const Bytes& d) {
  const int32_t v = (d[0] << 16) | (d[1] << 8) | d[2];
  return (v & 0x800000) ? v - 0x1000000 : v;
}

class Family1Test : public ::testing::Test {
 protected:
  // Fast controllers keep the suite quick; the motion still runs in real
  // time so tracking rates mean what they say.
  static emulator::Family1Options QuickOptions() {
    emulator::Family1Options o;
    o.fastDegPerSec = 90.0;
    o.slowDegPerSec = 10.0;
    return o;
  }

  // Destroys any mount and emulator of an earlier case, starts a new
  // emulator and creates model `type` on it; the connect result.
  int Create(int type, emulator::Family1Options options = QuickOptions()) {
    Finish();
    emu = std::make_unique<emulator::Family1Emulator>(options);
    if (!emu->Start()) return -1;
    setenv("SIDERA_SERIAL_PATTERN", emu->DevicePath().c_str(), 1);
    SetComPort(4);                         // any number: the pattern names one terminal
    return CreateMount(type, 0.6, 100.0);  // about 34 degrees north
  }

  void Finish() {
    EXPECT_EQ(DestroyMount(), 0);
    emu.reset();
  }
  void TearDown() override { Finish(); }

  // Requests of one axis and message id, in order.
  std::vector<emulator::Family1Request> Sent(int axis, uint8_t id) {
    std::vector<emulator::Family1Request> out;
    for (auto& r : emu->Requests()) {
      if (r.axis == axis && r.id == id) out.push_back(r);
    }
    return out;
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

  std::unique_ptr<emulator::Family1Emulator> emu;
};

}  // namespace sidera::testing
