// The 24-bit number of the packet-bus and byte-command wires: three bytes,
// most significant first. Counts and rates travel in it; higher bits are
// dropped on the way out.
#pragma once

#include <cstdint>

namespace sidera {

// Bits 16..23, 8..15 and 0..7 of `value` into out[0..2].
constexpr void PackCount24(uint32_t value, uint8_t* out) {
  out[0] = static_cast<uint8_t>((value >> 16) & 0xFF);
  out[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
  out[2] = static_cast<uint8_t>(value & 0xFF);
}

// The unsigned value of three bytes.
constexpr uint32_t UnpackCount24(const uint8_t* bytes) {
  return (static_cast<uint32_t>(bytes[0]) << 16) | (static_cast<uint32_t>(bytes[1]) << 8) |
         static_cast<uint32_t>(bytes[2]);
}

// The signed value of three bytes (bit 23 is the sign).
constexpr int32_t UnpackSignedCount24(const uint8_t* bytes) {
  uint32_t v = UnpackCount24(bytes);
  if ((v & 0x800000u) != 0) v |= 0xFF000000u;
  return static_cast<int32_t>(v);
}

}  // namespace sidera
