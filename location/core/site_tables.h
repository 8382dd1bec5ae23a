// The site tables: for each language and continent a country table and a
// city table, held as resources of the program and found by identifier.
//
// Country record, 30 bytes: name (28 bytes, code page 936, ended by a zero
// byte unless it fills all 28), first-city index (1 byte), city count
// (1 byte). City record, 36 bytes: name (28 bytes, as above), latitude and
// longitude in hundredths of a degree (32-bit little-endian, north and east
// positive). A country's cities are records first .. first+count-1 of its
// continent's city table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "location/core/ui_language.h"

namespace location {

inline constexpr int kContinentCount = 5;  // Asia, Europe, America, Africa, Oceania
inline constexpr size_t kNameBytes = 28;
inline constexpr size_t kCountryRecordBytes = 30;
inline constexpr size_t kCityRecordBytes = 36;

// Resource identifiers of the tables (continent index 0..4).
int CountryTableId(UiLanguage language, int continent);
int CityTableId(UiLanguage language, int continent);

struct CountryRecord {
  std::string name;  // code page 936 bytes, at most 28
  int firstCity = 0;
  int cityCount = 0;
};

struct CityRecord {
  std::string name;  // code page 936 bytes, at most 28
  int32_t latitudeHundredths = 0;
  int32_t longitudeHundredths = 0;
};

// Whole records only (size / record size); trailing bytes are ignored.
std::vector<CountryRecord> ParseCountries(std::span<const uint8_t> table);
std::vector<CityRecord> ParseCities(std::span<const uint8_t> table);

// Code page 936 text as UTF-8. A byte sequence that is not valid code page
// 936 (such as a double-byte character cut by the end of the name) becomes
// U+FFFD.
std::string Cp936ToUtf8(std::string_view bytes);

}  // namespace location
