// UTF-16 to UTF-8, device paths to serial-port patterns, alignment records to text.
#include "indi/library_text.h"

#include <cstring>

namespace sidera::indi {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string EscapePercent(std::string_view text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Utf8Of(const SideraChar16* text) {
  std::string out;
  if (text == nullptr) return out;
  for (const SideraChar16* p = text; *p != 0; ++p) {
    const char32_t unit = *p;
    if (unit >= 0xD800 && unit <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (char32_t{p[1]} - 0xDC00));
      ++p;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::optional<PortSetting> PortSettingFor(std::string_view devicePath) {
  if (devicePath.empty()) return std::nullopt;
  size_t digits = devicePath.size();
  while (digits > 0 && devicePath[digits - 1] >= '0' && devicePath[digits - 1] <= '9') --digits;
  const std::string_view number = devicePath.substr(digits);
  const bool usable = !number.empty() && number.size() <= 3 &&
                      (number.size() == 1 || number[0] != '0') &&
                      std::stoi(std::string(number)) <= 255;
  if (!usable) return PortSetting{EscapePercent(devicePath), 0};
  return PortSetting{EscapePercent(devicePath.substr(0, digits)) + "%d",
                     std::stoi(std::string(number))};
}

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
