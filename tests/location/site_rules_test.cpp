// The site program's rules without widgets: the degrees-minutes-seconds
// display, wrap-around editing, apply from its three sources, the stored
// settings, the city picker over the site tables, and the string table.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "location/core/city_picker_model.h"
#include "location/core/dms.h"
#include "location/core/settings_store.h"
#include "location/core/site_controller.h"
#include "location/core/site_settings.h"
#include "location/core/site_tables.h"
#include "location/core/string_table.h"

namespace location {
namespace {

// Settings kept in memory, with the type each value was written as.
struct MemoryStore : SettingsStore {
  struct Value {
    std::string text;
    bool isInt = false;
  };
  std::optional<std::string> Read(const std::string& name) const override {
    const auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional<std::string>(it->second.text);
  }
  void WriteString(const std::string& name, const std::string& v) override { values[name] = {v}; }
  void WriteInt(const std::string& name, int32_t v) override {
    values[name] = {std::to_string(v), true};
  }
  void Remove(const std::string& name) override { values.erase(name); }
  bool Sync() override { return syncSucceeds; }

  std::map<std::string, Value> values;
  bool syncSucceeds = true;
};

// 0.5 and -73.25 degrees and the elevation digits are shown through the
// widgets (tests/location_widgets); the angle the fields give back, in
// single precision, is in the apply table below.
TEST(Dms, DisplayTruncatesRoundsAndCarries) {
  struct Case {
    double degrees;
    int d, m, s, sign;
  } cases[] = {
      {-0.50833333, 0, 30, 30, -1},
      {10 + 1.0 / 60 + 59.6 / 3600, 10, 2, 0, 1},   // 59.6 s rounds to 60: minutes + 1
      {10 + 59.0 / 60 + 59.7 / 3600, 11, 0, 0, 1},  // ... and 60 minutes carry on
      {-12.9999999, 13, 0, 0, -1},                  // west and south carry alike
      {0.0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const DmsDisplay shown = ToDms(c.degrees);
    EXPECT_EQ((std::array{shown.degrees, shown.minutes, shown.seconds, shown.sign}),
              (std::array{c.d, c.m, c.s, c.sign}))
        << c.degrees;
  }
}

// Latitude degrees 0 to 89, the last elevation digit 9 to 0 and the
// hemisphere flips are driven through the widgets (tests/location_widgets).
TEST(SiteEditor, UpAndDownWrapAroundEachField) {
  struct Case {
    int control;
    const char* text;
    int delta;
    const char* expected;
  } cases[] = {
      {1002, "179", +1, "0"}, {1002, "0", -1, "179"}, {1006, "89", +1, "0"}, {1003, "59", +1, "0"},
      {1008, "0", -1, "59"},  {1010, "0", -1, "9"},   {1004, "x", +1, "1"},  // not a number: 0
  };
  for (const Case& c : cases) {
    SiteEditor editor;
    editor.SetText(c.control, c.text);
    editor.SetEdited(false);
    editor.Focus(c.control);
    editor.Step(c.delta);
    EXPECT_EQ(editor.Text(c.control), c.expected) << c.control << " " << c.text;
    EXPECT_TRUE(editor.Edited());
  }
}

// The arrows' wrap from the last field to the first is driven through the
// widgets (tests/location_widgets).
TEST(SiteEditor, FocusSelectsGroupAndIndexAndAZeroAngleKeepsItsHemisphere) {
  SiteEditor editor;
  editor.Focus(1003);
  editor.Focus(1011);
  EXPECT_EQ(editor.SelectedGroup(), 3);
  EXPECT_EQ(editor.SelectedIndex(3), 1);
  EXPECT_EQ(editor.SelectedIndex(1), 1);  // each group keeps its own position
  EXPECT_FALSE(editor.Edited());
  // A zero angle keeps the hemisphere shown.
  editor.Show(-10, -10, 0);
  editor.Show(0, 0, 0);
  EXPECT_EQ(editor.HemisphereLine(kLonHemisphere), 1);
  EXPECT_DOUBLE_EQ(editor.Longitude(), 0.0);
}

TEST(Settings, BadStoredValuesKeepTheDefaults) {
  struct Case {
    const char* name;
    const char* text;
    double longitude, latitude;
    int elevation;
  } cases[] = {
      {kSiteLon, " -118.06", -118.06, 30, 0}, {kSiteLon, "+1e1", 10, 30, 0},
      {kSiteLon, "abc", 120, 30, 0},          {kSiteLon, "180.5", 120, 30, 0},
      {kSiteLon, "nan", 120, 30, 0},          {kSiteLat, "-90", 120, -90, 0},
      {kSiteLat, "90.01", 120, 30, 0},        {kElevation, "1742", 120, 30, 1742},
      {kElevation, "12345", 120, 30, 0},      {kElevation, "-3", 120, 30, 0},
      {kElevation, "12x", 120, 30, 0},
  };
  for (const Case& c : cases) {
    MemoryStore store;
    store.values[c.name] = {c.text};
    const StoredSite site = ReadSite(store);
    EXPECT_DOUBLE_EQ(site.longitude, c.longitude) << c.name << "=" << c.text;
    EXPECT_DOUBLE_EQ(site.latitude, c.latitude) << c.name << "=" << c.text;
    EXPECT_EQ(site.elevation, c.elevation) << c.name << "=" << c.text;
  }
}

// Site tables built in the test: continent 0 has two countries, the second
// of which claims more cities than the table holds; continent 1 has one.
struct Tables {
  std::map<int, std::vector<uint8_t>> bytes;

  static void Name(std::vector<uint8_t>& out, std::string_view name) {
    std::vector<uint8_t> field(kNameBytes, 0);
    std::copy_n(name.begin(), std::min(name.size(), kNameBytes), field.begin());
    out.insert(out.end(), field.begin(), field.end());
  }
  void Country(int continent, std::string_view name, uint8_t first, uint8_t count) {
    auto& table = bytes[CountryTableId(UiLanguage::kEnglish, continent)];
    Name(table, name);
    table.push_back(first);
    table.push_back(count);
  }
  void City(int continent, std::string_view name, int32_t lat, int32_t lon) {
    auto& table = bytes[CityTableId(UiLanguage::kEnglish, continent)];
    Name(table, name);
    for (const int32_t v : {lat, lon}) {
      for (int shift = 0; shift < 32; shift += 8) table.push_back(static_cast<uint8_t>(v >> shift));
    }
  }
  Tables() {
    Country(0, "China", 0, 2);
    Country(0, "Long", 2, 5);
    City(0, "\xC9\xCF\xBA\xA3", 3123, 12147);  // Shanghai in code page 936
    City(0, "Urumqi", 4380, 8758);
    City(0, "A_name_that_fills_28_bytes!!", -1, -2);
    Country(1, "Switzerland", 0, 1);
    City(1, "Zurich", 4738, 853);
  }
  TableSource Source() {
    return [this](int id) { return std::span<const uint8_t>(bytes[id]); };
  }
};

StringTable Strings() {
  std::ifstream file(LOCATION_STRINGS_FILE);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return StringTable::Parse(text);
}

// A change of continent resets country and city, and the picker reopens on
// the stored continent and country, through the widgets
// (tests/location_widgets); the city's site is the "picker" row of the apply
// table below.
TEST(CityPicker, ListsResetAndReopenOnTheStoredCity) {
  Tables tables;
  const StringTable strings = Strings();
  MemoryStore store;
  CityPickerModel picker(UiLanguage::kEnglish, strings, tables.Source());
  picker.Load(store);  // nothing stored: first continent, country, city
  EXPECT_FALSE(picker.CityStored());
  EXPECT_EQ(picker.Cities(), (std::vector<std::string>{"上海", "Urumqi"}));

  picker.SelectCity(1);
  picker.SelectCountry(1);  // claims five cities, the table holds one more
  EXPECT_EQ(picker.Cities(), (std::vector<std::string>{"A_name_that_fills_28_bytes!!"}));
  EXPECT_EQ(picker.CityIndex(), 0);
  picker.SelectRegion(2);  // an empty continent offers nothing to apply
  EXPECT_FALSE(picker.HasCandidate());

  picker.SelectRegion(0);
  picker.SelectCity(1);
  picker.Save(store);
  CityPickerModel reopened(UiLanguage::kEnglish, strings, tables.Source());
  reopened.Load(store);
  EXPECT_TRUE(reopened.CityStored());
  EXPECT_EQ(reopened.SiteName(), "Asia China Urumqi");
  EXPECT_EQ(store.values[kCityIndex].text, "1");
  EXPECT_TRUE(store.values[kCityIndex].isInt);

  // Indexes edited out of range select the first entries, never beyond.
  store.values[kRegionIndex] = {"9", true};
  store.values[kCountryIndex] = {"99", true};
  store.values[kCityIndex] = {"-3", true};
  reopened.Load(store);
  EXPECT_EQ(reopened.RegionIndex() + reopened.CountryIndex() + reopened.CityIndex(), 0);
  reopened.Delete(store);
  EXPECT_TRUE(store.values.empty());
  EXPECT_FALSE(reopened.CityStored());
}

struct Recorder : Broadcaster {
  void Broadcast(uint32_t message, uint32_t wParam, int32_t lParam) override {
    sent.push_back({message, wParam, static_cast<uint32_t>(lParam)});
  }
  std::vector<std::array<uint32_t, 3>> sent;
};

// A save that fails is reported, and the others still hear of the site.
// Night mode, which only the embedded layout shows, is driven through the
// widgets (tests/location_widgets).
TEST(SiteController, ApplyTakesTheSiteFromItsSource) {
  using enum ApplySource;
  Tables tables;
  const StringTable strings = Strings();
  struct Case {
    const char* what;
    ApplySource source;
    bool stepFirst;
    GpsSite gps;
    bool applied;
    const char *lon, *lat;
    int elevation;
    bool cityKept, saved = true;
  } cases[] = {
      // clang-format off
      {"focus only", kFields, false, {}, true, "121.4700012", "31.23000145", 0, true},
      {"after an edit", kFields, true, {}, true, "122.4700012", "31.23000145", 0, false},
      {"picker", kPicker, true, {}, true, "121.47", "31.23", 0, true},
      {"gps", kGps, false, {true, -118.06, 34.2, 1742.9}, true, "-118.06", "34.2", 1742, false},
      {"gps below sea", kGps, false, {true, 35.5, 31.5, -420}, true, "35.5", "31.5", 0, false},
      {"gps without fix", kGps, false, {false, 1, 2, 3}, false, "", "", 0, true},
      {"save fails", kFields, false, {}, true, "121.4700012", "31.23000145", 0, true, false},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryStore store;
    Recorder broadcasts;
    std::ostringstream errors;
    CityPickerModel picker(UiLanguage::kEnglish, strings, tables.Source());
    picker.Load(store);
    picker.Save(store);  // Asia China Shanghai is the stored city
    store.syncSucceeds = c.saved;
    SiteController controller(store, broadcasts, picker, strings, UiLanguage::kEnglish, false,
                              errors);
    store.values[kSiteLon] = {"121.47"};
    store.values[kSiteLat] = {"31.23"};
    controller.Initialise();
    EXPECT_EQ(controller.SiteNameLine(), "Asia China 上海");
    controller.Editor().Focus(1002);
    if (c.stepFirst) controller.Editor().Step(+1);
    store.values.erase(kSiteLon);
    EXPECT_EQ(controller.Apply(c.source, c.gps), c.applied);
    EXPECT_EQ(broadcasts.sent.size(), c.applied ? 1u : 0u);
    EXPECT_EQ(store.Read(kSiteLon).value_or(""), c.lon);
    EXPECT_EQ(errors.str().find("could not be saved") != std::string::npos, !c.saved);
    if (!c.applied) continue;
    EXPECT_EQ(broadcasts.sent[0], (std::array<uint32_t, 3>{0x052C, 0, 0}));
    EXPECT_EQ(store.values[kSiteLat].text, c.lat);
    EXPECT_EQ(store.values[kElevation].text, std::to_string(c.elevation));
    EXPECT_TRUE(store.values[kElevation].isInt && !store.values[kSiteLat].isInt);
    EXPECT_EQ(store.values.count(kSiteCity) == 1, c.cityKept);
    EXPECT_EQ(controller.SiteNameLine(), c.cityKept ? "Asia China 上海" : "User-defined site");
  }
}

// The hemisphere names are read through the widgets (tests/location_widgets).
TEST(StringTable, EveryCaptionExistsInEveryLanguage) {
  const StringTable strings = Strings();
  for (const UiLanguage language :
       {UiLanguage::kEnglish, UiLanguage::kSimplified, UiLanguage::kTraditional}) {
    const CaptionIds& c = CaptionsFor(language);
    std::vector<int> ids = {c.cityButton,
                            c.apply,
                            c.hemisphereLon,
                            c.hemisphereLat,
                            c.siteWithoutName,
                            c.connectIdle,
                            c.connectLocating,
                            c.back,
                            c.gps};
    for (int i = 0; i < 5; ++i) ids.push_back(c.regionsFirst + i);
    for (int i = 0; i < 3; ++i) ids.push_back(c.pickerLabelsFirst + i);
    ids.insert(ids.end(), std::begin(c.groupLabels), std::end(c.groupLabels));
    ids.insert(ids.end(), std::begin(c.gpsLines), std::end(c.gpsLines));
    for (const int id : ids) EXPECT_FALSE(strings.Get(id).empty()) << id;
  }
  EXPECT_EQ(FormatLine(strings.Get(42), {120.5}), "Longitude: 120.500000");
  EXPECT_EQ(FormatLine(strings.Get(45), {2024, 3, 21, 4, 30, 15.9}),
            "Local Time:  2024-3-21 4:30:15");  // a double given to %d is cut, not read raw
  EXPECT_EQ(FormatLine("%s %d %d 100%%", {7}), "%s 7 %d 100%");  // no value, no read
  struct Language {
    uint16_t id;
    UiLanguage language;
  } languages[] = {{0x0404, UiLanguage::kTraditional},
                   {0x0804, UiLanguage::kSimplified},
                   {0x0C04, UiLanguage::kSimplified},
                   {0x0409, UiLanguage::kEnglish},
                   {0x0411, UiLanguage::kEnglish}};
  for (const Language& l : languages) EXPECT_EQ(UiLanguageFromId(l.id), l.language) << l.id;
}

std::vector<uint8_t> GeneratedTable(int id) {
  std::ifstream file(std::string(LOCATION_SITE_DIR) + "/" + std::to_string(id) + ".bin",
                     std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
}

TEST(GeneratedSiteTables, EveryCountryPointsIntoItsCityTable) {
  for (int continent = 0; continent < kContinentCount; ++continent) {
    size_t englishCities = 0;
    for (const UiLanguage language :
         {UiLanguage::kEnglish, UiLanguage::kSimplified, UiLanguage::kTraditional}) {
      const auto countries = ParseCountries(GeneratedTable(CountryTableId(language, continent)));
      const auto cities = ParseCities(GeneratedTable(CityTableId(language, continent)));
      ASSERT_FALSE(countries.empty());
      size_t covered = 0;
      for (const CountryRecord& country : countries) {
        EXPECT_EQ(static_cast<size_t>(country.firstCity), covered) << country.name;
        EXPECT_GT(country.cityCount, 0);
        covered += country.cityCount;
        if (language == UiLanguage::kEnglish) {
          EXPECT_EQ(country.name.find(' '), std::string::npos) << country.name;
        }
        EXPECT_EQ(Cp936ToUtf8(country.name).find("\xEF\xBF\xBD"), std::string::npos);
      }
      EXPECT_EQ(covered, cities.size());
      for (const CityRecord& city : cities) {
        EXPECT_LE(std::abs(city.latitudeHundredths), 9000);
        EXPECT_LE(std::abs(city.longitudeHundredths), 18000);
      }
      if (language == UiLanguage::kEnglish) englishCities = cities.size();
      EXPECT_EQ(cities.size(), englishCities);
    }
  }
  const auto asia = ParseCities(GeneratedTable(CityTableId(UiLanguage::kSimplified, 0)));
  const auto shanghai = std::find_if(asia.begin(), asia.end(), [](const CityRecord& city) {
    return Cp936ToUtf8(city.name) == "上海";
  });
  ASSERT_NE(shanghai, asia.end());
  EXPECT_EQ(shanghai->latitudeHundredths, 3123);
  EXPECT_EQ(shanghai->longitudeHundredths, 12147);
}

}  // namespace
}  // namespace location
