// make_site_tables: writes the program's site tables from the system's
// time-zone data. Every time-zone city of zone.tab becomes a city record with
// the zone's coordinates; its name in English, simplified and traditional
// Chinese, and its country's name, come from CLDR through ICU, converted to
// code page 936. Cities are grouped by continent (the zone's own continent,
// or for ocean and polar zones the continent CLDR places the country in),
// and countries and cities are sorted in each language's collation order.
//
//   make_site_tables ZONE_TAB OUTPUT_DIR
//
// writes OUTPUT_DIR/<identifier>.bin for the 30 tables and prints the
// record counts.
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/region.h>
#include <unicode/timezone.h>
#include <unicode/tznames.h>
#include <unicode/uclean.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "location/core/site_tables.h"

namespace {

using location::UiLanguage;

constexpr int kLanguages = 3;
const char* const kLocales[kLanguages] = {"en", "zh_Hans", "zh_Hant"};
const char* const kCollationLocales[kLanguages] = {"en", "zh", "zh_Hant"};

struct Zone {
  std::string country;   // ISO 3166 code
  int32_t latitude = 0;  // hundredths of a degree
  int32_t longitude = 0;
  icu::UnicodeString id;  // canonical zone id
  int continent = -1;
  icu::UnicodeString names[kLanguages];
};

[[noreturn]] void Fail(const std::string& why) {
  std::cerr << "make_site_tables: " << why << "\n";
  std::exit(1);
}

void Check(UErrorCode status, const char* what) {
  if (U_FAILURE(status)) Fail(std::string(what) + ": " + u_errorName(status));
}

// ISO 6709 "+DDMM[SS]" or "+DDDMM[SS]" -> hundredths of a degree.
bool ParseIso6709(const std::string& text, int degreeDigits, int32_t& out) {
  if (text.size() != static_cast<size_t>(1 + degreeDigits + 2) &&
      text.size() != static_cast<size_t>(1 + degreeDigits + 4)) {
    return false;
  }
  const int sign = text[0] == '-' ? -1 : text[0] == '+' ? 1 : 0;
  if (sign == 0) return false;
  const int degrees = std::stoi(text.substr(1, degreeDigits));
  const int minutes = std::stoi(text.substr(1 + degreeDigits, 2));
  const int seconds = text.size() > static_cast<size_t>(3 + degreeDigits)
                          ? std::stoi(text.substr(3 + degreeDigits, 2))
                          : 0;
  out =
      sign * static_cast<int32_t>(std::lround((degrees + minutes / 60.0 + seconds / 3600.0) * 100));
  return true;
}

int ContinentOfPrefix(const std::string& id) {
  const std::string prefix = id.substr(0, id.find('/'));
  if (prefix == "Asia") return 0;
  if (prefix == "Europe") return 1;
  if (prefix == "America") return 2;
  if (prefix == "Africa") return 3;
  if (prefix == "Australia" || prefix == "Pacific") return 4;
  return -1;
}

// The continent CLDR places a country in (UN M.49 codes).
int ContinentOfCountry(const std::string& country) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Region* region = icu::Region::getInstance(country.c_str(), status);
  if (U_FAILURE(status) || region == nullptr) return -1;
  const icu::Region* continent = region->getContainingRegion(URGN_CONTINENT);
  if (continent == nullptr) return -1;
  const std::string code = continent->getRegionCode();
  if (code == "142") return 0;
  if (code == "150") return 1;
  if (code == "019") return 2;
  if (code == "002") return 3;
  if (code == "009") return 4;
  return -1;
}

// Code page 936 bytes of `text`, at most 28 bytes and never a half
// character. A character code page 936 lacks is replaced by its base letter
// (accents dropped), or by "?" when it has none.
std::string ToCp936(const icu::UnicodeString& text, UConverter* converter) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  Check(status, "NFD");
  std::string out;
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    i += U16_LENGTH(c);
    auto encode = [&](const icu::UnicodeString& piece, std::string& bytes) {
      char buffer[16];
      UErrorCode s = U_ZERO_ERROR;
      ucnv_reset(converter);
      const int32_t n =
          ucnv_fromUChars(converter, buffer, sizeof buffer, piece.getBuffer(), piece.length(), &s);
      if (U_FAILURE(s) || n <= 0) return false;
      bytes.assign(buffer, static_cast<size_t>(n));
      return true;
    };
    std::string bytes;
    if (!encode(icu::UnicodeString(c), bytes)) {
      icu::UnicodeString decomposed;
      UErrorCode s = U_ZERO_ERROR;
      nfd->normalize(icu::UnicodeString(c), decomposed, s);
      if (U_FAILURE(s) || decomposed.isEmpty() ||
          !encode(icu::UnicodeString(decomposed.char32At(0)), bytes)) {
        bytes.assign(1, '?');
      }
    }
    if (out.size() + bytes.size() > location::kNameBytes) break;
    out += bytes;
  }
  return out;
}

void WriteTable(const std::string& dir, int id, const std::string& bytes) {
  std::ofstream file(dir + "/" + std::to_string(id) + ".bin", std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) Fail("cannot write table " + std::to_string(id));
}

void PutInt32(std::string& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((bits >> shift) & 0xFF);
}

