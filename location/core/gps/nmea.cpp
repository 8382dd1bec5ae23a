// NMEA sentence assembly, checksum check and the sentence address.
#include "location/core/gps/nmea.h"

namespace location::gps {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsPrintable(char c) { return c >= 0x20 && c <= 0x7E; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

std::optional<Sentence> SentenceAssembler::Finish(bool checksumPresent) {
  state_ = State::kIdle;
  if (checksumPresent) {
    uint8_t sum = 0;
    for (const char c : body_) sum ^= static_cast<uint8_t>(c);
    if (HexValue(checksum_[0]) * 16 + HexValue(checksum_[1]) != sum) return std::nullopt;
  }
  return Sentence{std::move(body_), checksumPresent};
}

std::optional<Sentence> SentenceAssembler::Feed(uint8_t byte) {
  const char c = static_cast<char>(byte);
  if (c == '$') {
    state_ = State::kBody;
    body_.clear();
    checksum_.clear();
    return std::nullopt;
  }
  switch (state_) {
    case State::kIdle:
      return std::nullopt;
    case State::kBody:
      if (c == '*') {
        state_ = State::kChecksum;
      } else if (c == '\r' || c == '\n') {
        return Finish(false);
      } else if (body_.size() >= kCapacity || !IsPrintable(c)) {
        state_ = State::kIdle;  // overlong or corrupted: dropped whole
        body_.clear();
      } else {
        body_ += c;
      }
      return std::nullopt;
    case State::kChecksum:
      if (HexValue(c) >= 0) {
        checksum_ += c;
        return checksum_.size() == 2 ? Finish(true) : std::nullopt;
      }
      if (checksum_.empty() && (c == '\r' || c == '\n')) return Finish(false);
      state_ = State::kIdle;  // a broken checksum field
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<Address> SplitAddress(std::string_view body) {
  if (body.size() < 5 || body[0] == 'P') return std::nullopt;
  for (size_t i = 0; i < 5; ++i) {
    if (!IsUpper(body[i])) return std::nullopt;
  }
  if (body.size() > 5 && body[5] != ',') return std::nullopt;
  return Address{body.substr(0, 2), body.substr(2, 3),
                 body.size() > 5 ? body.substr(6) : std::string_view()};
}

}  // namespace location::gps
