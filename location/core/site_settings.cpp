// Reading and writing the stored site and its number formats.
#include "location/core/site_settings.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

namespace location {

std::optional<int32_t> ParseStoredInt(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const char* first = text->data();
  const char* last = first + text->size();
  if (first != last && *first == '+') ++first;
  int32_t value = 0;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || first == last) return std::nullopt;
  return value;
}

std::string FormatAngle(double degrees) {
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, degrees, std::chars_format::general, 10);
  return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0");
}

std::optional<double> ParseAngle(const std::string& text) {
  // Values longer than the 128-byte buffer the settings were read into are
  // not site values.
  if (text.size() >= 128) return std::nullopt;
  const char* first = text.data();
  const char* last = first + text.size();
  while (first != last && std::isspace(static_cast<unsigned char>(*first))) ++first;
  bool negative = false;
  if (first != last && (*first == '+' || *first == '-')) negative = *first++ == '-';
  if (first != last && (*first == '+' || *first == '-')) return std::nullopt;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

StoredSite ReadSite(const SettingsStore& store) {
  StoredSite site;
  if (const auto lon = store.Read(kSiteLon)) {
    const std::optional<double> value = ParseAngle(*lon);
    if (value && std::fabs(*value) <= 180.0) site.longitude = *value;
  }
  if (const auto lat = store.Read(kSiteLat)) {
    const std::optional<double> value = ParseAngle(*lat);
    if (value && std::fabs(*value) <= 90.0) site.latitude = *value;
  }
  const std::optional<int32_t> elevation = ParseStoredInt(store.Read(kElevation));
  if (elevation && *elevation >= 0 && *elevation <= kMaxElevation) site.elevation = *elevation;
  site.nightMode = ParseStoredInt(store.Read(kNightMode)).value_or(0) != 0;
  return site;
}

void WriteSite(SettingsStore& store, double longitude, double latitude, int elevation) {
  store.WriteString(kSiteLon, FormatAngle(longitude));
  store.WriteString(kSiteLat, FormatAngle(latitude));
  store.WriteInt(kElevation, elevation);
}

}  // namespace location
