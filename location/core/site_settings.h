// The stored observing site: value names, formats and the rules for values
// that are missing, malformed or out of range.
#pragma once

#include <optional>
#include <string>

#include "location/core/settings_store.h"

namespace location {

inline constexpr const char* kSiteLon = "siteLon";      // string, degrees east, "%.10g"
inline constexpr const char* kSiteLat = "siteLat";      // string, degrees north, "%.10g"
inline constexpr const char* kElevation = "Elevation";  // 32-bit, metres 0..9999
inline constexpr const char* kNightMode = "NightMode";  // 32-bit, read only

inline constexpr double kDefaultLongitude = 120.0;
inline constexpr double kDefaultLatitude = 30.0;
inline constexpr int kMaxElevation = 9999;

struct StoredSite {
  double longitude = kDefaultLongitude;
  double latitude = kDefaultLatitude;
  int elevation = 0;
  bool nightMode = false;
};

// Reads the site; each value that is missing, malformed or out of range
// (longitude beyond +-180, latitude beyond +-90, elevation outside
// 0..9999) keeps its default.
StoredSite ReadSite(const SettingsStore& store);

// Writes longitude, latitude and elevation (not synced).
void WriteSite(SettingsStore& store, double longitude, double latitude, int elevation);

// "%.10g" in the C locale, whatever the process locale is.
std::string FormatAngle(double degrees);
// What "%lf" reads from the start of the text (leading blanks and a sign
// allowed); nothing when the text does not start with a finite number.
std::optional<double> ParseAngle(const std::string& text);

}  // namespace location
