// A hex-command mount created through the exported operations against the
// controller emulator, and helpers to read what went over the line.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "emulators/hex_command/hex_command_emulator.h"
#include "sidera/drivers/hex_command/hex_command_mount.h"
#include "tests/support/emulated_mount_test.h"

namespace sidera::testing {

// The counts per revolution the tests run with (the substitute of model
// code 0x80): 4035.975 per degree.
inline constexpr uint32_t kCounts = 1452951;

inline int32_t CountsOfDeg(double d) {
  return static_cast<int32_t>(std::lround(d / 360.0 * kCounts));
}

class HexCommandTest
    : public EmulatedMountTest<emulator::HexCommandEmulator, emulator::HexCommandOptions> {
 protected:
  // Quick controllers on an echoing line (the echo probe answers at once);
  // motion in real time so that rates mean what they say.
  static emulator::HexCommandOptions QuickOptions() {
    emulator::HexCommandOptions o;
    o.countsPerRevolution = kCounts;
    o.gotoFastDegPerSec = 90.0;
    o.gotoSlowDegPerSec = 10.0;
    o.decelerationDegPerSec2 = 100.0;
    o.echo = true;
    return o;
  }

  // Model `type` on a fresh emulator; the connect result.
  int Create(int type, const emulator::HexCommandOptions& options = QuickOptions(),
             double latitude = 0.6) {
    return CreateOn(options, type, latitude);
  }

  static HexCommandMount* Mount() { return dynamic_cast<HexCommandMount*>(g_mount); }

  // "e1", "G2", ...: letter and axis digit of every request, in order.
  std::vector<std::string> Sent() {
    std::vector<std::string> out;
    for (const auto& r : emu->Requests()) out.push_back(r.line.substr(1, 2));
    return out;
  }
  // The requests with this letter and axis digit ("H1"), in order.
  std::vector<emulator::HexCommandRequest> Sent(const std::string& letterAxis) {
    std::vector<emulator::HexCommandRequest> out;
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

  // A rate move leaves its axis moving: it is done once its last command
  // ("J1", or "K1" for a halt) has gone out and the axes are free again.
  std::function<bool()> RateMoveDone(const std::string& last) {
    return [this, last] { return !Sent(last).empty() && g_mount->AxesIdle(); };
  }
};

}  // namespace sidera::testing
