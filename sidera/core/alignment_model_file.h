// The pointing model with its stars as bytes, for a host to keep in a file.
//
// Version 1, little-endian, doubles in IEEE 754 binary64:
//   0   8  "SIDERAPM"
//   8   4  version (1)
//   12  4  mountType
//   16  4  number of stars N
//   20  4  flags: 1 aligned, 2 local correction set
//   24  4  alignmentQuality
//   28  4  fitted terms, bit t for term t (alignment_stars.h)
//   32  296 doubles: skyToAxes[9], axesToSky[9], axis-1 index, collimation,
//          non-perpendicularity, tube flexure, axis flexure, local correction
//          (axis 0, axis 1, direction x, y, z), alignmentResidual, terms[8]
//   328 48*N  stars: hour angle, declination, axis 0, axis 1, residual
//          (doubles), used (4 bytes: 0 or 1), 4 bytes 0
//   end 4  CRC-32 (IEEE 802.3) of every byte before it
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sidera/core/types.h"

namespace sidera {

class TelescopeMount;

inline constexpr uint32_t kAlignmentModelVersion = 1;

// The model's bytes. The caller holds the model's lock.
std::vector<uint8_t> EncodeAlignmentModel(const TelescopeMount& mount);

// Loads `data` into the mount after checking all of it; on failure returns
// kBadAlignmentData with the model unchanged and `reason` set (a static
// text). The caller holds the model's lock.
MountResult DecodeAlignmentModel(TelescopeMount& mount, const uint8_t* data, std::size_t size,
                                 const char** reason);

// CRC-32 (IEEE 802.3, reflected, as zlib's crc32).
uint32_t Crc32(const uint8_t* data, std::size_t size);

}  // namespace sidera
