// Byte-command request building, the fixed-length reply reader and the decoders.
#include "sidera/drivers/byte_command/byte_command.h"

#include <cstring>

#include "sidera/link/count24.h"

namespace sidera::byte_command {

uint32_t ReplyLength(uint8_t command) {
  switch (command) {
    case AxisCommand(OpReadPosition, 0):
    case AxisCommand(OpReadPosition, 1):
      return 3;
    case OpGotoDoneQuery:
      return 1;
    default:
      return 0;
  }
}

size_t BuildRequest(uint8_t command, uint8_t* out) {
  out[0] = command;
  return 1;
}

size_t BuildRequest(uint8_t command, int32_t value, uint8_t* out) {
  out[0] = command;
  PackCount24(static_cast<uint32_t>(value), out + 1);
  return 4;
}

int ReadFixedReply(ByteSource& source, uint32_t length, uint8_t* reply, uint32_t* got) {
  if (got != nullptr) *got = 0;
  if (length == 0) return 0;
  if (length > kMaxReplyLength) length = kMaxReplyLength;
  // Cleared first, so that bytes which never arrived decode as zeros.
  uint8_t buffer[kMaxReplyLength] = {};
  const size_t arrived = source.Read(buffer, length);
  if (got != nullptr) *got = static_cast<uint32_t>(arrived);
  if (arrived == 0) return 1;
  if (reply != nullptr) std::memcpy(reply, buffer, length);
  return 0;
}

RateRequest EncodeRate(int32_t wireValue, bool lastNegative) {
  // Widened before the sign is taken off: the most negative value has no
  // positive int32 counterpart.
  const int64_t v = wireValue;
  const int64_t magnitude = v < 0 ? -v : v;
  const auto held = static_cast<int32_t>(magnitude > kMax24 ? kMax24 : magnitude);
  if (v > 0) return {OpRatePositive, held};
  if (v < 0) return {OpRateNegative, held};
  return {lastNegative ? OpRateNegative : OpRatePositive, 0};
}

}  // namespace sidera::byte_command
