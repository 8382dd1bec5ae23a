// Sidereal time of a civil clock reading.
#pragma once

#include "sidera/core/types.h"

namespace sidera {

// Greenwich sidereal angle in radians, not reduced to one turn, for the
// civil time `when` in a zone `zoneHours` east of Greenwich (one hour more
// when `daylight` is nonzero).
double SiderealTimeOf(const CivilDateTime& when, double zoneHours, int daylight);

}  // namespace sidera
