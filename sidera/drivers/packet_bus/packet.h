// Packets of the packet-bus bus: two motor controllers (addresses 0x10 and
// 0x11) and the library (0x32) on one half-duplex line.
//
// A request is 3B, length (= data bytes + 3), source 0x32, destination,
// message id, data (big-endian), checksum (two's complement of the sum of
// the bytes from the length to the last data byte). A reply has the same
// layout; only its preamble and length are checked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sidera/link/byte_source.h"

namespace sidera::packet_bus {

inline constexpr uint8_t kPreamble = 0x3B;
inline constexpr uint8_t kHostAddress = 0x32;
inline constexpr size_t kMaxRequestData = 26;
inline constexpr size_t kMaxReplyLength = 29;
// Requests and replies both fit in 32 bytes (29 + 3 for a reply).
inline constexpr size_t kPacketBufferSize = 32;
// Offset of the first data byte in a request or reply.
inline constexpr size_t kDataOffset = 5;
// Bytes that may precede a reply (line noise, or zeros where the length
// should be) before the reader gives up, so that a line that never stops
// babbling cannot hold the link forever. About half a second at 19200 baud.
inline constexpr size_t kMaxSkippedBytes = 1024;

enum MessageId : uint8_t {
  kGetPosition = 0x01,
  kGotoFast = 0x02,
  kSetPosition = 0x04,
  kRatePositive = 0x06,
  kRateNegative = 0x07,
  kSetting10 = 0x10,
  kSetting11 = 0x11,
  kGotoDoneQuery = 0x13,
  kGotoSlow = 0x17,
  kSetApproach = 0xFD,
  kGetVersion = 0xFE,
};

// Bus address of an axis controller: 0x10 for axis 0, 0x11 for axis 1.
constexpr uint8_t AxisAddress(int axis) { return axis == 0 ? 0x10 : 0x11; }

// Writes the request into `out` (at least kPacketBufferSize bytes) and
// returns its size, data length + 6. Data is copied only when `data` is
// non-null and `length` nonzero; more than kMaxRequestData bytes is refused
// (result 0).
size_t BuildRequest(int axis, uint8_t id, const uint8_t* data, size_t length, uint8_t* out);

// The reply reader takes its bytes from a ByteSource (the port, or a byte
// string in tests and the fuzzer).
using sidera::ByteSource;

// Reads one reply: skips to the preamble, takes the first nonzero byte after
// it as the length (at most 29), then reads the rest of the packet and its
// checksum in one read. On success copies the whole packet (length + 3
// bytes) into `reply` when it is non-null and returns 0; otherwise returns 1.
int ReadReply(ByteSource& source, uint8_t* reply);

// Whether a stored reply answers a request: it comes from the controller
// the request went to and carries the request's message id. Any other
// packet is the late answer to an earlier request.
bool Answers(const uint8_t* request, const uint8_t* reply);

// Data bytes a stored reply carries (its length byte minus source,
// destination and id; 0 for a reply shorter than that).
size_t ReplyDataLength(const uint8_t* reply);

// A rate command: message id and its three data bytes.
struct RateCommand {
  uint8_t id;
  uint8_t data[3];
};

// The largest rate, in quarter arc-seconds per second, whose wire value
// (rate x 256) fits the 24 bits of the message.
inline constexpr int32_t kMaxRateUnits = 0xFFFF;

// The command for a rate of `rateUnits` quarter arc-seconds per second
// (signed). A positive rate goes out as RatePositive, a negative one as
// RateNegative with its magnitude, zero in the direction `lastPositive`
// remembers. Magnitudes beyond kMaxRateUnits are sent as kMaxRateUnits
// rather than as wrapped bits.
RateCommand EncodeRate(int32_t rateUnits, bool lastPositive);

}  // namespace sidera::packet_bus
