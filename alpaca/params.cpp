// Alpaca request parameters, parsed by the HTTP library's form decoder.
#include "alpaca/params.h"

#include <httplib.h>

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

}  // namespace

Params Params::FromFormText(const std::string& text) {
  httplib::Params decoded;
  httplib::detail::parse_query_text(text, decoded);
  Params p;
  for (const auto& [name, value] : decoded) p.values_.emplace(Lower(name), value);
  return p;
}

bool Params::Has(std::string_view name) const { return values_.count(Lower(name)) != 0; }

const std::string& Params::Text(std::string_view name) const {
  auto it = values_.find(Lower(name));
  if (it == values_.end()) throw BadRequest("missing parameter " + std::string(name));
  return it->second;
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
  auto it = values_.find(Lower(name));
  if (it == values_.end() || it->second.empty()) return 0;
  const std::string& text = it->second;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || errno != 0 || v > UINT32_MAX || text[0] == '-') {
    return 0;
  }
  return static_cast<uint32_t>(v);
}

}  // namespace sidera::alpaca
