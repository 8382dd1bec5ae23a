// The fields of the fix (GGA) and recommended-minimum (RMC) sentences, from
// NMEA 2.0 to 4.11. Every field the reader uses is checked as text (its
// digits, its length) and its value against its range before anything is
// converted, so no input can overflow a conversion. A field left empty is
// absent; a field that is present but malformed or out of range makes the
// whole sentence malformed, since a receiver would not send it.
#pragma once

#include <optional>
#include <string_view>

namespace location::gps {

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0;  // 0..23, 0..59, 0..60 (a leap second)
  bool operator==(const TimeOfDay&) const = default;
};

struct CalendarDate {
  int year = 0, month = 0, day = 0;  // 1980..2079, 1..12, 1..31 (not checked against the month)
  bool operator==(const CalendarDate&) const = default;
};

// GGA: time, latitude, N/S, longitude, E/W, quality, satellites, dilution,
// altitude, "M", geoid separation, "M", age and station of differential
// corrections (the same in every version).
struct FixSentence {
  std::optional<TimeOfDay> time;    // whole seconds
  std::optional<double> latitude;   // degrees, north positive
  std::optional<double> longitude;  // degrees, east positive
  std::optional<int>
      quality;  // 0 none, 1 GPS, 2 differential, ... 6 estimated, 7 manual, 8 simulated
  std::optional<int> satellites;   // 0..99
  std::optional<double> altitude;  // metres above mean sea level, -1000..100000
};
std::optional<FixSentence> ParseFix(std::string_view fields);

// RMC: time, status, latitude, N/S, longitude, E/W, speed, course, date,
// magnetic variation and its E/W; from NMEA 2.3 a mode indicator, from 4.1
// a navigational status. Speed, course and variation are not used.
struct RecommendedMinimum {
  std::optional<TimeOfDay> time;
  char status = 0;  // 'A' valid or 'V' warning (either case given; stored upper case); 0 empty
  std::optional<double> latitude;
  std::optional<double> longitude;
  std::optional<CalendarDate> date;  // ddmmyy: yy 80..99 is 19yy, else 20yy
  char mode = 0;                     // A D E F M N P R S (2.3 and later); 0 when absent
  char navStatus = 0;                // S C U V (4.1 and later); 0 when absent
};
std::optional<RecommendedMinimum> ParseRecommendedMinimum(std::string_view fields);

// The text of one NMEA angle field, ddmm.mmmm (latitude) or dddmm.mmmm
// (longitude), with its hemisphere letter (either case): degrees, negative
// south or west. Nothing for malformed text, a letter that is not one of the
// axis's two, 60 minutes or more, or an angle beyond 90 or 180 degrees.
std::optional<double> NmeaLatitude(std::string_view value, std::string_view northSouth);
std::optional<double> NmeaLongitude(std::string_view value, std::string_view eastWest);

}  // namespace location::gps
