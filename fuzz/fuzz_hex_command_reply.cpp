// Feeds arbitrary line bytes to the hex-command number and status decoders,
// and to the line reader and the decoders on what it stores. Checks: a
// stored reply starts with a marker, ends at its first carriage return with
// a NUL after it, and nothing is written past it; a decoded number fits 24
// bits; the decoders never read past the NUL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/chunked_source.h"
#include "sidera/drivers/hex_command/hex_protocol.h"

namespace {

namespace f3 = sidera::hex_command;

// The reader asks for one byte a read; the source would hand out more.
using FuzzSource = ChunkedSource<sidera::ByteSource>;

// The decoders on the raw input as a stored reply would hold it (a marker
// first, a NUL last), whether or not it has a carriage return.
void DecodeRaw(const uint8_t* data, size_t size) {
  auto* line = static_cast<uint8_t*>(std::malloc(size + 2));
  if (line == nullptr) return;
  line[0] = f3::kMarkerDone;
  if (size > 0) std::memcpy(line + 1, data, size);
  line[size + 1] = 0;
  uint32_t value = 0;
  if (f3::DecodeHex24(line, &value) && value > 0xFFFFFF) std::abort();
  uint32_t state = 0;
  if (f3::DecodeStatus(line, &state) && (state & ~0x3Fu) != 0) std::abort();
  std::free(line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeRaw(data, size);
  constexpr uint8_t kCanary = 0xA5;
  uint8_t reply[f3::kReplyBufferSize + 8];
  std::memset(reply, kCanary, sizeof reply);
  FuzzSource source(data, size, size + 1);
  int markers = 0;
  if (f3::ReadLine(source, reply, [&markers] { ++markers; }) != 0) return 0;

  if (markers != 1) std::abort();
  if (reply[0] != f3::kMarkerDone && reply[0] != f3::kMarkerRefused) std::abort();
  // The line ends at its first carriage return, followed by the NUL.
  const void* cr = std::memchr(reply, f3::kCarriageReturn, f3::kMaxLineLength);
  if (cr == nullptr) std::abort();
  const size_t length = static_cast<const uint8_t*>(cr) - reply + 1;
  if (length < 2 || reply[length] != 0) std::abort();
  for (size_t i = length + 1; i < sizeof reply; ++i) {
    if (reply[i] != kCanary) std::abort();
  }

  // The decoders work on exactly the stored bytes: a copy in a buffer of
  // that size lets the address sanitizer catch any read past the NUL.
  auto* exact = static_cast<uint8_t*>(std::malloc(length + 1));  // with the NUL
  if (exact == nullptr) return 0;
  std::memcpy(exact, reply, length + 1);
  uint32_t value = 0;
  if (f3::DecodeHex24(exact, &value) && value > 0xFFFFFF) std::abort();
  uint32_t state = 0;
  if (f3::DecodeStatus(exact, &state) && (state & ~0x3Fu) != 0) std::abort();
  std::free(exact);
  return 0;
}
