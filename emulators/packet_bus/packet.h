// Frames of the packet-bus packet bus, as the controllers see them:
//   3B  length  source  destination  id  data...  checksum
// length counts source, destination, id and the data bytes; the checksum
// makes the sum of every byte from the length to the checksum 0 mod 256.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sidera::emulator::packet_bus {

inline constexpr uint8_t kPreamble = 0x3B;
inline constexpr uint8_t kHostAddress = 0x32;
inline constexpr uint8_t kAxisAddress[2] = {0x10, 0x11};
inline constexpr int kMinLength = 3;   // source, destination, id: no data
inline constexpr int kMaxLength = 29;  // 26 data bytes

// Controller address -> axis 0 or 1, anything else -> -1.
int AxisOfAddress(uint8_t address);

// The checksum byte for a frame whose bytes from the length byte onwards
// (checksum excluded) are [first, first + count).
uint8_t Checksum(const uint8_t* first, size_t count);

// A whole reply frame from `axis` to the host.
std::vector<uint8_t> BuildReply(int axis, uint8_t id, const std::vector<uint8_t>& data);

// 24-bit values travel most significant byte first; positions are signed.
uint32_t Unpack24(const uint8_t* bytes);
int32_t SignExtend24(uint32_t value);
void Pack24(int32_t value, uint8_t* bytes);

// One frame taken off the line. `bytes` is everything from the preamble on.
// A frame whose length byte is out of range ends right after that byte; a
// frame cut off by a pause on the line is incomplete.
struct RawFrame {
  std::vector<uint8_t> bytes;
  bool lengthOk = false;
  bool complete = false;
  bool checksumOk = false;
  bool Valid() const { return lengthOk && complete && checksumOk; }
};

// Splits the incoming byte stream into frames. Bytes before a preamble are
// line noise and are dropped.
class FrameSplitter {
 public:
  // Appends bytes and returns every frame they complete, in order.
  std::vector<RawFrame> Feed(const uint8_t* bytes, size_t count);
  // True while a frame has started but not yet ended.
  bool Pending() const { return !partial_.empty(); }
  // Gives up on the frame in progress (the sender went quiet mid-frame) and
  // returns it as an incomplete frame.
  RawFrame Abandon();

 private:
  std::vector<uint8_t> partial_;
};

}  // namespace sidera::emulator::packet_bus
