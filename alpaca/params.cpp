// Alpaca request parameters: form decoding, the two name rules, the readers.
#include "alpaca/params.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "alpaca/alpaca_errors.h"

namespace sidera::alpaca {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string FormDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      code = c & 0x07;
    } else {
      return false;  // a continuation byte first, C0/C1 (overlong) or F5..FF
    }
    if (i + length > n) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (s[i + k] & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

Params Params::FromFormText(std::string_view text, Names names) {
  Params p;
  p.names_ = names;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find('&', begin);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view pair = text.substr(begin, end - begin);
    if (!pair.empty()) {
      const size_t eq = pair.find('=');
      std::string name = FormDecode(pair.substr(0, eq));
      std::string value = eq == std::string_view::npos ? "" : FormDecode(pair.substr(eq + 1));
      if (!IsValidUtf8(name) || !IsValidUtf8(value)) {
        throw BadRequest("a parameter name or value is not valid UTF-8 text");
      }
      p.values_.emplace(p.Key(name), std::move(value));
    }
    begin = end + 1;
  }
  return p;
}

std::string Params::Key(std::string_view name) const {
  return names_ == Names::kAnyCase ? Lower(name) : std::string(name);
}

const std::string* Params::Find(std::string_view name) const {
  auto it = values_.find(Key(name));
  return it == values_.end() ? nullptr : &it->second;
}

bool Params::Has(std::string_view name) const { return Find(name) != nullptr; }

const std::string& Params::Text(std::string_view name) const {
  const std::string* v = Find(name);
  if (v == nullptr) throw BadRequest("missing parameter " + std::string(name));
  return *v;
}

double Params::Number(std::string_view name) const {
  const std::string& text = Text(name);
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(begin, &end);
  // strtod also reads hexadecimal numbers; Alpaca numbers are decimal.
  const bool hex = text.find_first_of("xX") != std::string::npos;
  if (text.empty() || end != begin + text.size() || hex || std::isspace(text[0])) {
    throw BadRequest("parameter " + std::string(name) + " is \"" + text + "\", not a number");
  }
  return v;  // out-of-range values (ERANGE) come back as the infinities or 0
}

int Params::Integer(std::string_view name) const {
  const std::string& text = Text(name);
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(begin, &end, 10);
  if (text.empty() || end != begin + text.size() || errno != 0 || std::isspace(text[0]) ||
      v < INT32_MIN || v > INT32_MAX) {
    throw BadRequest("parameter " + std::string(name) + " is \"" + text + "\", not a whole number");
  }
  return static_cast<int>(v);
}

bool Params::Bool(std::string_view name) const {
  const std::string v = Lower(Text(name));
  if (v == "true") return true;
  if (v == "false") return false;
  throw BadRequest("parameter " + std::string(name) + " is \"" + Text(name) +
                   "\", not True or False");
}

uint32_t Params::ClientNumber(std::string_view name) const {
  const std::string* found = Find(name);
  if (found == nullptr || found->empty()) return 0;
  const std::string& text = *found;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || errno != 0 || v > UINT32_MAX || text[0] == '-') {
    return 0;
  }
  return static_cast<uint32_t>(v);
}

}  // namespace sidera::alpaca
