// Line noise an emulator plays around its replies: arbitrary bytes from a
// fixed-seed generator, so a failing test sees the same noise again.
// Serving thread only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace sidera::emulator {

class LineNoise {
 public:
  static constexpr int kMaxBytes = 4096;  // per reply, whatever the options ask

  explicit LineNoise(uint32_t seed) : state_(seed) {}

  // `count` bytes (within [0, kMaxBytes]); a byte in `avoid` (one that would
  // start a reply) becomes `instead`, so the reply is still the first the
  // reader finds.
  std::vector<uint8_t> Bytes(int count, std::initializer_list<uint8_t> avoid = {},
                             uint8_t instead = 0) {
    std::vector<uint8_t> noise;
    for (int i = 0; i < std::clamp(count, 0, kMaxBytes); ++i) {
      state_ = state_ * 1664525u + 1013904223u;  // the classic LCG; its top byte is the noise
      auto byte = static_cast<uint8_t>(state_ >> 24);
      if (std::find(avoid.begin(), avoid.end(), byte) != avoid.end()) byte = instead;
      noise.push_back(byte);
    }
    return noise;
  }

 private:
  uint32_t state_;
};

}  // namespace sidera::emulator
