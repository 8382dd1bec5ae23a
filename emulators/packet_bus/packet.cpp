// Frames of the packet bus as the emulated controllers read and write them.

#include "emulators/packet_bus/packet.h"

namespace sidera::emulator::packet_bus {

int AxisOfAddress(uint8_t address) {
  for (int axis = 0; axis < 2; ++axis) {
    if (address == kAxisAddress[axis]) return axis;
  }
  return -1;
}

uint8_t Checksum(const uint8_t* first, size_t count) {
  unsigned sum = 0;
  for (size_t i = 0; i < count; ++i) sum += first[i];
  return static_cast<uint8_t>(0x100u - (sum & 0xFFu));
}

std::vector<uint8_t> BuildReply(int axis, uint8_t id, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> frame;
  frame.reserve(data.size() + 6);
  frame.push_back(kPreamble);
  frame.push_back(static_cast<uint8_t>(data.size() + 3));
  frame.push_back(kAxisAddress[axis]);
  frame.push_back(kHostAddress);
  frame.push_back(id);
  for (uint8_t byte : data) frame.push_back(byte);
  frame.push_back(Checksum(frame.data() + 1, frame.size() - 1));
  return frame;
}

uint32_t Unpack24(const uint8_t* bytes) {
  return (static_cast<uint32_t>(bytes[0]) << 16) | (static_cast<uint32_t>(bytes[1]) << 8) |
         bytes[2];
}

int32_t SignExtend24(uint32_t value) {
  return static_cast<int32_t>((value ^ 0x800000u) & 0xFFFFFFu) - 0x800000;
}

void Pack24(int32_t value, uint8_t* bytes) {
  const auto bits = static_cast<uint32_t>(value);
  bytes[0] = static_cast<uint8_t>(bits >> 16);
  bytes[1] = static_cast<uint8_t>(bits >> 8);
  bytes[2] = static_cast<uint8_t>(bits);
}

std::vector<RawFrame> FrameSplitter::Feed(const uint8_t* bytes, size_t count) {
  std::vector<RawFrame> frames;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = bytes[i];
    if (partial_.empty()) {
      if (byte == kPreamble) partial_.push_back(byte);
      continue;
    }
    partial_.push_back(byte);
    if (partial_.size() == 2) {
      if (byte < kMinLength || byte > kMaxLength) {
        // Nothing sensible can follow; the length byte itself may be the
        // preamble of the next frame, so scanning resumes with it.
        frames.push_back(RawFrame{{kPreamble, byte}, false, false, false});
        partial_.clear();
        if (byte == kPreamble) partial_.push_back(byte);
      }
      continue;
    }
    const size_t total = static_cast<size_t>(partial_[1]) + 3;
    if (partial_.size() == total) {
      RawFrame frame;
      frame.bytes = std::move(partial_);
      partial_.clear();
      frame.lengthOk = true;
      frame.complete = true;
      frame.checksumOk = Checksum(frame.bytes.data() + 1, total - 2) == frame.bytes.back();
      frames.push_back(std::move(frame));
    }
  }
  return frames;
}

RawFrame FrameSplitter::Abandon() {
  RawFrame frame;
  frame.lengthOk = partial_.size() >= 2;
  frame.bytes = std::move(partial_);
  partial_.clear();
  return frame;
}

}  // namespace sidera::emulator::packet_bus
