// The main dialog's rules, without the widgets: the stored site, the
// display of the fields and the site-name line, and apply with its three
// sources (the city picker, the GPS page, or the fields).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "location/core/city_picker_model.h"
#include "location/core/settings_store.h"
#include "location/core/site_editor.h"
#include "location/core/string_table.h"
#include "location/core/ui_language.h"

namespace location {

// The message every other program of the controller reloads the site on.
inline constexpr uint32_t kSiteChangedMessage = 0x052C;

class Broadcaster {
 public:
  virtual ~Broadcaster() = default;
  virtual void Broadcast(uint32_t message, uint32_t wParam, int32_t lParam) = 0;
};

// Which secondary page is showing, and so where apply takes the site from.
enum class ApplySource { kFields, kPicker, kGps };

// What the GPS page offers to apply.
struct GpsSite {
  bool located = false;  // a position has been read
  double longitude = 0;
  double latitude = 0;
  double elevation = 0;
};

class SiteController {
 public:
  // `errors` receives a line when the settings cannot be saved.
  SiteController(SettingsStore& store, Broadcaster& broadcaster, CityPickerModel& picker,
                 const StringTable& strings, UiLanguage language, bool embedded,
                 std::ostream& errors);

  // Reads the stored site, night mode (only when embedded) and the stored
  // city, and shows them.
  void Initialise();
  // Shows the site in the fields and refreshes the site-name line.
  void RefreshDisplay();
  // The site-name line: the stored city's names, or the text for a site
  // without a name. Clears the edited flag.
  void RefreshSiteName();

  // Applies the site from `source`, stores it and broadcasts the change.
  // Returns false, changing nothing, when the source has no site to offer
  // (no city selected, or no GPS position read yet).
  bool Apply(ApplySource source, const GpsSite& gps = {});

  SiteEditor& Editor() { return editor_; }
  const std::string& SiteNameLine() const { return siteName_; }
  double Longitude() const { return longitude_; }
  double Latitude() const { return latitude_; }
  int Elevation() const { return elevation_; }
  bool NightMode() const { return nightMode_; }
  bool Embedded() const { return embedded_; }
  UiLanguage Language() const { return language_; }

 private:
  SettingsStore& store_;
  Broadcaster& broadcaster_;
  CityPickerModel& picker_;
  const StringTable& strings_;
  UiLanguage language_;
  bool embedded_;
  std::ostream& errors_;
  SiteEditor editor_;
  double longitude_;
  double latitude_;
  int elevation_ = 0;
  bool nightMode_ = false;
  std::string siteName_;
};

}  // namespace location
