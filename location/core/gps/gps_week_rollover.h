// Dates from receivers hit by the GPS week-number rollover. The satellites
// count weeks in ten bits, so a receiver that does not know which 1024-week
// era it is in reports dates 1024 weeks (19.6 years) or a multiple of that
// too early: in 2019 many showed 1999. No real date from a receiver can lie
// before the program was built, so such dates are moved forward by 1024
// weeks until they no longer do.
#pragma once

#include <optional>

#include "location/core/gps/clock_service.h"

namespace location::gps {

// The day this program was built (UTC; the day of SOURCE_DATE_EPOCH when
// the build sets it): no live receiver's date lies before it.
GpsTime BuildDate();

// `utc` moved forward by whole 1024-week steps while it lies before
// `reference`. Nothing for a time that is not a real one (30 February, hour
// 24) or that lies before the first GPS week (6 January 1980).
std::optional<GpsTime> UnrollGpsWeeks(const GpsTime& utc, const GpsTime& reference);

}  // namespace location::gps
