// The observing site: Location's settings file read without Qt, and the
// choice between it and the command line.
#include "tools/sidera/site.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tools/sidera/format.h"

namespace sidera::tool {
namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;
// The elevations the library's SetSite accepts.
constexpr double kLowestElevation = -1000;
constexpr double kHighestElevation = 8848;

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

std::string Describe(const StoredSite& s) {
  std::string what;
  if (!s.latitude) what += "\"siteLat\"";
  if (!s.longitude) what += std::string(what.empty() ? "" : " and ") + "\"siteLon\"";
  return what;
}

}  // namespace

std::string LocationSettingsPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg != nullptr && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0) {
    base = std::string(home) + "/.config";
  } else {
    return "";
  }
  return base + "/ZENARA.en/ZENARAWindow.conf";
}

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
    std::optional<double> v = ParseNumber(std::string(Trim(it->second)));
    if (!v) {
      site.problem = std::string("\"") + key + "\" is \"" + it->second + "\", not a number";
    } else if (*v < low || *v > high) {
      site.problem = std::string("\"") + key + "\" is " + it->second + unit + ", outside " +
                     FormatFixed(low, 0) + ".." + FormatFixed(high, 0) + unit;
    } else {
      *out = *v;
    }
  };
  number("siteLat", -90, 90, "\xC2\xB0", &site.latitude);
  number("siteLon", -180, 180, "\xC2\xB0", &site.longitude);
  number("Elevation", kLowestElevation, kHighestElevation, " m", &site.elevation);
  return site;
}

bool ResolveSite(const SiteArguments& given, const std::string& settingsPath, Site* site,
                 std::string* error) {
  if (given.latitude.has_value() != given.longitude.has_value()) {
    *error = "give --lat and --lon together";
    return false;
  }
  if (given.elevation &&
      (*given.elevation < kLowestElevation || *given.elevation > kHighestElevation)) {
    *error = "the elevation must lie within -1000..8848 m";
    return false;
  }
  if (given.latitude) {
    site->observer = {*given.latitude * kDegree, *given.longitude * kDegree,
                      given.elevation.value_or(0.0)};
    site->source = "the command line";
    return true;
  }
  const std::string how =
      "give --lat DEG --lon DEG [--elev M], or set the site with the Location program";
  StoredSite stored;
  if (!settingsPath.empty()) {
    std::ifstream file(settingsPath);
    if (file) {
      std::ostringstream text;
      text << file.rdbuf();
      stored = ParseStoredSite(text.str());
    }
  }
  if (!stored.fileFound) {
    *error = "no observing site: none was given and Location has stored none" +
             (settingsPath.empty() ? std::string() : " (no " + settingsPath + ")") + "; " + how;
    return false;
  }
  if (!stored.problem.empty()) {
    *error = "the site Location stored in " + settingsPath + " is unusable: " + stored.problem +
             "; " + how;
    return false;
  }
  if (!stored.latitude || !stored.longitude) {
    *error = "no observing site: " + settingsPath + " has no " + Describe(stored) + "; " + how;
    return false;
  }
  site->observer = {*stored.latitude * kDegree, *stored.longitude * kDegree,
                    given.elevation.value_or(stored.elevation.value_or(0.0))};
  site->source = "Location's settings (" + settingsPath + ")";
  if (given.elevation) site->source += " (elevation from the command line)";
  return true;
}

}  // namespace sidera::tool
