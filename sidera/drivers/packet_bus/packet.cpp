// Building packet-bus requests and reading their framed replies.

#include "sidera/drivers/packet_bus/packet.h"

#include <cstring>

#include "sidera/link/count24.h"

namespace sidera::packet_bus {

size_t BuildRequest(int axis, uint8_t id, const uint8_t* data, size_t length, uint8_t* out) {
  if (length > kMaxRequestData) return 0;
  out[0] = kPreamble;
  out[1] = static_cast<uint8_t>(length + 3);
  out[2] = kHostAddress;
  out[3] = AxisAddress(axis);
  out[4] = id;
  if (data != nullptr && length != 0) {
    std::memcpy(out + kDataOffset, data, length);
  } else {
    // No data supplied: the data bytes are sent as zeros rather than as
    // whatever the buffer held.
    std::memset(out + kDataOffset, 0, length);
  }
  unsigned sum = 0;
  for (size_t i = 1; i < kDataOffset + length; ++i) sum += out[i];
  out[kDataOffset + length] = static_cast<uint8_t>((256 - (sum % 256)) % 256);
  return length + 6;
}

int ReadReply(ByteSource& source, uint8_t* reply) {
  uint8_t byte = 0;
  size_t skipped = 0;

  // 1. Find the preamble; anything before it is noise.
  for (;;) {
    if (source.Read(&byte, 1) != 1) return 1;
    if (byte == kPreamble) break;
    if (++skipped > kMaxSkippedBytes) return 1;
  }

  // 2. The length: the first nonzero byte after the preamble.
  uint8_t length = 0;
  for (;;) {
    if (source.Read(&length, 1) != 1) return 1;
    if (length != 0) break;
    if (++skipped > kMaxSkippedBytes) return 1;
  }

  // 3. A packet longer than the buffer is not a reply of this bus.
  if (length > kMaxReplyLength) return 1;

  // 4. The rest of the packet and its checksum, in one read.
  uint8_t packet[kPacketBufferSize] = {};
  packet[0] = kPreamble;
  packet[1] = length;
  const size_t rest = static_cast<size_t>(length) + 1;
  if (source.Read(packet + 2, rest) != rest) return 1;

  // 5. Hand the whole packet over.
  if (reply != nullptr) std::memcpy(reply, packet, rest + 2);
  return 0;
}

size_t ReplyDataLength(const uint8_t* reply) { return reply[1] > 3 ? reply[1] - 3u : 0u; }

RateCommand EncodeRate(int32_t rateUnits, bool lastPositive) {
  RateCommand cmd{};
  bool positive = lastPositive;
  if (rateUnits > 0) positive = true;
  if (rateUnits < 0) positive = false;
  cmd.id = positive ? kRatePositive : kRateNegative;

  // Magnitude in 64 bits so that the most negative rate has one too.
  int64_t magnitude = rateUnits < 0 ? -static_cast<int64_t>(rateUnits) : rateUnits;
  if (magnitude > kMaxRateUnits) magnitude = kMaxRateUnits;
  const uint32_t wire = static_cast<uint32_t>(magnitude) << 8;  // 1/1024 arc-second per second
  PackCount24(wire, cmd.data);
  return cmd;
}

bool Answers(const uint8_t* request, const uint8_t* reply) {
  return reply[2] == request[3] && reply[4] == request[4];
}

}  // namespace sidera::packet_bus
