// City picker rules: list loading, resets, candidate position, stored selection.
#include "location/core/city_picker_model.h"

#include <algorithm>

namespace location {
namespace {

int Clamp(int index, size_t size) {
  return index >= 0 && static_cast<size_t>(index) < size ? index : 0;
}

std::vector<std::string> Names(const auto& records) {
  std::vector<std::string> names;
  names.reserve(records.size());
  for (const auto& record : records) names.push_back(Cp936ToUtf8(record.name));
  return names;
}

}  // namespace

CityPickerModel::CityPickerModel(UiLanguage language, const StringTable& strings,
                                 TableSource tables)
    : language_(language), tables_(std::move(tables)) {
  const int first = CaptionsFor(language).regionsFirst;
  for (int i = 0; i < kContinentCount; ++i) regions_.push_back(strings.Get(first + i));
}

void CityPickerModel::Load(const SettingsStore& store) {
  stored_ = false;
  region_ = country_ = city_ = 0;
  if (const auto city = store.Read(kSiteCity)) {
    regionName_ = store.Read(kSiteRegion).value_or("");
    countryName_ = store.Read(kSiteCountry).value_or("");
    cityName_ = *city;
    country_ = ParseStoredInt(store.Read(kCountryIndex)).value_or(0);
    region_ = ParseStoredInt(store.Read(kRegionIndex)).value_or(0);
    city_ = ParseStoredInt(store.Read(kCityIndex)).value_or(0);
    stored_ = true;
  }
  region_ = Clamp(region_, regions_.size());
  LoadCountries();
}

void CityPickerModel::LoadCountries() {
  const std::span<const uint8_t> table = tables_(CountryTableId(language_, region_));
  countries_ = ParseCountries(table);
  countryNames_ = Names(countries_);
  regionName_ = regions_[region_];
  country_ = Clamp(country_, countries_.size());
  LoadCities();
}

void CityPickerModel::LoadCities() {
  cityTable_ = ParseCities(tables_(CityTableId(language_, region_)));
  cityNames_.clear();
  firstCity_ = 0;
  if (!countries_.empty()) {
    const CountryRecord& country = countries_[country_];
    // A country whose range runs past the city table keeps only the cities
    // that are there.
    firstCity_ = std::min<int>(country.firstCity, static_cast<int>(cityTable_.size()));
    const int count =
        std::min<int>(country.cityCount, static_cast<int>(cityTable_.size()) - firstCity_);
    std::vector<CityRecord> cities(cityTable_.begin() + firstCity_,
                                   cityTable_.begin() + firstCity_ + count);
    cityNames_ = Names(cities);
    countryName_ = countryNames_[country_];
  }
  city_ = Clamp(city_, cityNames_.size());
  UpdateCandidate();
}

void CityPickerModel::UpdateCandidate() {
  hasCandidate_ = !cityNames_.empty();
  if (!hasCandidate_) return;
  const CityRecord& record = cityTable_[firstCity_ + city_];
  candidateLongitude_ = record.longitudeHundredths * 0.01;
  candidateLatitude_ = record.latitudeHundredths * 0.01;
  cityName_ = cityNames_[city_];
}

void CityPickerModel::SelectRegion(int index) {
  region_ = Clamp(index, regions_.size());
  country_ = city_ = 0;
  LoadCountries();
}

void CityPickerModel::SelectCountry(int index) {
  country_ = Clamp(index, countries_.size());
  city_ = 0;
  LoadCities();
}

void CityPickerModel::SelectCity(int index) {
  city_ = Clamp(index, cityNames_.size());
  UpdateCandidate();
}

std::string CityPickerModel::SiteName() const {
  return regionName_ + " " + countryName_ + " " + cityName_;
}

void CityPickerModel::Save(SettingsStore& store) {
  store.WriteString(kSiteRegion, regionName_);
  store.WriteInt(kRegionIndex, region_);
  store.WriteString(kSiteCountry, countryName_);
  store.WriteInt(kCountryIndex, country_);
  store.WriteString(kSiteCity, cityName_);
  store.WriteInt(kCityIndex, city_);
  stored_ = true;
}

void CityPickerModel::Delete(SettingsStore& store) {
  for (const char* name :
       {kSiteCity, kSiteCountry, kSiteRegion, kCityIndex, kCountryIndex, kRegionIndex}) {
    store.Remove(name);
  }
  stored_ = false;
}

}  // namespace location
