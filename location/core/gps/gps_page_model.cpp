// GPS page rules: toggle, close, captions, lines and the offered site.
#include "location/core/gps/gps_page_model.h"

namespace location::gps {

GpsPageModel::GpsPageModel(const StringTable& strings, UiLanguage language, GpsReader& reader,
                           std::string devicePath)
    : strings_(strings),
      captions_(CaptionsFor(language)),
      reader_(reader),
      devicePath_(std::move(devicePath)) {}

void GpsPageModel::SetLine(int line, std::initializer_list<double> values) {
  lines_[line] = FormatLine(strings_.Get(captions_.gpsLines[line]), values);
}

void GpsPageModel::Initialise() {
  running_ = false;
  SetLine(kLongitudeLine, {0});
  SetLine(kLatitudeLine, {0});
  SetLine(kSatellitesLine, {0});
  SetLine(kTimeLine, {0, 0, 0, 0, 0, 0});
  connectCaption_ = strings_.Get(captions_.connectIdle);
  applyEnabled_ = false;
}

void GpsPageModel::Toggle() {
  if (running_) {
    connectCaption_ = strings_.Get(captions_.connectIdle);
    reader_.RequestStop();
  } else {
    connectCaption_ = strings_.Get(captions_.connectLocating);
    located_ = positionRead_ = false;
    worker_ = reader_.Start(devicePath_);
  }
  applyEnabled_ = false;
  running_ = !running_;
}

void GpsPageModel::Close() {
  if (reader_.StopRequested()) return;
  reader_.RequestStop();
  running_ = false;
  connectCaption_ = strings_.Get(captions_.connectIdle);
}

// Apply is offered once this run has both a good fix and a position, so that
// a fix reported before the first position cannot apply a stale or zero one.
void GpsPageModel::OfferIfReady() {
  if (located_ && positionRead_) applyEnabled_ = true;
}

void GpsPageModel::OnSatellites(int worker, int count) {
  if (Current(worker)) SetLine(kSatellitesLine, {static_cast<double>(count)});
}

void GpsPageModel::OnPosition(int worker, double longitude, double latitude) {
  if (!Current(worker)) return;
  SetLine(kLongitudeLine, {longitude});
  SetLine(kLatitudeLine, {latitude});
  positionRead_ = true;
  OfferIfReady();
}

void GpsPageModel::OnLocated(int worker) {
  if (!Current(worker)) return;
  connectCaption_ = strings_.Get(kLocatedCaption);
  located_ = true;
  OfferIfReady();
}

void GpsPageModel::OnTime(int worker, const GpsTime& utc) {
  if (!Current(worker)) return;
  // One instant throughout: the received time in the local time zone.
  const GpsTime local = ToLocalTime(utc);
  SetLine(kTimeLine, {static_cast<double>(local.year), static_cast<double>(local.month),
                      static_cast<double>(local.day), static_cast<double>(local.hour),
                      static_cast<double>(local.minute), static_cast<double>(local.second)});
}

void GpsPageModel::OnProbeFailed(int worker) {
  if (Current(worker) && running_) Toggle();
}

GpsSite GpsPageModel::Site() const {
  const GpsState state = reader_.State();
  return {applyEnabled_ && state.positionKnown, state.longitude, state.latitude, state.elevation};
}

}  // namespace location::gps
