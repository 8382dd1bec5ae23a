// Every library call the driver makes, run on the library worker thread.
#include "indi/mount_session.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "host/civil_time.h"
#include "host/library_text.h"
#include "host/model_facts.h"
#include "host/mount_connect.h"
#include "host/park_position.h"
#include "host/sky_coordinates.h"
#include "host/sync_model.h"
#include "host/sync_restore.h"
#include "host/tracking_rate.h"
#include "indi/host_names.h"
#include "indi/library_text.h"

namespace sidera::indi {
namespace {

// The local apparent sidereal time now: INDI's EOD coordinates are of date.
double LocalSiderealTimeNow(const host::SkyClock& clock, double longitude) {
  return host::LocalApparentSiderealTimeAt(longitude,
                                           clock.UtcMillis(host::SkyClock::Steady::now()));
}

SkyPoint SkyOf(const host::SyncPoint& star) {
  return SkyPoint{star.observation.hourAngle, star.observation.declination};
}

}  // namespace

Outcome MountSession::Fail(int code, const std::string& what) {
  if (code == SIDERA_OK) return {};
  return Outcome{code, host::LibraryFailure(code, what)};
}

ConnectResult MountSession::Connect(const ConnectRequest& request) {
  ConnectResult result;
  // Chosen through the library, not the environment, which the event loop
  // may be reading meanwhile.
  SetDebugTopics(request.debug ? "all" : "");
  const host::ConnectOutcome connect = host::ConnectMount(
      {request.model, request.devicePath, "choose one in DEVICE_PORT on the Connection tab",
       "choose its model in MOUNT_MODEL"},
      Radians(request.site.latitude), request.site.elevation);
  if (!connect.ok()) {
    result.outcome = Outcome{connect.code, connect.failure};
    return result;
  }
  equatorial_ = IsEquatorialMount() == 1;
  model_ = request.model;
  southern_ = request.site.latitude < 0;
  book_.Clear();
  if (request.savedAlignment) {
    result.alignmentLoad = Load(*request.savedAlignment, "Loading the saved alignment");
    result.alignmentLoaded = result.alignmentLoad.ok();
  }
  result.equatorial = equatorial_;
  return result;
}

void MountSession::Disconnect() {
  (void)DestroyMount();  // always 0
  book_.Clear();
}

namespace {

// `code` of a goto as asked, with the mount's record once it was taken.
GotoStart Started(int code, const std::string& what) {
  GotoStart start{MountSession::Fail(code, what)};
  if (code == SIDERA_OK) (void)GetMotionOutcome(SIDERA_OUTCOME_MOUNT, &start.record);
  return start;
}

}  // namespace

GotoStart MountSession::Goto(const host::SkyClock& clock, double longitude, double raHours,
                             double decDegrees) {
  const double hourAngle = HourAngleOf(raHours, LocalSiderealTimeNow(clock, longitude));
  return Started(GotoSky(hourAngle, Radians(decDegrees)),
                 "Goto to " + host::CoordinatesText(raHours, decDegrees));
}

SyncResult MountSession::Sync(const host::SkyClock& clock, double longitude, double raHours,
                              double decDegrees) {
  SyncResult result;
  const std::string what = "Sync on " + host::CoordinatesText(raHours, decDegrees);
  host::SyncPoint star;
  const int read = host::ObserveCentredStar(
      raHours, decDegrees, [&] { return clock.UtcMillis(host::SkyClock::Steady::now()); },
      longitude, &star);
  if (read != SIDERA_OK) {
    result.outcome = Fail(read, what);
    return result;
  }
  host::SyncPoints next = book_;
  next.Add(star);

  // Every point goes to AlignStars: one to three give the alignments of
  // that count, more the many-star model; the newest reads back exactly.
  const auto& s = next.points();
  const std::vector<AlignStar> observations = next.Observations();
  const int code = host::FitOrRestore(
      [&] { return AlignStars(observations.data(), static_cast<int>(observations.size())); });
  if (s.size() == 1) result.rating = CheckStars1(SkyOf(s[0]));
  if (s.size() == 2) result.rating = CheckStars2(SkyOf(s[0]), SkyOf(s[1]), 0);
  if (s.size() == 3) result.rating = CheckStars3(SkyOf(s[0]), SkyOf(s[1]), SkyOf(s[2]));
  if (code != SIDERA_OK) {
    result.outcome = Fail(code, what + " with " + std::to_string(s.size()) + " stars");
    result.alignment = Alignment();
    return result;
  }
  book_ = next;
  result.alignment = Alignment();
  return result;
}

Outcome MountSession::ClearAlignment(AlignmentState* state) {
  book_.Clear();
  const Outcome o = Fail(SetMountErrors(0.0, 0.0), "Clearing the alignment");
  *state = Alignment();
  return o;
}

Outcome MountSession::LoadAlignment(const SavedAlignment& saved) {
  return Load(saved, "Loading the alignment");
}

Outcome MountSession::Load(const SavedAlignment& saved, const std::string& what) {
  book_.Clear();
  if (saved.record) return Fail(::LoadAlignment(&*saved.record), what);
  const int code = LoadAlignmentModel(saved.model.data(), static_cast<int>(saved.model.size()));
  if (code != SIDERA_OK) return Fail(code, what);
  // The model's stars are the points synced before, in order.
  int count = 0;
  AlignStar none{};
  (void)GetAlignmentStars(&none, 0, &count);  // 0: a mount
  std::vector<AlignStar> stars(static_cast<size_t>(count));
  if (count > 0 && GetAlignmentStars(stars.data(), count, &count) != SIDERA_OK) stars.clear();
  for (size_t i = 0; i < stars.size(); ++i) {
    host::SyncPoint point;
    // A point without its place (a text cut short) is never replaced by a
    // sync near it, only pushed out.
    point.rightAscension = i < saved.places.size() ? saved.places[i].first : std::nan("");
    point.declination = i < saved.places.size() ? saved.places[i].second : std::nan("");
    point.observation = stars[i];
    book_.Add(point);
  }
  return Fail(SIDERA_OK, what);
}

AlignmentState MountSession::Alignment() {
  AlignmentState state;
  AlignmentRecord record{};
  (void)SaveAlignment(&record);  // returns the record size
  if (!record.isAligned) return state;
  state.stars = static_cast<int>(book_.points().size());
  state.used = state.stars;
  state.quality = GetAlignmentQuality(&state.residual);
  // The points the last fit dropped as centred on the wrong object.
  int count = 0;
  std::vector<double> residuals(host::SyncPoints::kMaxPoints);
  std::vector<int> used(host::SyncPoints::kMaxPoints);
  if (GetAlignmentResiduals(residuals.data(), used.data(), static_cast<int>(used.size()), &count) ==
          SIDERA_OK &&
      count == state.stars) {
    state.used = 0;
    for (int i = 0; i < count; ++i) state.used += used[i];
  }
  // The whole model with its stars, and the points' places.
  int size = 0;
  (void)SaveAlignmentModel(nullptr, 0, &size);  // 4: the size it needs
  std::vector<uint8_t> model(static_cast<size_t>(size > 0 ? size : 0));
  if (SaveAlignmentModel(model.data(), size, &size) != SIDERA_OK) return state;
  std::vector<std::pair<double, double>> places;
  for (const host::SyncPoint& p : book_.points())
    places.emplace_back(p.rightAscension, p.declination);
  state.saved = SavedAlignmentToText(model, places);
  return state;
}

GotoStart MountSession::Park(std::optional<double> axis0Degrees,
                             std::optional<double> axis1Degrees) {
  const host::ModelFacts* facts = host::FactsOf(model_);
  if (facts == nullptr) return GotoStart{Fail(SIDERA_NO_MOUNT, "Parking")};
  GotoStart start;
  const AxisPair park = host::ParkAxes(*facts, axis0Degrees, axis1Degrees);
  start.outcome = Fail(host::GotoFixedPosition(park, &start.record), "Parking");
  return start;
}

Outcome MountSession::SetTracking(bool on) {
  return Fail(::SetTracking(on ? 1 : 0), on ? "Starting tracking" : "Stopping tracking");
}

int LibraryTrackingMode(int indiMode) {
  switch (indiMode) {
    case 1:
      return host::kSolarTracking;
    case 2:
      return host::kLunarTracking;
    default:
      return host::kSiderealTracking;
  }
}

Outcome MountSession::SetTrackingMode(int indiMode, bool restartTracking) {
  return Fail(host::ChangeTrackingRate(LibraryTrackingMode(indiMode), restartTracking),
              "Changing the tracking rate");
}

Outcome MountSession::SetSite(const Site& site) {
  const int code = ::SetSite(Radians(site.latitude), site.elevation);
  if (code == SIDERA_OK) southern_ = site.latitude < 0;
  return Fail(code, "Setting the site");
}

Outcome MountSession::SetGuideRates(double westEast, double northSouth) {
  int code = SetGuideRate(0, westEast * kSiderealRate);
  if (code == SIDERA_OK) code = SetGuideRate(1, northSouth * kSiderealRate);
  return Fail(code, "Setting the guide rates");
}

MountGeometry MountSession::Geometry(Outcome* outcome) {
  MountGeometry g;
  g.equatorial = equatorial_;
  g.southern = southern_;
  if (equatorial_) {
    double axis1 = 0;
    *outcome = Fail(GetAxisPosition(1, &axis1), "Reading the declination axis");
    g.beyondThePole = BeyondThePole(axis1);
  }
  return g;
}

Outcome MountSession::StartMotion(Direction direction, double presetRate, double trackingRate) {
  Outcome o;
  const MountGeometry g = Geometry(&o);
  if (!o.ok()) return o;
  const AxisRate r = ManualMotion(g, direction, presetRate, trackingRate);
  return Fail(MoveAxis(r.axis, r.rate), "Moving the mount");
}

Outcome MountSession::StopMotion(Direction direction) {
  const int axis = direction == Direction::North || direction == Direction::South ? 1 : 0;
  return Fail(StopAxis(axis), "Stopping the motion");
}

Outcome MountSession::StartPulse(host::GuidePulses& pulses, int lane, double offset,
                                 std::chrono::milliseconds duration, double trackingRate,
                                 uint64_t tag) {
  MountGeometry g;
  g.equatorial = equatorial_;
  g.southern = southern_;
  return Fail(pulses.Start(lane, offset, duration, g, trackingRate, tag), "Guiding");
}

}  // namespace sidera::indi
