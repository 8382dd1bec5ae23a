// Text forms of angles, states and numbers for the terminal and --json.

#include "tools/sidera/format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tools/sidera/astro.h"

namespace sidera::tool {
namespace {

// Splits a non-negative amount of units into whole units, minutes and
// seconds rounded to `decimals`, carrying a rounded 60 upwards.
struct Sexagesimal {
  long whole;
  int minutes;
  double seconds;
};

Sexagesimal Split(double units, int decimals) {
  const double scale = std::pow(10.0, decimals);
  double totalSeconds = std::round(units * 3600.0 * scale) / scale;
  long whole = static_cast<long>(totalSeconds / 3600.0);
  double rest = totalSeconds - whole * 3600.0;
  int minutes = static_cast<int>(rest / 60.0);
  double seconds = rest - minutes * 60.0;
  if (seconds < 0) seconds = 0;
  return {whole, minutes, seconds};
}

// A number as typed: "99", "75.5".
std::string FormatNumber(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// Parses "a:b:c", "a h b m c s" or "a d b m c s" style text into units.
// For text written as such but with a part out of range, `problem` (when
// given) says which.
std::optional<double> ParseSexagesimal(const std::string& text, bool* negative,
                                       std::string* problem = nullptr) {
  std::string s = text;
  *negative = false;
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    *negative = s[i] == '-';
    ++i;
  }
  double parts[3] = {0, 0, 0};
  int count = 0;
  while (i < s.size()) {
    if (count == 3) return std::nullopt;
    const char* start = s.c_str() + i;
    char* end = nullptr;
    double v = std::strtod(start, &end);
    if (end == start || v < 0 || !std::isfinite(v)) return std::nullopt;
    parts[count++] = v;
    i += static_cast<size_t>(end - start);
    if (i >= s.size()) break;
    // One separator: ':', a unit letter, the degree sign or quotes.
    if (s.compare(i, 2, "\xC2\xB0") == 0) {
      i += 2;
    } else if (std::string(":hHdDmM'\"sS").find(s[i]) != std::string::npos) {
      ++i;
    } else {
      return std::nullopt;
    }
    while (i < s.size() && s[i] == ' ') ++i;
  }
  if (count == 0) return std::nullopt;
  // Sub-units must stay below 60 when written out, and the first part is
  // whole when they follow.
  std::string why;
  if (count > 1 && parts[1] >= 60) {
    why = "its minutes (" + FormatNumber(parts[1]) + ") must be below 60";
  } else if (count > 2 && parts[2] >= 60) {
    why = "its seconds (" + FormatNumber(parts[2]) + ") must be below 60";
  } else if (count > 1 && parts[0] != std::floor(parts[0])) {
    why = "its first part (" + FormatNumber(parts[0]) + ") must be whole when minutes follow";
  }
  if (!why.empty()) {
    if (problem != nullptr) *problem = why;
    return std::nullopt;
  }
  return parts[0] + parts[1] / 60.0 + parts[2] / 3600.0;
}

}  // namespace

std::string FormatHours(double radians) {
  double hours = WrapTwoPi(radians) / kPi * 12.0;
  Sexagesimal p = Split(hours, 1);
  if (p.whole >= 24) p.whole -= 24;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02ldh%02dm%04.1fs", p.whole, p.minutes, p.seconds);
  return buf;
}

std::string FormatDegrees(double radians) {
  const double deg = Degrees(radians);
  Sexagesimal p = Split(std::fabs(deg), 0);
  const bool negative = deg < 0 && (p.whole != 0 || p.minutes != 0 || p.seconds >= 0.5);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%c%02ld\xC2\xB0%02d'%02.0f\"", negative ? '-' : '+', p.whole,
                p.minutes, p.seconds);
  return buf;
}

std::string FormatAzimuth(double radians) {
  std::string text = FormatFixed(Degrees(WrapTwoPi(radians)), 2);
  if (text == "360.00") text = "0.00";  // rounding just below a full turn
  return text + "\xC2\xB0";
}

std::string FormatFixed(double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  return buf;
}

std::optional<double> ParseRightAscension(const std::string& text) {
  bool negative = false;
  std::optional<double> hours = ParseSexagesimal(text, &negative);
  if (!hours || negative || *hours >= 24.0) return std::nullopt;
  return *hours / 12.0 * kPi;
}

std::optional<double> ParseDegrees(const std::string& text) {
  bool negative = false;
  std::optional<double> deg = ParseSexagesimal(text, &negative);
  if (!deg) return std::nullopt;
  return Radians(negative ? -*deg : *deg);
}

std::string SexagesimalProblem(const std::string& text) {
  bool negative = false;
  std::string problem;
  (void)ParseSexagesimal(text, &negative, &problem);
  return problem;
}

std::optional<double> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string MountStateName(uint32_t state) {
  switch (state) {
    case 1:
      return "stopped";
    case 2:
      return "tracking";
    case 4:
      return "goto";
    case 8:
      return "slewing";
    default:
      return "state " + std::to_string(state);
  }
}

std::string AxisStateName(uint32_t state) {
  std::string dir = (state & 8) != 0 ? "+" : "-";
  if ((state & 4) != 0) return "goto" + dir;
  if ((state & 2) != 0) return "rate" + dir;
  if ((state & 1) != 0) return "stopped";
  return "state " + std::to_string(state);
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", value);
  return buf;
}

}  // namespace sidera::tool
