// Text forms of angles, states and numbers for the terminal and for --json.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sidera::tool {

// An angle in [0, 2 pi) as hours, minutes, seconds: "18h36m56.3s" (one
// decimal; 24h wraps to 0h).
std::string FormatHours(double radians);
// An angle as signed degrees, arc-minutes, arc-seconds: "+38°47'01\"".
std::string FormatDegrees(double radians);
// An azimuth as observers read it: degrees from north through east in
// [0, 360) with two decimals and the degree sign ("271.50°").
std::string FormatAzimuth(double radians);
// A plain number with `decimals` decimals ("12.35").
std::string FormatFixed(double value, int decimals);

// A right ascension typed by the user: "18h36m56.3s", "18:36:56.3" or
// decimal hours "18.6"; radians in [0, 2 pi), or none.
std::optional<double> ParseRightAscension(const std::string& text);
// A declination or other signed angle: "+38:47:01", "38d47m01s", "-8.2";
// radians, or none. The sign applies to the whole angle.
std::optional<double> ParseDegrees(const std::string& text);
// Why text written as degrees or hours, minutes and seconds is refused by
// the two readers above: "its minutes (99) must be below 60", its seconds
// likewise, or a first part with decimals before minutes; "" for text that
// is fine or not written that way at all.
std::string SexagesimalProblem(const std::string& text);
// A plain floating-point number that uses the whole text.
std::optional<double> ParseNumber(const std::string& text);

// "stopped", "tracking", "goto", "slewing", or the word as a number.
std::string MountStateName(uint32_t state);
// "stopped", "goto+", "rate-" and so on.
std::string AxisStateName(uint32_t state);

// `text` quoted as a JSON string.
std::string JsonString(const std::string& text);
// A JSON number (non-finite values become null, which JSON lacks otherwise).
std::string JsonNumber(double value);

}  // namespace sidera::tool
