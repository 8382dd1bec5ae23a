// A byte-command mount created through the exported operations against the
// controller emulator, and helpers to read what went over the line.
#pragma once

#include <cstdint>
#include <vector>

#include "emulators/byte_command/byte_command_emulator.h"
#include "tests/support/emulated_mount_test.h"

namespace sidera::testing {

using Bytes = std::vector<uint8_t>;

inline constexpr uint32_t kN8 = 726559;
inline constexpr uint32_t kN9 = 1059334;

// The count the driver sends for an angle in [0, 360) degrees: (N / 2) / pi
// counts per radian, truncated.
inline uint32_t CountOf(double deg, uint32_t n = kN8) {
  return static_cast<uint32_t>(Deg(deg) * (n / 2) / kPi);
}

class ByteCommandTest
    : public EmulatedMountTest<emulator::ByteCommandEmulator, emulator::ByteCommandOptions> {
 protected:
  // A fast controller keeps the suite quick; rates still run in real time.
  static emulator::ByteCommandOptions QuickOptions() {
    emulator::ByteCommandOptions o;
    o.gotoDegPerSec = 90.0;
    return o;
  }

  // Model `type` on a fresh emulator; the connect result.
  int Create(int type, const emulator::ByteCommandOptions& options = QuickOptions()) {
    const int r = CreateOn(options, type);
    if (r == 0) (void)Sent(7);  // the connect's last request is in
    return r;
  }

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
};

// Four request bytes: the command and a 24-bit value.
inline Bytes Req(uint8_t command, uint32_t value) {
  return {command, static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value)};
}

}  // namespace sidera::testing
