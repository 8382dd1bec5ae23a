// The packet-bus GPS unit's replies.
#include "emulators/packet_bus/gps_unit.h"

#include <cmath>
#include <ctime>

#include "emulators/packet_bus/packet.h"

namespace sidera::emulator::packet_bus {

uint32_t DegreesToAngle24(double degrees) {
  const double turns = degrees / 360.0 - std::floor(degrees / 360.0);  // [0, 1)
  return static_cast<uint32_t>(std::llround(turns * 16777216.0)) & 0xFFFFFFu;
}

std::vector<uint8_t> GpsUnit::Reply(uint8_t id, const GpsUnitOptions& options) {
  if (!started_) {
    started_ = true;
    startedAt_ = std::chrono::steady_clock::now();
    startUtc_ = options.startUtc >= 0 ? options.startUtc : static_cast<int64_t>(std::time(nullptr));
  }
  const bool linked = linkPolls_ >= options.linkAfterPolls;
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::steady_clock::now() - startedAt_)
                           .count();
  const time_t now = static_cast<time_t>(startUtc_ + elapsed);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::vector<uint8_t> data;
  auto angle = [&](double degrees) {
    const uint32_t value = DegreesToAngle24(degrees);
    data = {static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value)};
  };
  switch (id) {
    case 0x37:
      data = {static_cast<uint8_t>(linked ? 1 : 0)};
      if (!linked) ++linkPolls_;
      break;
    case 0x07:
      data = {static_cast<uint8_t>(linked ? 1 : 0),
              static_cast<uint8_t>(linked ? options.satellites : 0)};
      break;
    case 0x03:
      data = {static_cast<uint8_t>(utc.tm_mon + 1), static_cast<uint8_t>(utc.tm_mday)};
      break;
    case 0x04: {
      const int year = utc.tm_year + 1900;
      data = {static_cast<uint8_t>(year >> 8), static_cast<uint8_t>(year)};
      break;
    }
    case 0x33:
      data = {static_cast<uint8_t>(utc.tm_hour), static_cast<uint8_t>(utc.tm_min),
              static_cast<uint8_t>(utc.tm_sec)};
      break;
    case 0x01:
      angle(options.latitudeDeg);
      break;
    case 0x02:
      angle(options.longitudeDeg);
      break;
    default:
      break;
  }
  std::vector<uint8_t> frame;
  frame.reserve(data.size() + 6);
  for (const uint8_t byte :
       {kPreamble, static_cast<uint8_t>(data.size() + 3), kGpsAddress, kHostAddress, id}) {
    frame.push_back(byte);
  }
  for (const uint8_t byte : data) frame.push_back(byte);
  frame.push_back(Checksum(frame.data() + 1, frame.size() - 1));
  if (id == options.badChecksumId) frame.back() ^= 0x5A;
  return frame;
}

}  // namespace sidera::emulator::packet_bus
