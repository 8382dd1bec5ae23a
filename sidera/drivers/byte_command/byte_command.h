// Requests and replies of the byte-command controller: one controller for both
// axes on a point-to-point line at 4800 baud.
//
// A request is one command byte, or the command byte and a 24-bit value,
// most significant byte first. Most commands exist once per axis; the axis-1
// byte is the axis-0 byte plus 20. A reply, when the command has one, is a
// fixed number of raw bytes (no framing, no checksum), so the reader must
// know the length in advance: it follows from the command byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sidera/link/byte_source.h"

namespace sidera::byte_command {

// Command bytes of axis 0 (AxisCommand gives the axis-1 byte).
enum ByteCommand : uint8_t {
  OpReadPosition = 1,             // reply: 3-byte unsigned position count
  OpGoto = 2,                     // argument: target count
  OpStopGoto = 5,                 //
  OpRatePositive = 6,             // argument: rate wire value
  OpRateNegative = 7,             // argument: magnitude of the rate wire value
  OpPresetCount = 10,             // argument: position count
  OpSetCountsPerRevolution = 12,  // argument: counts per revolution
  OpGotoDoneQuery = 13,           // axis 0 only; reply: 1 byte, 0xFF = finished
  OpTwoDegreeCount = 14,          // axis 0 only; argument: a count
  OpSetPositionAxis1 = 24,        // axis 1 only; argument: position count
};

inline constexpr uint8_t kAxis1CommandOffset = 20;
inline constexpr size_t kMaxRequestLength = 4;
inline constexpr size_t kMaxReplyLength = 3;
// A position read's reply: a 24-bit count.
inline constexpr uint32_t kPositionReplyLength = 3;
// The wire value of a rate or a count has 24 bits.
inline constexpr uint32_t kMax24 = 0xFFFFFF;
// The goto-done query's answer for a finished goto.
inline constexpr uint8_t kGotoFinished = 0xFF;

// The command byte of `command` for `axis`.
constexpr uint8_t AxisCommand(ByteCommand command, int axis) {
  return static_cast<uint8_t>(axis == 0 ? command : command + kAxis1CommandOffset);
}

// Reply bytes the controller sends for a command byte: 3 for a position
// read, 1 for the goto-done query, 0 for everything else.
uint32_t ReplyLength(uint8_t command);

// A request without argument: writes 1 byte and returns 1.
size_t BuildRequest(uint8_t command, uint8_t* out);
// A request with the low 24 bits of `value`: writes 4 bytes and returns 4.
size_t BuildRequest(uint8_t command, int32_t value, uint8_t* out);

// The reply reader takes its bytes from a ByteSource (the port, or a byte
// string in tests and the fuzzer).
using sidera::ByteSource;

// Reads a reply of `length` bytes (at most kMaxReplyLength) in one read.
// Length 0 succeeds without reading. A reply of which no byte arrived fails
// (1); one cut short is accepted, the missing bytes read as zero. On success
// the `length` bytes are copied into `reply` when it is non-null; 0. `got`,
// when given, receives the number of bytes that arrived.
int ReadFixedReply(ByteSource& source, uint32_t length, uint8_t* reply, uint32_t* got = nullptr);

// A rate wire value as it goes out: the command (positive or negative) and
// the magnitude, held at kMax24 rather than wrapped into fewer bits. A zero
// rate goes out with the negative command when `lastNegative` is set.
struct RateRequest {
  ByteCommand command;
  int32_t magnitude;
};
RateRequest EncodeRate(int32_t wireValue, bool lastNegative);

}  // namespace sidera::byte_command
