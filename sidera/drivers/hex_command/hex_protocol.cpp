// Encoding and decoding of the hex-command lines: request frames, the
// six-digit numbers, status characters and the reply line reader.
#include "sidera/drivers/hex_command/hex_protocol.h"

#include <cstring>

namespace sidera::hex_command {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Value of an uppercase hex digit, or -1.
int DigitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One byte from two digits at `p`; false when either is not a digit.
bool DecodeByte(const uint8_t* p, uint32_t* out) {
  const int high = DigitValue(p[0]);
  if (high < 0) return false;
  const int low = DigitValue(p[1]);
  if (low < 0) return false;
  *out = static_cast<uint32_t>(high * 16 + low);
  return true;
}

}  // namespace

size_t BuildFrame(int axis, char letter, const char* data, size_t dataLength, uint8_t* out) {
  if (dataLength > 6) return 0;
  size_t n = 0;
  out[n++] = kRequestStart;
  out[n++] = static_cast<uint8_t>(letter);
  out[n++] = axis == 0 ? '1' : '2';
  if (dataLength > 0) std::memcpy(out + n, data, dataLength);
  n += dataLength;
  out[n++] = kCarriageReturn;
  return n;
}

void EncodeHex24(uint32_t value, char out[6]) {
  for (int byte = 0; byte < 3; ++byte) {
    const uint32_t b = (value >> (8 * byte)) & 0xFF;
    out[2 * byte] = kHexDigits[b >> 4];
    out[2 * byte + 1] = kHexDigits[b & 0xF];
  }
}

void EncodeMotionMode(char type, bool negative, bool southern, char out[2]) {
  char direction = negative ? '1' : '0';
  if (southern) direction = static_cast<char>(direction | 2);
  out[0] = type;
  out[1] = direction;
}

bool DecodeHex24(const uint8_t* reply, uint32_t* value) {
  const uint8_t* p = reply + 1;  // after the marker
  uint32_t result = 0;
  for (int byte = 0; byte < 3; ++byte) {
    // A stored reply always ends in a carriage return (or, for arbitrary
    // input, a NUL): both stop the decoding before it can run past the end.
    if (byte > 0 && *p == kCarriageReturn) break;
    uint32_t b = 0;
    if (!DecodeByte(p, &b)) return false;
    result |= b << (8 * byte);
    p += 2;
  }
  *value = result;
  return true;
}

bool DecodeStatus(const uint8_t* reply, uint32_t* state) {
  const uint8_t* c = reply + 1;
  for (int i = 0; i < 3; ++i) {
    if (c[i] == kCarriageReturn || c[i] == 0) return false;
  }
  uint32_t s = 0;
  if ((c[1] & 1) != 0) {
    s = (c[0] & 1) != 0 ? 2u : 4u;  // running: constant rate or goto
  } else {
    s = 1u;  // stopped
  }
  if ((c[0] & 2) == 0) s |= 8u;   // positive direction
  if ((c[0] & 4) != 0) s |= 16u;  // high speed
  if ((c[2] & 1) == 0) s |= 32u;  // not initialised
  *state = s;
  return true;
}

int ReadLine(ByteSource& source, uint8_t* reply, const std::function<void()>& markerSeen) {
  uint8_t line[kReplyBufferSize];
  size_t length = 0;
  size_t discarded = 0;
  uint8_t byte = 0;
  const auto readByte = [&] { return source.Read(&byte, 1) == 1; };

  // Everything before the marker is dropped.
  for (;;) {
    if (!readByte()) return 1;
    if (byte == kMarkerDone || byte == kMarkerRefused) break;
    if (++discarded >= kMaxDiscardedBytes) return 1;
  }
  if (markerSeen) markerSeen();
  line[length++] = byte;

  bool overlong = false;
  while (byte != kCarriageReturn) {
    if (!readByte()) return 1;
    if (overlong) {
      if (++discarded >= kMaxDiscardedBytes) return 1;
      continue;
    }
    if (length == kMaxLineLength) {
      overlong = true;  // read the rest of the line, then fail
      continue;
    }
    line[length++] = byte;
  }
  if (overlong) return 1;
  line[length++] = 0;
  if (reply != nullptr) std::memcpy(reply, line, length);
  return 0;
}

bool ReplyFits(char letter, const uint8_t* reply) {
  if (reply[0] == kMarkerRefused) return true;
  size_t data = 0;
  while (data + 1 < kMaxLineLength && reply[1 + data] != kCarriageReturn && reply[1 + data] != 0) {
    ++data;
  }
  switch (letter) {
    case kInquireVersion:
    case kInquireCountsPerRevolution:
    case kInquireTimerFrequency:
    case kInquireHighSpeedRatio:
    case kInquireSValue:
    case kInquirePosition:
    case kInquireStatus:
      return data > 0;
    default:
      return data == 0;
  }
}

}  // namespace sidera::hex_command
