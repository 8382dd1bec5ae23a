// The observing site as the Location program stores it: its settings file,
// read without Qt, and the site values in it checked against what the
// library accepts.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sidera.h"

namespace sidera::host {

// Location's settings file: $XDG_CONFIG_HOME/ZENARA.en/ZENARAWindow.conf,
// with ~/.config in place of an unset XDG_CONFIG_HOME ("" when neither that
// nor HOME is set).
std::string LocationSettingsPath();

// The values of the [General] section of an INI file as Qt's settings class
// writes it (quoted values unquoted, backslash escapes resolved). Keys
// outside any section count as [General].
std::map<std::string, std::string> ParseSettingsText(std::string_view text);

// The elevations (metres) the library's SetSite accepts.
inline constexpr double kLowestElevation = SIDERA_LOWEST_ELEVATION;
inline constexpr double kHighestElevation = SIDERA_HIGHEST_ELEVATION;

// The site values Location stores, checked: "siteLon" and "siteLat" in
// degrees (strings in "%.10g"), "Elevation" in whole metres.
struct StoredSite {
  bool fileFound = false;
  std::optional<double> longitude;  // degrees, east positive
  std::optional<double> latitude;   // degrees, north positive
  std::optional<double> elevation;  // metres
  std::string problem;              // a value that is present but unusable
};
StoredSite ParseStoredSite(std::string_view settingsText);
// The file at `path` read and parsed; fileFound is false when it cannot be read.
StoredSite ReadStoredSite(const std::string& path);

}  // namespace sidera::host
