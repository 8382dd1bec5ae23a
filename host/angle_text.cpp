// Angles as people type them.
#include "host/angle_text.h"

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace sidera::host {

std::optional<double> ReadSexagesimal(std::string text) {
  // One pass that copies, marks turned into spaces (GCC 12 at -O3 warns of an
  // overlapping copy in an in-place replace loop here).
  std::string spaced;
  spaced.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    bool marked = false;
    for (const char* mark : {"\u00b0", "\u2032", "\u2033", "h", "m", "s", ":", "'", "\"", "d"}) {
      const size_t n = strlen(mark);
      if (text.compare(i, n, mark) == 0) {
        spaced += ' ';
        i += n;
        marked = true;
        break;
      }
    }
    if (!marked) spaced += text[i++];
  }
  text = std::move(spaced);
  std::vector<double> parts;
  size_t at = 0;
  bool negative = false;
  while (at < text.size()) {
    while (at < text.size() && text[at] == ' ') ++at;
    if (at >= text.size()) break;
    const std::string rest = text.substr(at);
    size_t used = 0;
    double v = 0;
    try {
      v = std::stod(rest, &used);
    } catch (const std::exception&) {
      return std::nullopt;
    }
    if (parts.empty() && (rest[0] == '-')) negative = true;
    if (!std::isfinite(v) || (!parts.empty() && (v < 0 || v >= 60))) return std::nullopt;
    parts.push_back(std::fabs(v));
    at += used;
  }
  if (parts.empty() || parts.size() > 3) return std::nullopt;
  double value = 0;
  for (size_t i = 0; i < parts.size(); ++i)
    value += parts[i] / std::pow(60.0, static_cast<double>(i));
  return negative ? -value : value;
}

}  // namespace sidera::host
