// Packets of the mount's packet bus as the GPS unit on it uses them:
//   3B  length  source  destination  id  data...  checksum
// The length counts source, destination, id and the data; the checksum is
// the two's complement of the sum of every byte from the length on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <vector>

#include "location/core/gps/clock_service.h"

namespace location::gps {

inline constexpr uint8_t kPreamble = 0x3B;
inline constexpr uint8_t kControllerAddress = 0x32;  // this program
inline constexpr uint8_t kGpsAddress = 0xB0;         // the GPS unit
inline constexpr int kMaxLength = 29;                // a longer length byte is not a packet

// Messages of the GPS unit; the requests carry no data.
enum BusMessage : uint8_t {
  kMsgLatitude = 0x01,    // 24-bit angle, data 0..2
  kMsgLongitude = 0x02,   // 24-bit angle, data 0..2
  kMsgMonthDay = 0x03,    // month, day
  kMsgYear = 0x04,        // year = data 0 x 256 + data 1
  kMsgSatellites = 0x07,  // data 1 = satellites (signed)
  kMsgTimeOfDay = 0x33,   // hour, minute, second
  kMsgLinked = 0x37,      // data 0 = 1 when linked to satellites
};

uint8_t BusChecksum(const uint8_t* first, size_t count);

// The request for message `id`, from this program to the GPS unit.
std::array<uint8_t, 6> BuildRequest(uint8_t id);

// A whole reply (preamble to checksum) whose length byte matches its size
// and whose checksum is right.
bool ReplyIsSound(std::span<const uint8_t> reply);

// Data bytes of a sound reply.
inline std::span<const uint8_t> ReplyData(std::span<const uint8_t> reply) {
  return reply.size() < 6 ? std::span<const uint8_t>() : reply.subspan(5, reply.size() - 6);
}

// A 24-bit angle (most significant byte first) in degrees, -180..180:
// value x 360 / 2^24, less 360 above half a turn.
double Angle24ToDegrees(const uint8_t* bytes);

// Where a reply's bytes come from: `length` bytes, or fewer (perhaps none)
// when the line's time-out ends the read first.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual size_t Read(uint8_t* out, size_t length) = 0;
};

// Reads one reply: the preamble, the length byte (zeros before it are the
// idle line, at most kMaxLength of them), then the rest, which must all
// arrive. True, with the whole packet in `reply`, only for a sound reply.
bool ReadBusReply(ByteSource& source, std::vector<uint8_t>& reply);

// The messages read once the unit reports a link, in this order, and the
// data bytes each reply must carry.
struct BusStep {
  uint8_t id;
  size_t dataBytes;
};
inline constexpr BusStep kBusSteps[] = {{kMsgSatellites, 2}, {kMsgMonthDay, 2}, {kMsgYear, 2},
                                        {kMsgTimeOfDay, 3},  {kMsgLatitude, 3}, {kMsgLongitude, 3}};
inline constexpr size_t kBusStepCount = std::size(kBusSteps);

// What a complete read gives: the position and satellites, and the time when
// the unit has a real one (a unit without time yet reports no date).
struct BusFix {
  double latitude = 0, longitude = 0;
  int satellites = 0;
  std::optional<GpsTime> utc;
};
// The replies to kBusSteps in order; nothing when one carries too few data.
std::optional<BusFix> DecodeBusFix(std::span<const std::vector<uint8_t>, kBusStepCount> replies);

}  // namespace location::gps
