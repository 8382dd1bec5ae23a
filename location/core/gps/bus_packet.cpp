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

bool ReadBusReply(ByteSource& source, std::vector<uint8_t>& reply) {
  uint8_t byte = 0;
  if (source.Read(&byte, 1) != 1 || byte != kPreamble) return false;
  uint8_t length = 0;
  // A line that sends nothing but zeros must not hold the reader forever.
  for (int zeros = 0; length == 0; ++zeros) {
    if (zeros > kMaxLength || source.Read(&length, 1) != 1) return false;
  }
  if (length > kMaxLength) return false;
  std::vector<uint8_t> packet(length + 3u);
  packet[0] = kPreamble;
  packet[1] = length;
  if (source.Read(packet.data() + 2, length + 1u) != length + 1u) return false;
  if (!ReplyIsSound(packet)) return false;
  reply = std::move(packet);
  return true;
}

std::optional<BusFix> DecodeBusFix(std::span<const std::vector<uint8_t>, kBusStepCount> replies) {
  std::span<const uint8_t> data[kBusStepCount];
  for (size_t i = 0; i < kBusStepCount; ++i) {
    data[i] = ReplyData(replies[i]);
    if (data[i].size() < kBusSteps[i].dataBytes) return std::nullopt;
  }
  BusFix fix;
  fix.satellites = static_cast<int8_t>(data[0][1]);
  fix.latitude = Angle24ToDegrees(data[4].data());
  fix.longitude = Angle24ToDegrees(data[5].data());
  const GpsTime utc{
      data[2][0] * 256 + data[2][1], data[1][0], data[1][1], data[3][0], data[3][1], data[3][2]};
  if (IsValidGpsTime(utc)) fix.utc = utc;
  return fix;
}

}  // namespace location::gps
