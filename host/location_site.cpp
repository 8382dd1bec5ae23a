// Location's settings file read without Qt.
#include "host/location_site.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/settings_file.h"

namespace sidera::host {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::string Unquote(std::string_view v) {
  if (v.empty() || v.front() != '"') return std::string(v);
  std::string out;
  for (size_t i = 1; i < v.size(); ++i) {
    const char c = v[i];
    if (c == '"') break;
    if (c == '\\' && i + 1 < v.size()) {
      const char e = v[++i];
      out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
    } else {
      out += c;
    }
  }
  return out;
}

// A finite number and nothing else.
std::optional<double> NumberOf(std::string_view text) {
  const std::string s(text);
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string Whole(double v) { return std::to_string(static_cast<long long>(v)); }

}  // namespace

std::string LocationSettingsPath() { return UserConfigPath("ZENARA.en/ZENARAWindow.conf"); }

std::map<std::string, std::string> ParseSettingsText(std::string_view text) {
  std::map<std::string, std::string> values;
  bool general = true;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      general = line == "[General]";
      continue;
    }
    const size_t eq = line.find('=');
    if (!general || eq == std::string_view::npos) continue;
    values[std::string(Trim(line.substr(0, eq)))] = Unquote(Trim(line.substr(eq + 1)));
  }
  return values;
}

StoredSite ParseStoredSite(std::string_view settingsText) {
  StoredSite site;
  site.fileFound = true;
  const auto values = ParseSettingsText(settingsText);
  auto number = [&](const char* key, double low, double high, const char* unit,
                    std::optional<double>* out) {
    auto it = values.find(key);
    if (it == values.end() || !site.problem.empty()) return;
    std::optional<double> v = NumberOf(Trim(it->second));
    if (!v) {
      site.problem = std::string("\"") + key + "\" is \"" + it->second + "\", not a number";
    } else if (*v < low || *v > high) {
      site.problem = std::string("\"") + key + "\" is " + it->second + unit + ", outside " +
                     Whole(low) + ".." + Whole(high) + unit;
    } else {
      *out = *v;
    }
  };
  number("siteLat", -90, 90, "\xC2\xB0", &site.latitude);
  number("siteLon", -180, 180, "\xC2\xB0", &site.longitude);
  number("Elevation", kLowestElevation, kHighestElevation, " m", &site.elevation);
  return site;
}

StoredSite ReadStoredSite(const std::string& path) {
  if (path.empty()) return {};
  std::ifstream file(path);
  if (!file) return {};
  std::ostringstream text;
  text << file.rdbuf();
  return ParseStoredSite(text.str());
}

}  // namespace sidera::host
