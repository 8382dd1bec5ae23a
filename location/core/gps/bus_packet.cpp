// Building and checking packet-bus frames of the GPS unit.
#include "location/core/gps/bus_packet.h"

namespace location::gps {

uint8_t BusChecksum(const uint8_t* first, size_t count) {
  unsigned sum = 0;
  for (size_t i = 0; i < count; ++i) sum += first[i];
  return static_cast<uint8_t>(0x100u - (sum & 0xFFu));
}

std::array<uint8_t, 6> BuildRequest(uint8_t id) {
  std::array<uint8_t, 6> packet = {kPreamble, 3, kControllerAddress, kGpsAddress, id, 0};
  packet[5] = BusChecksum(packet.data() + 1, 4);
  return packet;
}

bool ReplyIsSound(std::span<const uint8_t> reply) {
  if (reply.size() < 6 || reply[0] != kPreamble) return false;
  const size_t length = reply[1];
  if (length < 3 || length > kMaxLength || reply.size() != length + 3) return false;
  return BusChecksum(reply.data() + 1, length + 1) == reply.back();
}

double Angle24ToDegrees(const uint8_t* bytes) {
  const uint32_t value =
      static_cast<uint32_t>(bytes[0]) << 16 | static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
  double degrees = value * 2.1457672119140625e-05;  // 360 / 2^24
  if (degrees > 180.0) degrees -= 360.0;
  return degrees;
}

}  // namespace location::gps