std::string PaddedName(const std::string& name) {
  std::string field = name;
  field.resize(location::kNameBytes, '\0');
  return field;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) Fail("usage: make_site_tables ZONE_TAB OUTPUT_DIR");
  std::ifstream zoneTab(argv[1]);
  if (!zoneTab) Fail(std::string("cannot read ") + argv[1]);
  const std::string outDir = argv[2];

  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::TimeZoneNames> zoneNames[kLanguages];
  std::unique_ptr<icu::Collator> collators[kLanguages];
  for (int l = 0; l < kLanguages; ++l) {
    zoneNames[l].reset(icu::TimeZoneNames::createInstance(icu::Locale(kLocales[l]), status));
    Check(status, "time-zone names");
    collators[l].reset(icu::Collator::createInstance(icu::Locale(kCollationLocales[l]), status));
    Check(status, "collator");
  }
  UConverter* converter = ucnv_open("windows-936-2000", &status);
  Check(status, "code page 936 converter");
  ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  Check(status, "converter callback");

  std::vector<Zone> zones;
  std::string line;
  while (std::getline(zoneTab, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string country, coordinates, id;
    std::getline(fields, country, '\t');
    std::getline(fields, coordinates, '\t');
    std::getline(fields, id, '\t');
    const size_t split = coordinates.find_first_of("+-", 1);
    Zone zone;
    zone.country = country;
    if (split == std::string::npos ||
        !ParseIso6709(coordinates.substr(0, split), 2, zone.latitude) ||
        !ParseIso6709(coordinates.substr(split), 3, zone.longitude)) {
      Fail("bad coordinates in: " + line);
    }
    zone.continent = ContinentOfPrefix(id);
    if (zone.continent < 0) zone.continent = ContinentOfCountry(country);
    if (zone.continent < 0) continue;  // no continent of the five
    UBool isSystem = false;
    status = U_ZERO_ERROR;
    icu::TimeZone::getCanonicalID(icu::UnicodeString::fromUTF8(id), zone.id, isSystem, status);
    if (U_FAILURE(status)) zone.id = icu::UnicodeString::fromUTF8(id);
    for (int l = 0; l < kLanguages; ++l) {
      zoneNames[l]->getExemplarLocationName(zone.id, zone.names[l]);
      if (zone.names[l].isEmpty()) {
        // No exemplar name in this language: the last part of the zone id.
        std::string fallback = id.substr(id.rfind('/') + 1);
        std::replace(fallback.begin(), fallback.end(), '_', ' ');
        zone.names[l] = icu::UnicodeString::fromUTF8(fallback);
      }
    }
    zones.push_back(zone);
  }

  std::printf("%-10s %-9s %9s %7s\n", "language", "continent", "countries", "cities");
  static const char* const kContinentNames[] = {"Asia", "Europe", "America", "Africa", "Oceania"};
  for (int l = 0; l < kLanguages; ++l) {
    const auto language = static_cast<UiLanguage>(l);
    for (int continent = 0; continent < location::kContinentCount; ++continent) {
      // Countries of this continent, by display name in this language.
      std::map<std::string, icu::UnicodeString> countryNames;
      for (const Zone& zone : zones) {
        if (zone.continent != continent || countryNames.count(zone.country)) continue;
        icu::UnicodeString name;
        icu::Locale("", zone.country.c_str()).getDisplayCountry(icu::Locale(kLocales[l]), name);
        countryNames[zone.country] = name;
      }
      std::vector<std::string> countries;
      for (const auto& entry : countryNames) countries.push_back(entry.first);
      auto before = [&](const icu::UnicodeString& a, const icu::UnicodeString& b) {
        UErrorCode s = U_ZERO_ERROR;
        const UCollationResult r = collators[l]->compare(a, b, s);
        return r == UCOL_LESS;
      };
      std::stable_sort(countries.begin(), countries.end(), [&](const auto& a, const auto& b) {
        return before(countryNames[a], countryNames[b]);
      });
      std::string countryTable, cityTable;
      int cityCount = 0;
      for (const std::string& country : countries) {
        std::vector<const Zone*> cities;
        for (const Zone& zone : zones) {
          if (zone.continent == continent && zone.country == country) cities.push_back(&zone);
        }
        std::stable_sort(cities.begin(), cities.end(), [&](const Zone* a, const Zone* b) {
          return before(a->names[l], b->names[l]);
        });
        if (cityCount > 255 || cities.size() > 255) Fail("a country's cities do not fit a byte");
        icu::UnicodeString countryName = countryNames[country];
        if (language == UiLanguage::kEnglish) countryName.findAndReplace(" ", "_");
        countryTable += PaddedName(ToCp936(countryName, converter));
        countryTable += static_cast<char>(cityCount);
        countryTable += static_cast<char>(cities.size());
        for (const Zone* zone : cities) {
          icu::UnicodeString cityName = zone->names[l];
          if (language == UiLanguage::kEnglish) cityName.findAndReplace(" ", "_");
          cityTable += PaddedName(ToCp936(cityName, converter));
          PutInt32(cityTable, zone->latitude);
          PutInt32(cityTable, zone->longitude);
          ++cityCount;
        }
      }
      WriteTable(outDir, location::CountryTableId(language, continent), countryTable);
      WriteTable(outDir, location::CityTableId(language, continent), cityTable);
      std::printf("%-10s %-9s %9zu %7d\n", kLocales[l], kContinentNames[continent],
                  countries.size(), cityCount);
    }
  }
  ucnv_close(converter);
  for (auto& names : zoneNames) names.reset();
  for (auto& collator : collators) collator.reset();
  u_cleanup();
  return 0;
}
