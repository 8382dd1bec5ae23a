// A reply source for the readers' tests: hands out a fixed byte string, as
// many bytes a read as are asked for, then times out (reads return 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sidera/link/byte_source.h"

namespace sidera {

class StringSource : public ByteSource {
 public:
  explicit StringSource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  explicit StringSource(const std::string& text) : bytes_(text.begin(), text.end()) {}
  size_t Read(uint8_t* data, size_t length) override {
    size_t n = 0;
    while (n < length && pos_ < bytes_.size()) data[n++] = bytes_[pos_++];
    return n;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t pos_ = 0;
};

}  // namespace sidera
