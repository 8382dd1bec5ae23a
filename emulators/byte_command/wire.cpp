// The controller's command table and the request splitter.
#include "emulators/byte_command/wire.h"

namespace sidera::emulator::byte_command {

CommandInfo Lookup(uint8_t command) {
  switch (command) {
    case kReadPosition0:
    case kReadPosition1:
      return {true, 0, 3};
    case kGotoDoneQuery:
      return {true, 0, 1};
    case kStopGoto0:
    case kStopGoto1:
      return {true, 0, 0};
    case kGoto0:
    case kGoto1:
    case kRatePositive0:
    case kRatePositive1:
    case kRateNegative0:
    case kRateNegative1:
    case kPresetCount0:
    case kPresetCount1:
    case kSetCountsPerRevolution0:
    case kSetCountsPerRevolution1:
    case kOp14:
    case kSetPosition1:
      return {true, 3, 0};
    default:
      return {false, 0, 0};
  }
}

uint32_t Unpack24(const uint8_t* bytes) {
  return (static_cast<uint32_t>(bytes[0]) << 16) | (static_cast<uint32_t>(bytes[1]) << 8) |
         bytes[2];
}

void Pack24(uint32_t value, uint8_t* bytes) {
  bytes[0] = static_cast<uint8_t>(value >> 16);
  bytes[1] = static_cast<uint8_t>(value >> 8);
  bytes[2] = static_cast<uint8_t>(value);
}

std::vector<RawCommand> CommandSplitter::Feed(const uint8_t* bytes, size_t count) {
  std::vector<RawCommand> done;
  for (size_t i = 0; i < count; ++i) {
    partial_.push_back(bytes[i]);
    const size_t whole = 1 + static_cast<size_t>(Lookup(partial_[0]).argumentBytes);
    if (partial_.size() == whole) {
      done.push_back({partial_, true});
      partial_.clear();
    }
  }
  return done;
}

RawCommand CommandSplitter::Abandon() {
  RawCommand cut{partial_, false};
  partial_.clear();
  return cut;
}

}  // namespace sidera::emulator::byte_command
