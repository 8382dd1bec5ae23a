// A GPS unit on the packet-bus packet bus, at address 0xB0. It answers the
// controller's (0x32) requests without data:
//   0x37 linked to satellites (data 0: 1 linked, 0 not yet)
//   0x07 satellites (data 0: 1 when linked; data 1: count)
//   0x03 month, day      0x04 year (high, low)     0x33 hour, minute, second
//   0x01 latitude, 0x02 longitude: 24-bit angles, value = degrees x 2^24 / 360
// Other messages get a reply without data. The time is universal time and
// runs on from the moment the unit starts.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace sidera::emulator {

struct GpsUnitOptions {
  bool present = false;  // the unit answers at all
  double latitudeDeg = 0;
  double longitudeDeg = 0;
  int satellites = 8;
  int linkAfterPolls = 0;  // this many 0x37 polls are answered "not linked" first
  int64_t startUtc = -1;   // seconds since 1970 at start; -1: the system's clock
  int badChecksumId = -1;  // replies to this message carry a wrong checksum
};

namespace packet_bus {

inline constexpr uint8_t kGpsAddress = 0xB0;

class GpsUnit {
 public:
  // The whole reply frame to message `id` (preamble to checksum).
  std::vector<uint8_t> Reply(uint8_t id, const GpsUnitOptions& options);

 private:
  int linkPolls_ = 0;
  bool started_ = false;
  int64_t startUtc_ = 0;
  std::chrono::steady_clock::time_point startedAt_;
};

// A 24-bit bus angle for `degrees` (negative angles wrap above half a turn).
uint32_t DegreesToAngle24(double degrees);

}  // namespace packet_bus
}  // namespace sidera::emulator
