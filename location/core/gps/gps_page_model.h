// The GPS page's rules, without the widgets: the connect toggle, the
// captions and the four text lines, and what the page offers to apply.
// Everything here runs on the page's thread; the worker's reports reach it
// through the On* calls, which ignore reports of a worker since replaced.
#pragma once

#include <array>
#include <string>

#include "location/core/gps/gps_reader.h"
#include "location/core/site_controller.h"
#include "location/core/string_table.h"
#include "location/core/ui_language.h"

namespace location::gps {

class GpsPageModel {
 public:
  GpsPageModel(const StringTable& strings, UiLanguage language, GpsReader& reader,
               std::string devicePath);

  // The four lines show their formats with zero values; idle caption; apply
  // disabled; not running.
  void Initialise();
  // Connect button: stops a running reader, or starts a new one.
  void Toggle();
  // Escape while the page shows: stops a running reader.
  void Close();

  void OnSatellites(int worker, int count);
  void OnPosition(int worker, double longitude, double latitude);
  void OnLocated(int worker);
  void OnTime(int worker, const GpsTime& utc);
  void OnProbeFailed(int worker);

  enum Line { kLongitudeLine, kLatitudeLine, kSatellitesLine, kTimeLine };
  const std::string& LineText(int line) const { return lines_[line]; }
  const std::string& ConnectCaption() const { return connectCaption_; }
  bool ApplyEnabled() const { return applyEnabled_; }
  bool Running() const { return running_; }
  // What apply takes: the last position read, once the page offers it.
  GpsSite Site() const;

 private:
  bool Current(int worker) const { return worker == worker_; }
  void SetLine(int line, std::initializer_list<double> values);
  void OfferIfReady();

  const StringTable& strings_;
  const CaptionIds& captions_;
  GpsReader& reader_;
  std::string devicePath_;
  std::array<std::string, 4> lines_;
  std::string connectCaption_;
  bool running_ = false;
  bool applyEnabled_ = false;
  bool located_ = false;       // this run reported a good fix
  bool positionRead_ = false;  // this run reported a position
  int worker_ = 0;             // the worker whose reports count
};

}  // namespace location::gps
