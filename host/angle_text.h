// Angles as people type them: the hand controller's coordinates, and any
// front end's that reads a right ascension or declination from a person.
#pragma once

#include <optional>
#include <string>

namespace sidera::host {

// A right ascension in hours or a declination in degrees: a decimal number
// or degrees (hours), minutes and seconds apart ("5 35 17", "5h35m17s",
// "-5:23:28", "-5°23'28\""). Empty when it is not one.
std::optional<double> ReadSexagesimal(std::string text);

}  // namespace sidera::host
