// UTC instants as milliseconds since 1970-01-01T00:00:00Z, and their civil
// fields (proleptic Gregorian calendar), as the library's sidereal time and
// the hosts' date texts take them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sidera.h"

namespace sidera::host {

// Milliseconds since the epoch of a UTC date and time.
int64_t UtcMillisOf(int year, int month, int day, int hour, int minute, double second);
// The civil fields of a UTC instant, day of the week included (0 Sunday).
CivilDateTime CivilOf(int64_t utcMillis);
// YYYY-MM-DDTHH:MM:SS[.fraction][Z] (UTC; digits of the fraction beyond the
// millisecond are dropped), or nothing when the text is not a valid date and
// time of the years 1 to 9999.
std::optional<int64_t> ParseUtc(const std::string& text);
// YYYY-MM-DDTHH:MM:SS.mmmZ.
std::string FormatUtc(int64_t utcMillis);

}  // namespace sidera::host
