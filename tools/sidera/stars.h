// A small catalogue of bright stars for alignment and gotos by name.
#pragma once

#include <span>
#include <string_view>

namespace sidera::tool {

struct Star {
  const char* name;
  double rightAscension;  // J2000, radians
  double declination;     // J2000, radians
  double magnitude;       // visual
};

// Every star of the table, brightest first.
std::span<const Star> BrightStars();

// The star whose name matches `name` ignoring case, spaces, '-' and '_';
// null when there is none.
const Star* FindStar(std::string_view name);

}  // namespace sidera::tool
