// Where a reply reader takes its bytes from: the serial port in a driver, a
// byte string in tests and the fuzzers. The reply readers of all three
// wire families read through it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/serial_port.h"

namespace sidera {

// Read makes one read of at most `length` bytes and returns how many arrived
// (0: a time-out or a dead line).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual size_t Read(uint8_t* data, size_t length) = 0;
};

// The driver's source: the port, each read bounded by its time-outs.
class PortByteSource : public ByteSource {
 public:
  explicit PortByteSource(platform::SerialPort& port) : port_(port) {}
  size_t Read(uint8_t* data, size_t length) override {
    size_t got = 0;
    (void)port_.Read(data, length, &got);
    return got;
  }

 private:
  platform::SerialPort& port_;
};

}  // namespace sidera
