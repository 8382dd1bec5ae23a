// Field-by-field reading of the GGA and RMC sentences, text checked first.
#include "location/core/gps/nmea_fields.h"

#include <charconv>
#include <vector>

namespace location::gps {
namespace {

// A field as read: malformed, or well-formed and either empty or a value.
template <typename T>
struct Field {
  bool ok = true;
  std::optional<T> value;
};
template <typename T>
Field<T> Malformed() {
  return {false, std::nullopt};
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view text) {
  for (const char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// Two decimal digits at `at`; the caller has checked them.
int TwoDigits(std::string_view text, size_t at) {
  return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// Splits at commas; the text after the last comma is a field too.
std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t comma = text.find(',');
    fields.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    text.remove_prefix(comma + 1);
  }
}

std::string_view At(const std::vector<std::string_view>& fields, size_t i) {
  return i < fields.size() ? fields[i] : std::string_view();
}

// [-]digits[.digits], with at most `maxWhole` digits before the point and
// `maxFraction` after it: short enough that the value is exact to well
// below the field's resolution and can never overflow.
std::optional<double> Decimal(std::string_view text, bool signedField, size_t maxWhole,
                              size_t maxFraction) {
  std::string_view rest = text;
  if (signedField && !rest.empty() && rest[0] == '-') rest.remove_prefix(1);
  const size_t point = rest.find('.');
  const std::string_view whole = rest.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : rest.substr(point + 1);
  if (whole.empty() || whole.size() > maxWhole || !AllDigits(whole) ||
      fraction.size() > maxFraction || !AllDigits(fraction)) {
    return std::nullopt;
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A whole number of 1..`digits` digits within [low, high].
Field<int> Integer(std::string_view text, size_t digits, int low, int high) {
  if (text.empty()) return {};
  if (text.size() > digits || !AllDigits(text)) return Malformed<int>();
  int value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  if (value < low || value > high) return Malformed<int>();
  return {true, value};
}

// hhmmss, optionally with a fraction of a second (dropped: whole seconds).
Field<TimeOfDay> Time(std::string_view text) {
  if (text.empty()) return {};
  const size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.size() != 6 || !AllDigits(whole) || fraction.size() > 9 || !AllDigits(fraction)) {
    return Malformed<TimeOfDay>();
  }
  const TimeOfDay t{TwoDigits(whole, 0), TwoDigits(whole, 2), TwoDigits(whole, 4)};
  if (t.hour > 23 || t.minute > 59 || t.second > 60) return Malformed<TimeOfDay>();
  return {true, t};
}

// ddmmyy. GPS time starts in 1980: years 80 to 99 are 1980 to 1999 (a
// receiver behind by a week-number rollover still sends them).
Field<CalendarDate> Date(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() != 6 || !AllDigits(text)) return Malformed<CalendarDate>();
  const int yy = TwoDigits(text, 4);
  const CalendarDate d{(yy >= 80 ? 1900 : 2000) + yy, TwoDigits(text, 2), TwoDigits(text, 0)};
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31) return Malformed<CalendarDate>();
  return {true, d};
}

// A one-letter field (either case, stored upper case), limited to `allowed`
// when that is given.
Field<char> Letter(std::string_view text, std::string_view allowed = {}) {
  if (text.empty()) return {};
  char c = text[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (text.size() != 1 || c < 'A' || c > 'Z') return Malformed<char>();
  if (!allowed.empty() && allowed.find(c) == std::string_view::npos) return Malformed<char>();
  return {true, c};
}

// ddmm.mmmm or dddmm.mmmm with its hemisphere letter: both empty, or both
// well-formed and within range.
Field<double> Angle(std::string_view value, std::string_view letter, int maxDegrees, char positive,
                    char negative) {
  if (value.empty() && letter.empty()) return {};
  const Field<char> hemisphere = Letter(letter, std::string_view(&positive, 1));
  const Field<char> other = Letter(letter, std::string_view(&negative, 1));
  if (!(hemisphere.ok && hemisphere.value) && !(other.ok && other.value)) {
    return Malformed<double>();
  }
  const size_t wholeDigits = maxDegrees > 90 ? 5 : 4;
  const std::optional<double> number = Decimal(value, false, wholeDigits, 10);
  if (!number) return Malformed<double>();
  // The whole part is at most 5 digits, so it converts exactly.
  const int whole = static_cast<int>(*number);
  const int degrees = whole / 100;
  const double minutes = *number - degrees * 100;
  const double angle = degrees + minutes / 60.0;
  if (minutes >= 60.0 || angle > maxDegrees) return Malformed<double>();
  return {true, other.value ? -angle : angle};
}

}  // namespace

std::optional<FixSentence> ParseFix(std::string_view text) {
  const std::vector<std::string_view> f = SplitFields(text);
  const Field<TimeOfDay> time = Time(At(f, 0));
  const Field<double> latitude = Angle(At(f, 1), At(f, 2), 90, 'N', 'S');
  const Field<double> longitude = Angle(At(f, 3), At(f, 4), 180, 'E', 'W');
  const Field<int> quality = Integer(At(f, 5), 1, 0, 8);
  const Field<int> satellites = Integer(At(f, 6), 2, 0, 99);
  Field<double> altitude;
  if (!At(f, 8).empty()) {
    altitude.value = Decimal(At(f, 8), true, 6, 6);
    altitude.ok = altitude.value && *altitude.value >= -1000 && *altitude.value <= 100000;
  }
  if (!time.ok || !latitude.ok || !longitude.ok || !quality.ok || !satellites.ok || !altitude.ok) {
    return std::nullopt;
  }
  return FixSentence{time.value,    latitude.value,   longitude.value,
                     quality.value, satellites.value, altitude.value};
}

std::optional<RecommendedMinimum> ParseRecommendedMinimum(std::string_view text) {
  const std::vector<std::string_view> f = SplitFields(text);
  const Field<TimeOfDay> time = Time(At(f, 0));
  const Field<char> status = Letter(At(f, 1), "AV");
  const Field<double> latitude = Angle(At(f, 2), At(f, 3), 90, 'N', 'S');
  const Field<double> longitude = Angle(At(f, 4), At(f, 5), 180, 'E', 'W');
  const Field<CalendarDate> date = Date(At(f, 8));
  const Field<char> mode = Letter(At(f, 11));
  const Field<char> navStatus = Letter(At(f, 12));
  if (!time.ok || !status.ok || !latitude.ok || !longitude.ok || !date.ok || !mode.ok ||
      !navStatus.ok) {
    return std::nullopt;
  }
  return RecommendedMinimum{time.value,
                            status.value.value_or(0),
                            latitude.value,
                            longitude.value,
                            date.value,
                            mode.value.value_or(0),
                            navStatus.value.value_or(0)};
}

std::optional<double> NmeaLatitude(std::string_view value, std::string_view northSouth) {
  return Angle(value, northSouth, 90, 'N', 'S').value;
}

std::optional<double> NmeaLongitude(std::string_view value, std::string_view eastWest) {
  return Angle(value, eastWest, 180, 'E', 'W').value;
}

}  // namespace location::gps
