// Parsing of the string table resource and safe formatting of its lines.
#include "location/core/string_table.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace location {

StringTable StringTable::Parse(std::string_view text) {
  StringTable table;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const size_t tab = line.find('\t');
    int id = 0;
    const auto [ptr, ec] = std::from_chars(line.data(), line.data() + line.size(), id);
    if (tab == std::string_view::npos || ec != std::errc() || ptr != line.data() + tab) continue;
    std::string value;
    for (size_t i = tab + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        const char next = line[++i];
        value += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
      } else {
        value += line[i];
      }
    }
    table.strings_[id] = std::move(value);
  }
  return table;
}

const std::string& StringTable::Get(int id) const {
  static const std::string kEmpty;
  const auto it = strings_.find(id);
  return it == strings_.end() ? kEmpty : it->second;
}

std::string FormatLine(std::string_view format, std::initializer_list<double> values) {
  std::string out;
  auto next = values.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    const char conversion = i + 1 < format.size() ? format[i + 1] : '\0';
    if (c != '%') {
      out += c;
    } else if (conversion == '%') {
      out += '%';
      ++i;
    } else if ((conversion == 'f' || conversion == 'd') && next != values.end()) {
      char buffer[64];
      const double value = *next++;
      if (conversion == 'f') {
        // Independent of the process locale, like the stored values.
        const auto result =
            std::to_chars(buffer, buffer + sizeof buffer - 1, value, std::chars_format::fixed, 6);
        *(result.ec == std::errc() ? result.ptr : buffer) = '\0';
      } else {
        const double whole = std::trunc(value);
        std::snprintf(
            buffer, sizeof buffer, "%lld",
            std::isfinite(whole) && std::fabs(whole) < 1e18 ? static_cast<long long>(whole) : 0LL);
      }
      out += buffer;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace location
