// Frames, numbers and replies of the hex-command controllers: one motor
// controller per axis on one line at 9600 baud, driven by short ASCII lines.
//
// A request is ":", a command letter, the axis digit ("1" for axis 0, "2"
// for axis 1), 0, 2 or 6 data characters and a carriage return. The
// controller answers with "=" (done) or "!" (refused), data characters and a
// carriage return; anything before the marker (the line's echo of the
// request, noise) is skipped. Numbers are 24-bit values written as six
// uppercase hex digits, least significant byte first: 0x123456 is "563412".
// Positions travel in offset binary (wire value - 0x800000 is the count).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "sidera/link/byte_source.h"

namespace sidera::hex_command {

inline constexpr uint8_t kRequestStart = ':';
inline constexpr uint8_t kMarkerDone = '=';
inline constexpr uint8_t kMarkerRefused = '!';
inline constexpr uint8_t kCarriageReturn = '\r';

// The longest request: ":", letter, axis digit, six digits, carriage return.
inline constexpr size_t kMaxRequestLength = 10;
// Longest reply line accepted, marker to carriage return inclusive. The
// protocol's own longest reply is 8 bytes (marker, six digits, CR); a longer
// line is read to its end, dropped and reported as no valid reply.
inline constexpr size_t kMaxLineLength = 16;
// A stored reply: the line and a terminating NUL.
inline constexpr size_t kReplyBufferSize = kMaxLineLength + 1;
// Bytes the reader skips before a marker, or drops after an overlong line,
// before it gives up: about one second of a babbling line at 9600 baud, so a
// line that never stops talking cannot hold the link lock for ever.
inline constexpr size_t kMaxDiscardedBytes = 1024;

// Offset of the positions on the wire: this value is count 0.
inline constexpr uint32_t kPositionOffset = 0x800000;

enum Command : char {
  kInquireVersion = 'e',
  kInquireCountsPerRevolution = 'a',
  kInquireTimerFrequency = 'b',
  kInquireHighSpeedRatio = 'g',
  kInquireSValue = 's',
  kInquirePosition = 'j',
  kInquireStatus = 'f',
  kInitializeAxis = 'F',
  kSetMotionMode = 'G',
  kSetGotoIncrement = 'H',
  kSetBrakeIncrement = 'M',
  kSetStepPeriod = 'I',
  kStartMotion = 'J',
  kStopMotion = 'K',
  kStopInstantly = 'L',
  kLoadPosition = 'E',
};

// Motion types of SetMotionMode.
inline constexpr char kLongGoto = '0';
inline constexpr char kSlowRate = '1';
inline constexpr char kShortGoto = '2';
inline constexpr char kFastRate = '3';

// Writes the request frame into `out` (at least kMaxRequestLength bytes)
// and returns its length, data length + 4. More than six data characters is
// refused (result 0).
size_t BuildFrame(int axis, char letter, const char* data, size_t dataLength, uint8_t* out);

// The six characters of `value`'s low 24 bits, low byte first, each byte as
// two uppercase hex digits (higher bits are dropped).
void EncodeHex24(uint32_t value, char out[6]);

// The two SetMotionMode characters: the motion type, then the direction
// ("0" positive, "1" negative), with 2 ORed into the direction's character
// code for a southern-hemisphere mount ("2" positive, "3" negative).
void EncodeMotionMode(char type, bool negative, bool southern, char out[2]);

// The number after the marker of a stored reply: two digits give the low
// byte; a carriage return right after them ends a one-byte value, otherwise
// two more give the middle byte, and again a carriage return ends it or two
// more give the high byte. Only "0"-"9" and "A"-"F" are digits; anything
// else where a digit is due makes the reply malformed (false, `value`
// untouched).
bool DecodeHex24(const uint8_t* reply, uint32_t* value);

// The controller's version from the decoded reply of the version query: its
// bytes reversed, so that the digits read in order as a hex number. The low
// byte is the controller's model code.
constexpr uint32_t FirmwareFromWire(uint32_t v) {
  return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

constexpr int32_t CountFromWire(uint32_t v) {
  return static_cast<int32_t>(v & 0xFFFFFF) - static_cast<int32_t>(kPositionOffset);
}

// Axis state flags of a status reply; the three characters after the marker
// are tested bit by bit on their character codes. First: bit 0 constant-rate
// mode (clear: goto), bit 1 negative direction, bit 2 high speed. Second:
// bit 0 running. Third: bit 0 initialised. A reply with fewer than three
// characters before its carriage return is malformed (false, `state`
// untouched): its missing characters would read as a stopped axis.
bool DecodeStatus(const uint8_t* reply, uint32_t* state);

// The line reader takes its bytes from a ByteSource (the port, or a byte
// string in tests and the fuzzer), one byte a read.
using sidera::ByteSource;

// Reads one reply line: skips bytes up to the first "=" or "!", calls
// `markerSeen` (when given; the driver lowers RTS there), then reads up to
// and including the carriage return. On success stores marker, data,
// carriage return and a NUL in `reply` (kReplyBufferSize bytes; may be null)
// and returns 0. Returns 1 when a read times out first, when the line is
// longer than kMaxLineLength (the rest of it is read and dropped), or when
// kMaxDiscardedBytes bytes pass without a marker or an end.
int ReadLine(ByteSource& source, uint8_t* reply, const std::function<void()>& markerSeen = nullptr);

// Whether a stored reply line can be the answer to a request with command
// `letter`: the inquiries (e, a, b, g, s, j, f) are answered with data,
// every other command without; a refusal ("!") answers anything. A line of
// the other kind is the late answer to an earlier request.
bool ReplyFits(char letter, const uint8_t* reply);

}  // namespace sidera::hex_command
