// Feeds arbitrary line bytes to the GPS reader's packet-bus reply reader,
// reply after reply, and the sound replies, six at a time, to the decoder
// of a complete read. The first input byte says after how many line bytes
// the reads come up short (a time-out in the middle of a reply). Checks: a
// reply is kept only whole, within the packet limit and with a right
// checksum; a decoded fix has its angles within half a turn and a time
// only when it is a real one.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "location/core/gps/bus_packet.h"

namespace {

namespace gps = location::gps;

void Require(bool condition) {
  if (!condition) std::abort();
}

// The line: its bytes in order, short from byte `cut` on.
class FuzzLine : public gps::ByteSource {
 public:
  FuzzLine(const uint8_t* data, size_t size, size_t cut) : data_(data), size_(size), cut_(cut) {}
  size_t Read(uint8_t* out, size_t length) override {
    size_t n = length < size_ - pos_ ? length : size_ - pos_;
    if (pos_ < cut_ && pos_ + n > cut_) n = cut_ - pos_;  // the time-out ends this read
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return n;
  }
  bool Done() const { return pos_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t cut_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzLine line(data + 1, size - 1, data[0]);
  std::vector<uint8_t> replies[gps::kBusStepCount];
  size_t sound = 0;
  while (!line.Done()) {
    std::vector<uint8_t> reply;
    if (!gps::ReadBusReply(line, reply)) {
      Require(reply.empty());
      continue;
    }
    Require(reply.size() >= 6 && reply[0] == gps::kPreamble && reply[1] >= 3 &&
            reply[1] <= gps::kMaxLength && reply.size() == reply[1] + 3u);
    Require(gps::ReplyIsSound(reply));
    replies[sound++ % gps::kBusStepCount] = std::move(reply);
    if (sound < gps::kBusStepCount) continue;
    const std::optional<gps::BusFix> fix = gps::DecodeBusFix(replies);
    if (!fix) continue;
    Require(std::isfinite(fix->latitude) && std::fabs(fix->latitude) <= 180);
    Require(std::isfinite(fix->longitude) && std::fabs(fix->longitude) <= 180);
    Require(fix->satellites >= -128 && fix->satellites <= 127);
    Require(!fix->utc || gps::IsValidGpsTime(*fix->utc));
  }
  return 0;
}
