// Feeds arbitrary line bytes to the packet-bus reply reader. The first input
// byte chooses how many bytes one port read may deliver at most, so that
// replies split across reads and reads cut short by a time-out are covered.
// Checks: a reply is stored only as preamble + length + length + 1 bytes,
// never beyond, and the position decoder accepts whatever it carries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/chunked_source.h"
#include "sidera/drivers/packet_bus/packet.h"
#include "sidera/link/count24.h"

namespace {

using FuzzSource = ChunkedSource<sidera::packet_bus::ByteSource>;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t chunk = static_cast<size_t>(data[0] % 40) + 1;
  FuzzSource source(data + 1, size - 1, chunk);

  constexpr uint8_t kCanary = 0xA5;
  uint8_t reply[sidera::packet_bus::kPacketBufferSize + 8];
  std::memset(reply, kCanary, sizeof reply);
  if (sidera::packet_bus::ReadReply(source, reply) != 0) return 0;

  const size_t length = reply[1];
  if (reply[0] != sidera::packet_bus::kPreamble || length == 0 ||
      length > sidera::packet_bus::kMaxReplyLength) {
    std::abort();
  }
  // Nothing beyond the stored packet may change.
  for (size_t i = length + 3; i < sizeof reply; ++i) {
    if (reply[i] != kCanary) std::abort();
  }
  if (sidera::packet_bus::ReplyDataLength(reply) >= 3) {
    const int32_t count = sidera::UnpackSignedCount24(reply + sidera::packet_bus::kDataOffset);
    if (count < -0x800000 || count > 0x7FFFFF) std::abort();
  }
  return 0;
}
