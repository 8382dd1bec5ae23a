// Alignment records and saved pointing models to text and back.
#include "indi/library_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sidera::indi {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr char kDigits[] = "0123456789abcdef";

// Hexadecimal digits to bytes; false for an odd count or another character.
bool BytesOfHex(std::string_view text, std::vector<uint8_t>& bytes) {
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return true;
}

}  // namespace

std::string SavedAlignmentToText(const std::vector<uint8_t>& model,
                                 const std::vector<std::pair<double, double>>& places) {
  std::string text;
  for (uint8_t b : model) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  text += '/';
  char number[64];
  for (size_t i = 0; i < places.size(); ++i) {
    std::snprintf(number, sizeof number, "%s%.17g %.17g", i > 0 ? " " : "", places[i].first,
                  places[i].second);
    text += number;
  }
  return text;
}

std::optional<SavedAlignment> SavedAlignmentFromText(std::string_view text) {
  SavedAlignment saved;
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) {
    saved.record = RecordFromText(text);
    if (!saved.record) return std::nullopt;
    return saved;
  }
  if (slash == 0 || !BytesOfHex(text.substr(0, slash), saved.model)) return std::nullopt;
  // The places: pairs of finite numbers separated by single spaces.
  const std::string rest(text.substr(slash + 1));
  const char* at = rest.c_str();
  const char* const end = at + rest.size();
  std::vector<double> numbers;
  while (at < end) {
    if (!numbers.empty()) {
      if (*at != ' ') return std::nullopt;
      ++at;
    }
    char* after = nullptr;
    const double v = std::strtod(at, &after);
    // A place not known ("nan") is kept as such; no other number that is
    // not finite.
    if (after == at || std::isinf(v) || (*after != ' ' && *after != '\0')) return std::nullopt;
    numbers.push_back(v);
    at = after;
  }
  if (numbers.size() % 2 != 0) return std::nullopt;
  for (size_t i = 0; i < numbers.size(); i += 2)
    saved.places.emplace_back(numbers[i], numbers[i + 1]);
  return saved;
}

std::string RecordToText(const AlignmentRecord& record) {
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
