// The demo's choice of stars: an alignment pair and a tour of gotos, taken
// from the catalogue's stars so that each stays usable for the whole demo.
// It depends on nothing but the start time and the site, so it can be
// checked over a year of hours and every latitude without a mount.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tools/sidera/astro.h"
#include "tools/sidera/targets.h"

namespace sidera::tool {

// The mechanical error of the demo's mount as set up, radians: its axis
// readings differ from the nominal geometry by this much, which the
// alignment has to find.
inline constexpr double kDemoMountOffset0 = 0.4 / 180.0 * 3.141592653589793;
inline constexpr double kDemoMountOffset1 = -0.3 / 180.0 * 3.141592653589793;

// A catalogue star where it stands at the demo's start.
struct DemoStar {
  const CatalogueEntry* entry = nullptr;
  LocalPlace place;  // hour angle and declination of date
};

// Every star of the catalogue seen from `site` at `unixMillis`, brightest
// first.
std::vector<DemoStar> StarsAt(const Observer& site, int64_t unixMillis);

struct DemoChoice {
  DemoStar first;  // the alignment pair
  DemoStar second;
  std::vector<DemoStar> tour;  // up to four other stars, in order of azimuth
};

// The stars for a demo that starts when `stars` were taken, at `latitude`
// (radians), on an equatorial or an alt-azimuth mount. Every star stays
// within the altitudes the mount accepts, and on an equatorial mount on its
// side of the meridian, for as long as the demo runs; the pair is far enough
// apart on the sky and in the axes for a sound two-star fit. None when no
// such pair is up (not at any hour within 60 degrees of the equator).
std::optional<DemoChoice> ChooseDemoStars(const std::vector<DemoStar>& stars, double latitude,
                                          bool equatorial);

}  // namespace sidera::tool
