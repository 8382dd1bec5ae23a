// Main dialog rules: stored site, display refresh and apply.
#include "location/core/site_controller.h"

#include <algorithm>
#include <cmath>

#include "location/core/site_settings.h"

namespace location {

SiteController::SiteController(SettingsStore& store, Broadcaster& broadcaster,
                               CityPickerModel& picker, const StringTable& strings,
                               UiLanguage language, bool embedded, std::ostream& errors)
    : store_(store),
      broadcaster_(broadcaster),
      picker_(picker),
      strings_(strings),
      language_(language),
      embedded_(embedded),
      errors_(errors),
      longitude_(kDefaultLongitude),
      latitude_(kDefaultLatitude) {}

void SiteController::Initialise() {
  const StoredSite site = ReadSite(store_);
  longitude_ = site.longitude;
  latitude_ = site.latitude;
  elevation_ = site.elevation;
  nightMode_ = embedded_ && site.nightMode;
  // The stored city is read now rather than when the picker first opens, so
  // that the site-name line names it from the start.
  picker_.Load(store_);
  RefreshDisplay();
}

void SiteController::RefreshDisplay() {
  RefreshSiteName();
  editor_.Show(longitude_, latitude_, elevation_);
}

void SiteController::RefreshSiteName() {
  siteName_ = picker_.CityStored() ? picker_.SiteName()
                                   : strings_.Get(CaptionsFor(language_).siteWithoutName);
  editor_.SetEdited(false);
}

bool SiteController::Apply(ApplySource source, const GpsSite& gps) {
  if ((source == ApplySource::kPicker && !picker_.HasCandidate()) ||
      (source == ApplySource::kGps && !gps.located)) {
    return false;
  }
  elevation_ = std::clamp(editor_.Elevation(), 0, kMaxElevation);
  switch (source) {
    case ApplySource::kPicker:
      longitude_ = picker_.CandidateLongitude();
      latitude_ = picker_.CandidateLatitude();
      picker_.Save(store_);
      RefreshSiteName();
      break;
    case ApplySource::kGps:
      longitude_ = gps.longitude;
      latitude_ = gps.latitude;
      // Whole metres in the range the four digits hold.
      elevation_ = std::isfinite(gps.elevation)
                       ? static_cast<int>(std::clamp(std::trunc(gps.elevation), 0.0,
                                                     static_cast<double>(kMaxElevation)))
                       : 0;
      editor_.SetEdited(true);
      picker_.Delete(store_);
      RefreshSiteName();
      break;
    case ApplySource::kFields:
      if (editor_.Edited()) picker_.Delete(store_);
      RefreshSiteName();
      longitude_ = editor_.Longitude();
      latitude_ = editor_.Latitude();
      break;
  }
  WriteSite(store_, longitude_, latitude_, elevation_);
  if (!store_.Sync()) {
    errors_ << "location: the site could not be saved to the settings file\n";
  }
  broadcaster_.Broadcast(kSiteChangedMessage, 0, 0);
  return true;
}

}  // namespace location
