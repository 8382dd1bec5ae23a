// A hex-command mount created through the exported operations against the
// controller emulator, and helpers to read what went over the line.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulators/family3/family3_emulator.h"
#include "sidera/api/globals.h"
#include "sidera/drivers/family3/hex_command_mount.h"
#include "sidera/include/sidera.h"

namespace sidera::testing {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kSidereal = 2 * kPi / 86164.09065;
// The counts per revolution the tests run with (the substitute of model
// code 0x80): 4035.975 per degree.
inline constexpr uint32_t kCounts = 1452951;

inline double Deg(double d) { return d * kPi / 180.0; }
inline int32_t CountsOfDeg(double d) {
  return static_cast<int32_t>(std::lround(d / 360.0 * kCounts));
}

class Family3Test : public ::testing::Test {
 protected:
  // Quick controllers on an echoing line (the echo probe answers at once);
  // motion in real time so that rates mean what they say.
  static emulator::Family3Options QuickOptions() {
    emulator::Family3Options o;
    o.countsPerRevolution = kCounts;
    o.gotoFastDegPerSec = 90.0;
    o.gotoSlowDegPerSec = 10.0;
    o.decelerationDegPerSec2 = 100.0;
    o.echo = true;
    return o;
  }

  // Destroys any mount and emulator of an earlier case, starts a new
  // emulator and creates model `type` on it; the connect result.
  int Create(int type, emulator::Family3Options options = QuickOptions(), double latitude = 0.6) {
    Finish();
    emu = std::make_unique<emulator::Family3Emulator>(options);
    if (!emu->Start()) return -1;
    setenv("SIDERA_SERIAL_PATTERN", emu->DevicePath().c_str(), 1);
    SetComPort(4);  // any number: the pattern names one terminal
    return CreateMount(type, latitude, 100.0);
  }

  void Finish() {
    EXPECT_EQ(DestroyMount(), 0);
    emu.reset();
  }
  void TearDown() override { Finish(); }

  static HexCommandMount* Mount() { return dynamic_cast<HexCommandMount*>(g_mount); }

  // "e1", "G2", ...: letter and axis digit of every request, in order.
  std::vector<std::string> Sent() {
    std::vector<std::string> out;
    for (const auto& r : emu->Requests()) out.push_back(r.line.substr(1, 2));
    return out;
  }
  // The requests with this letter and axis digit ("H1"), in order.
  std::vector<emulator::Family3Request> Sent(const std::string& letterAxis) {
    std::vector<emulator::Family3Request> out;
    for (const auto& r : emu->Requests()) {
      if (r.line.substr(1, 2) == letterAxis) out.push_back(r);
    }
    return out;
  }
  // Replies the controllers refused with.
  size_t Refusals() {
    size_t n = 0;
    for (const auto& r : emu->Requests()) n += !r.reply.empty() && r.reply[0] == '!';
    return n;
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

  // A rate move leaves its axis moving: it is done once its last command
  // ("J1", or "K1" for a halt) has gone out and the axes are free again.
  std::function<bool()> RateMoveDone(const std::string& last) {
    return [this, last] { return !Sent(last).empty() && g_mount->idleEvent.IsSet(); };
  }

  std::unique_ptr<emulator::Family3Emulator> emu;
};

}  // namespace sidera::testing
