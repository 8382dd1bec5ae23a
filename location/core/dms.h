// Angles shown as degrees, minutes and whole seconds with a hemisphere, and
// the elevation shown as four digits.
#pragma once

#include <array>

namespace location {

struct DmsDisplay {
  int degrees = 0;  // all three are magnitudes
  int minutes = 0;
  int seconds = 0;
  // -1 west or south, +1 east or north, 0 for a zero angle (the hemisphere
  // shown stays what it was).
  int sign = 0;
};

// Degrees and minutes are truncated; the seconds are rounded to the nearest
// whole second, and 60 seconds carry into the minutes (and 60 minutes into the
// degrees). The carry is worked out on the magnitude, so western and southern
// angles carry the same way as eastern and northern ones.
DmsDisplay ToDms(double degrees);

// The angle the fields describe: degrees + minutes/60 + seconds/3600, worked
// out in single precision as the controller's other programs expect, then
// negated for the west or south hemisphere.
double FromDms(int degrees, int minutes, int seconds, bool negative);

// Thousands, hundreds, tens and units of an elevation in 0..9999.
std::array<int, 4> ElevationDigits(int metres);

}  // namespace location
