// Feeds arbitrary line bytes to the byte-command reply reader and through
// it to the driver's decoders. The first input byte is the command whose
// reply is read (its length follows from the command), the second how many
// bytes the one port read may deliver at most (a reply cut short by a
// time-out). Checks: nothing beyond the expected length is written; a read
// fails only when no byte came; a position decodes to a finite angle in
// [-pi, pi] whatever the count and the frame shift.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/chunked_source.h"
#include "sidera/core/angles.h"
#include "sidera/drivers/byte_command/byte_command.h"
#include "sidera/drivers/byte_command/byte_command_mount.h"
#include "sidera/link/count24.h"

namespace {

using FuzzSource = ChunkedSource<sidera::byte_command::ByteSource>;

// The family base with the line replaced by the fuzzer's bytes.
class FuzzLine : public sidera::ByteCommandMount {
 public:
  FuzzLine() { SetGearing(726559); }
  sidera::LineResult Write(const uint8_t* bytes, uint32_t length) override {
    (void)ByteCommandMount::Write(bytes, length);  // notes the reply length
    return sidera::LineResult::kOk;
  }
  sidera::LineResult ReadReply(uint8_t* reply) override {
    return sidera::byte_command::ReadFixedReply(*source, expectedReplyLength, reply) == 0
               ? sidera::LineResult::kOk
               : sidera::LineResult::kFailed;
  }
  sidera::byte_command::ByteSource* source = nullptr;
};

FuzzLine& Line() {
  static FuzzLine* line = [] {
    setenv("SIDERA_SERIAL_PATTERN", "/nonexistent/sidera-fuzz-%d", 1);  // no port behind
    return new FuzzLine();
  }();
  return *line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t command = data[0];
  const size_t chunk = data[1] % 4;  // 0: the read times out at once
  const uint32_t length = sidera::byte_command::ReplyLength(command);

  constexpr uint8_t kCanary = 0xA5;
  uint8_t reply[sidera::byte_command::kMaxReplyLength + 8];
  std::memset(reply, kCanary, sizeof reply);
  FuzzSource source(data + 2, size - 2, chunk);
  const int r = sidera::byte_command::ReadFixedReply(source, length, reply);
  const bool anyByte = chunk > 0 && size > 2;
  if ((r == 0) != (length == 0 || anyByte)) std::abort();
  for (size_t i = (r == 0 ? length : 0); i < sizeof reply; ++i) {
    if (reply[i] != kCanary) std::abort();
  }
  if (r == 0 && length == 3 && sidera::UnpackCount24(reply) > sidera::byte_command::kMax24) {
    std::abort();
  }

  // The same bytes as a position reply of axis 0 in a shifted frame.
  FuzzLine& line = Line();
  FuzzSource again(data + 2, size - 2, chunk);
  line.source = &again;
  line.azimuthOffset = (command - 128) * 0.1;
  if (line.ReadAxisPosition(command & 1) == 0) {
    const double a = line.Axes().Position(command & 1);
    if (!std::isfinite(a) || a < -sidera::kPi || a > sidera::kPi) std::abort();
  }
  return 0;
}
