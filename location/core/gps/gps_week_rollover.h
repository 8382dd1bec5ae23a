// Dates from receivers hit by the GPS week-number rollover. The satellites
// count weeks in ten bits, so a receiver that does not know which 1024-week
// era it is in reports dates 1024 weeks (19.6 years) or a multiple of that
// too early: in 2019 many showed 1999. Only a date more than ten years
// before the program was built is taken as such and moved forward: half an
// era is the margin that tells a receiver behind by 1024 weeks from one
// whose date is merely old (a recording, a clock not yet set), and a date
// moved on by a guess could set the clock decades ahead. A date before the
// build date that is not moved is kept as it is, but never sets the clock.
#pragma once

#include <optional>

#include "location/core/gps/clock_service.h"

namespace location::gps {

// The day this program was built: no live receiver's date lies before it.
// The one place the build date comes from (today the compiler's __DATE__).
GpsTime BuildDate();

// `utc` moved forward by whole 1024-week steps while it lies more than ten
// years before `reference`; a later date is kept as it is. Nothing for a
// time that is not a real one (30 February, hour 24) or that lies before the
// first GPS week (6 January 1980).
std::optional<GpsTime> UnrollGpsWeeks(const GpsTime& utc, const GpsTime& reference);

// Whether a receiver's (unrolled) date may set the system clock: not when it
// lies before `reference`, which no live receiver's date does.
bool MaySetClock(const GpsTime& utc, const GpsTime& reference);

}  // namespace location::gps
