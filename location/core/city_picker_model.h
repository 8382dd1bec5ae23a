// The city picker's state and rules: region, country and city lists from
// the site tables, the candidate position of the selected city, and the
// stored selection that lets the picker reopen on the same city.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "location/core/settings_store.h"
#include "location/core/site_tables.h"
#include "location/core/string_table.h"
#include "location/core/ui_language.h"

namespace location {

inline constexpr const char* kSiteRegion = "siteRegion";      // string
inline constexpr const char* kRegionIndex = "RegionIndex";    // 32-bit
inline constexpr const char* kSiteCountry = "siteCountry";    // string
inline constexpr const char* kCountryIndex = "CountryIndex";  // 32-bit
inline constexpr const char* kSiteCity = "siteCity";          // string
inline constexpr const char* kCityIndex = "CityIndex";        // 32-bit

// The bytes of a site table by resource identifier; empty when missing.
using TableSource = std::function<std::span<const uint8_t>(int id)>;

class CityPickerModel {
 public:
  CityPickerModel(UiLanguage language, const StringTable& strings, TableSource tables);

  // Reads the stored selection: when "siteCity" is present, the names and
  // indexes, and the city counts as stored. Then fills the lists on the
  // stored positions; a position outside its list selects the first entry.
  void Load(const SettingsStore& store);

  const std::vector<std::string>& Regions() const { return regions_; }
  const std::vector<std::string>& Countries() const { return countryNames_; }
  const std::vector<std::string>& Cities() const { return cityNames_; }
  int RegionIndex() const { return region_; }
  int CountryIndex() const { return country_; }
  int CityIndex() const { return city_; }

  // A new region opens on its first country and first city; a new country on
  // its first city.
  void SelectRegion(int index);
  void SelectCountry(int index);
  void SelectCity(int index);

  // Longitude and latitude (degrees, east and north positive) of the
  // selected city; valid only when a city is selected.
  bool HasCandidate() const { return hasCandidate_; }
  double CandidateLongitude() const { return candidateLongitude_; }
  double CandidateLatitude() const { return candidateLatitude_; }

  bool CityStored() const { return stored_; }
  // "region country city", the name of the stored site.
  std::string SiteName() const;

  // Writes the six selection values and marks the city stored.
  void Save(SettingsStore& store);
  // Deletes the six values and clears the mark.
  void Delete(SettingsStore& store);

 private:
  void LoadCountries();
  void LoadCities();
  void UpdateCandidate();

  UiLanguage language_;
  TableSource tables_;
  std::vector<std::string> regions_;
  std::vector<CountryRecord> countries_;
  std::vector<CityRecord> cityTable_;
  std::vector<std::string> countryNames_;
  std::vector<std::string> cityNames_;
  int region_ = 0;
  int country_ = 0;
  int city_ = 0;
  int firstCity_ = 0;  // of the selected country, within cityTable_
  bool hasCandidate_ = false;
  double candidateLongitude_ = 0;
  double candidateLatitude_ = 0;
  std::string regionName_, countryName_, cityName_;
  bool stored_ = false;
};

}  // namespace location
