// The byte-command controller's command set as it reads it off the line: which
// bytes are commands, how many argument bytes follow, and how many bytes it
// answers with. Requests are unframed, so the stream is split by this table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sidera::emulator::byte_command {

enum Command : uint8_t {
  kReadPosition0 = 1,
  kGoto0 = 2,
  kStopGoto0 = 5,
  kRatePositive0 = 6,
  kRateNegative0 = 7,
  kPresetCount0 = 10,
  kSetCountsPerRevolution0 = 12,
  kGotoDoneQuery = 13,
  kOp14 = 14,
  kReadPosition1 = 21,
  kGoto1 = 22,
  kSetPosition1 = 24,
  kStopGoto1 = 25,
  kRatePositive1 = 26,
  kRateNegative1 = 27,
  kPresetCount1 = 30,
  kSetCountsPerRevolution1 = 32,
};

inline constexpr uint8_t kGotoDone = 0xFF;
inline constexpr uint8_t kGotoMoving = 0x00;

struct CommandInfo {
  bool known;
  int argumentBytes;  // 0 or 3
  int replyBytes;     // 0, 1 or 3
};
// An unknown byte is one byte long, without argument or reply.
CommandInfo Lookup(uint8_t command);

// 24-bit values, most significant byte first.
uint32_t Unpack24(const uint8_t* bytes);
void Pack24(uint32_t value, uint8_t* bytes);

// One request as taken off the line.
struct RawCommand {
  std::vector<uint8_t> bytes;
  bool complete = false;  // false: the sender went quiet inside the argument
};

// Splits the incoming byte stream into requests by the command table.
class CommandSplitter {
 public:
  // Appends bytes and returns every request they complete, in order.
  std::vector<RawCommand> Feed(const uint8_t* bytes, size_t count);
  // True while a request has started but its argument is not complete.
  bool Pending() const { return !partial_.empty(); }
  // Gives up on the request in progress and returns it, incomplete.
  RawCommand Abandon();

 private:
  std::vector<uint8_t> partial_;
};

}  // namespace sidera::emulator::byte_command
