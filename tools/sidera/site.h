// The observing site: from the command line, or as the Location program
// stores it (its settings file), and a clear word when there is none.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "tools/sidera/apparent.h"

namespace sidera::tool {

// Location's settings file: $XDG_CONFIG_HOME/ZENARA.en/ZENARAWindow.conf,
// with ~/.config in place of an unset XDG_CONFIG_HOME ("" when neither that
// nor HOME is set).
std::string LocationSettingsPath();

// The values of the [General] section of an INI file as Qt's settings class
// writes it (quoted values unquoted, backslash escapes resolved). Keys
// outside any section count as [General].
std::map<std::string, std::string> ParseSettingsText(std::string_view text);

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

// The site values given on the command line (degrees and metres).
struct SiteArguments {
  std::optional<double> latitude;
  std::optional<double> longitude;
  std::optional<double> elevation;
};

// A site in the mount's units with a sentence on where it came from.
struct Site {
  Observer observer;   // radians and metres
  std::string source;  // "the command line", "Location's settings (PATH)"...
};

// Picks the site: the command line when it gives latitude and longitude,
// else Location's stored site (an --elev given still applies). Checks every
// value against the range the mount accepts. On failure returns false and
// says why and what to do in `error`.
bool ResolveSite(const SiteArguments& given, const std::string& settingsPath, Site* site,
                 std::string* error);

}  // namespace sidera::tool
