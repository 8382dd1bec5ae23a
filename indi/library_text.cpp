// Alignment records to text and back.
#include "indi/library_text.h"

#include <cstring>

namespace sidera::indi {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string RecordToText(const AlignmentRecord& record) {
  static const char kDigits[] = "0123456789abcdef";
  unsigned char bytes[sizeof record];
  std::memcpy(bytes, &record, sizeof record);
  std::string text;
  for (unsigned char b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  return text;
}

std::optional<AlignmentRecord> RecordFromText(std::string_view text) {
  AlignmentRecord record{};
  if (text.size() != 2 * sizeof record) return std::nullopt;
  unsigned char bytes[sizeof record];
  for (size_t i = 0; i < sizeof record; ++i) {
    const int high = HexDigit(text[2 * i]);
    const int low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<unsigned char>(high * 16 + low);
  }
  std::memcpy(&record, bytes, sizeof record);
  return record;
}

}  // namespace sidera::indi
