// The observing site: from the command line, or as the Location program
// stores it (host/location_site.h), and a clear word when there is none.
#pragma once

#include <optional>
#include <string>

#include "host/location_site.h"
#include "tools/sidera/astro.h"

namespace sidera::tool {

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
