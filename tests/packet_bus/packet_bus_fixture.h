// A packet-bus mount created through the exported operations against the
// controller emulator, and helpers to read what went over the line.
#pragma once

#include <cstdint>
#include <vector>

#include "emulators/packet_bus/packet_bus_emulator.h"
#include "tests/support/emulated_mount_test.h"

namespace sidera::testing {

using Bytes = std::vector<uint8_t>;

// Counts of an angle given in degrees: 2^24 per turn.
inline double CountsOfDeg(double d) { return d / 360.0 * 16777216.0; }

// Signed 24-bit value of three data bytes.
inline int32_t Wire24(const Bytes& d) {
  const int32_t v = (d[0] << 16) | (d[1] << 8) | d[2];
  return (v & 0x800000) ? v - 0x1000000 : v;
}

class PacketBusTest
    : public EmulatedMountTest<emulator::PacketBusEmulator, emulator::PacketBusOptions> {
 protected:
  // Fast controllers keep the suite quick; the motion still runs in real
  // time so tracking rates mean what they say.
  static emulator::PacketBusOptions QuickOptions() {
    emulator::PacketBusOptions o;
    o.fastDegPerSec = 90.0;
    o.slowDegPerSec = 10.0;
    return o;
  }

  // Model `type` on a fresh emulator; the connect result.
  int Create(int type, const emulator::PacketBusOptions& options = QuickOptions()) {
    return CreateOn(options, type);
  }

  // Requests of one axis and message id, in order.
  std::vector<emulator::PacketBusRequest> Sent(int axis, uint8_t id) {
    std::vector<emulator::PacketBusRequest> out;
    for (auto& r : emu->Requests()) {
      if (r.axis == axis && r.id == id) out.push_back(r);
    }
    return out;
  }
};

}  // namespace sidera::testing
