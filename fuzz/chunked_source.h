// The fuzzer's bytes as a port that hands out at most `chunk` bytes a read,
// so that replies split across reads, and reads cut short by a time-out, are
// covered. `Source` is the reader's byte-source interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

template <typename Source>
class ChunkedSource : public Source {
 public:
  ChunkedSource(const uint8_t* data, size_t size, size_t chunk)
      : data_(data), size_(size), chunk_(chunk) {}
  size_t Read(uint8_t* out, size_t length) override {
    size_t n = length < chunk_ ? length : chunk_;
    if (n > size_ - pos_) n = size_ - pos_;
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t chunk_;
  size_t pos_ = 0;
};
