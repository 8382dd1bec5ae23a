// The hand controller's routes: each command checked and carried out by the
// Alpaca member that does the same, the rest (the pad's leases, names) here.
#include "alpaca/control_routes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <vector>

#include "alpaca/alpaca_errors.h"
#include "alpaca/control_page.h"
#include "alpaca/json_text.h"
#include "alpaca/params.h"
#include "alpaca/telescope_api.h"
#include "host/angle_text.h"
#include "host/library_text.h"
#include "host/motion_rates.h"
#include "host/sky_coordinates.h"
#include "host/sky_frame.h"
#include "host/sync_points.h"
#include "host/targets.h"

namespace sidera::alpaca {
namespace {

using host::Degrees;
using host::Radians;
using nlohmann::json;

HttpReply JsonReply(const json& answer) {
  HttpReply reply;
  reply.contentType = "application/json";
  reply.body = JsonText(answer);
  return reply;
}

HttpReply Done(const std::string& message) {
  return JsonReply({{"ok", true}, {"message", message}});
}

// What the device refuses: a refusal the page shows, in HTTP 200.
struct Refusal : std::runtime_error {
  explicit Refusal(const std::string& why, json more = json::object())
      : std::runtime_error(why), more(std::move(more)) {}
  json more;
};

std::string Number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

std::string Fixed(double v, int decimals) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

// Runs the Alpaca member `member` with form `body`, as the page's client.
void Member(Telescope& t, const std::string& member, const std::string& body) {
  (void)CallMember(t, "PUT", member, Params::FromBody(body), kControlClient);
}

// The axis and rate of a pad button: the hand controller's rule shared by
// the front ends (host::ManualMotion), at one of its speed presets (never
// above the mount's fastest rate), for the side of the pier the axes are on
// now. On an equatorial mount east and west are relative to the stars.
host::AxisRate PadMotion(Telescope& t, const std::string& direction, int speed) {
  static const std::map<std::string, host::Direction> kDirections = {{"n", host::Direction::North},
                                                                     {"s", host::Direction::South},
                                                                     {"e", host::Direction::East},
                                                                     {"w", host::Direction::West}};
  const auto it = kDirections.find(direction);
  if (it == kDirections.end()) throw BadRequest("direction must be n, s, e or w");
  if (speed < 0 || speed >= static_cast<int>(host::kSlewPresets.size())) {
    throw BadRequest("speed " + std::to_string(speed) + " is not 0 to 3");
  }
  const Snapshot s = t.Read();
  const DeviceView view = t.View();
  host::MountGeometry geometry;
  geometry.equatorial = t.Equatorial();
  geometry.southern = t.Site().value_or(SiteSetting{}).latitude < 0;
  geometry.beyondThePole = geometry.equatorial && host::BeyondThePole(s.axes.axis1);
  const double fastest = Radians(t.Facts().maxSlewDegreesPerSecond);
  const double preset = std::min(host::kSlewPresets[speed] * host::kSiderealRate, fastest);
  const double tracking = view.tracking ? host::TrackingSkyRate(view.trackingRate) : 0.0;
  host::AxisRate motion = host::ManualMotion(geometry, it->second, preset, tracking);
  motion.rate = std::clamp(motion.rate, -fastest, fastest);
  return motion;
}

// The last goto as the mount's record tells it.
std::string GotoText(const Snapshot& s) {
  if (s.recordCode != SIDERA_OK) return "";
  const MotionOutcome& r = s.gotoRecord;
  if (r.started != r.command) return "under way";
  switch (r.outcome) {
    case SIDERA_OUTCOME_ARRIVED:
      return "arrived";
    case SIDERA_OUTCOME_NOT_ARRIVED:
      return "ended " + Fixed(Degrees(r.error) * 60.0, 1) + "\u2032 short";
    case SIDERA_OUTCOME_STOPPED:
      return "stopped";
    case SIDERA_OUTCOME_REPLACED:
      return "replaced by a newer command";
    case SIDERA_OUTCOME_FAILED:
      return "failed: " + host::LibraryMessage(r.code);
    default:
      return "";
  }
}

// A place to go: its name and where it is now (of date, as Alpaca's members
// take it) and its altitude.
struct Place {
  std::string name;
  double raHours = 0;
  double decDegrees = 0;
  double altitude = 0;  // degrees, now
};

SiteSetting RequireSite(Telescope& t) {
  const auto site = t.Site();
  if (!site) {
    throw Refusal(
        "the observing site is not set: set it on the setup page (/setup) "
        "or with the Location program");
  }
  return *site;
}

// The named target `name`; a Refusal with the closest names when unknown.
host::NamedTarget TargetNamed(const std::string& name) {
  host::NamedTarget target;
  if (host::FindTarget(name, &target)) return target;
  if (std::string why = host::RefusedTargetReason(name); !why.empty()) throw Refusal(why);
  const std::vector<std::string> close = host::SuggestTargets(name);
  std::string text = "no target named \u201c" + name + "\u201d";
  for (size_t i = 0; i < close.size(); ++i) {
    text += (i == 0 ? "; did you mean " : i + 1 == close.size() ? " or " : ", ") + close[i];
  }
  throw Refusal(close.empty() ? text : text + "?", {{"suggestions", close}});
}

// Where `target` is now, as seen from the site.
Place PlaceOfTarget(Telescope& t, const host::NamedTarget& target) {
  const SiteSetting site = RequireSite(t);
  const int64_t utc = t.UtcNow();
  const host::Observer observer{Radians(site.latitude), Radians(site.longitude), site.elevation};
  const host::LocalPlace local = host::LocalOf(target.PlaceAt(utc), observer, utc);
  Place place;
  place.name = target.name;
  place.raHours = host::RightAscensionHoursOf(local.hourAngle, t.LocalSiderealTime(utc));
  place.decDegrees = Degrees(local.declination);
  place.altitude = Degrees(
      host::HorizontalOf(local.hourAngle, local.declination, Radians(site.latitude)).altitude);
  return place;
}

// The place a request names: `name`, or `ra` (hours) and `dec` (degrees).
Place PlaceOf(Telescope& t, const Params& p) {
  if (p.Has("name")) return PlaceOfTarget(t, TargetNamed(p.Text("name")));
  const auto ra = host::ReadSexagesimal(p.Text("ra"));
  const auto dec = host::ReadSexagesimal(p.Text("dec"));
  if (!ra || !dec) throw Refusal("write RA as hours (5.59 or 5 35 17) and Dec as degrees");
  if (std::string problem = host::TargetProblem(*ra, *dec); !problem.empty()) {
    throw Refusal(problem);
  }
  const SiteSetting site = RequireSite(t);
  const double hourAngle = host::HourAngleOf(*ra, t.LocalSiderealTime(t.UtcNow()));
  Place place;
  place.name = "RA " + Fixed(*ra, 4) + " h, Dec " + Fixed(*dec, 4) + "\u00b0";
  place.raHours = *ra;
  place.decDegrees = *dec;
  place.altitude =
      Degrees(host::HorizontalOf(hourAngle, Radians(*dec), Radians(site.latitude)).altitude);
  return place;
}

std::string Altitude(const Place& place) {
  return "altitude " + Fixed(place.altitude, 1) + "\u00b0 now";
}

}  // namespace

ControlRoutes::ControlRoutes(Telescope& telescope, std::chrono::milliseconds leaseTerm)
    : telescope_(telescope),
      lease_(
          [this](int axis) {
            // A lapse or release: the axis stops (tracking goes on when it was
            // on). A mount already gone has nothing to stop.
            telescope_.RequireConnection();
            telescope_.MoveAxis(axis, 0);
            StatusChanged();
          },
          leaseTerm) {}

void ControlRoutes::AddTo(HttpApi& api) {
  api.Add("GET", "/control", [](const HttpRequest&, std::string_view) {
    HttpReply reply;
    reply.status = 302;
    reply.location = "/control/";
    reply.body = "see /control/\n";
    return reply;
  });
  api.Add(
      "GET", "/control/",
      [this](const HttpRequest& r, std::string_view rest) { return Get(r, rest); }, true);
  api.Add(
      "PUT", "/control/",
      [this](const HttpRequest& r, std::string_view rest) { return Put(r, rest); }, true);
}

void ControlRoutes::StatusChanged() { statusStale_ = true; }

std::string ControlRoutes::StatusText() {
  std::lock_guard<std::mutex> lock(statusMutex_);
  const auto now = std::chrono::steady_clock::now();
  if (statusStale_.exchange(false) || status_.empty() || now - statusTaken_ >= kStatusShared) {
    status_ = BuildStatus();
    statusTaken_ = now;
  }
  return status_;
}

std::string ControlRoutes::BuildStatus() {
  Telescope& t = telescope_;
  json s = {{"model", t.ModelName()}, {"equatorial", t.Equatorial()}, {"pad", lease_.Held()}};
  s["trackingRates"] = host::TrackingRatesOf(t.Facts());
  s["siteSet"] = t.Site().has_value();
  try {
    t.RequireConnection();
  } catch (const DeviceError&) {
    s["connected"] = false;
    return JsonText(s);
  }
  s["connected"] = true;
  s["parked"] = t.AtPark();
  s["tracking"] = t.Tracking();
  try {
    const Snapshot snap = t.Read();
    const DeviceView view = t.View();
    const double latitude = Radians(t.Site().value_or(SiteSetting{}).latitude);
    const host::Horizontal h =
        host::HorizontalOf(snap.sky.hourAngle, snap.sky.declination, latitude);
    s["ra"] = host::RightAscensionHoursOf(snap.sky.hourAngle, snap.lst);
    s["dec"] = Degrees(snap.sky.declination);
    s["alt"] = Degrees(h.altitude);
    s["az"] = host::AzimuthDegrees(h.azimuth);
    s["slewing"] = view.slewing;
    s["trackingRate"] = view.trackingRate;
    s["lastGoto"] = GotoText(snap);
  } catch (const DeviceError& e) {
    s["error"] = e.what();
  }
  return JsonText(s);
}

json ControlRoutes::AddAlignStar(const std::string& name) {
  Telescope& t = telescope_;
  t.RequireConnection();
  // As the Alpaca sync refuses it.
  if (t.AtPark()) throw DeviceError(kInvalidWhileParked, "the mount is parked");
  if (!t.Tracking()) throw Refusal("adding a star needs tracking on");
  const Place place = PlaceOfTarget(t, TargetNamed(name));
  // The same points as the Alpaca server's syncs: a star added here and one
  // synced by a planetarium refine one model.
  t.AddSyncPoint(place.raHours, place.decDegrees);
  std::lock_guard<std::mutex> lock(alignMutex_);
  alignNames_.push_back({place.raHours, place.decDegrees, place.name});
  const host::SyncModelView view = t.SyncPoints();
  json list = json::array();
  for (const host::SyncPointView& point : view.points) {
    std::string label =
        "RA " + Fixed(point.raHours, 3) + " h, Dec " + Fixed(point.decDegrees, 2) + "\u00b0";
    for (const AlignName& known : alignNames_) {
      const double apart = host::Separation(Radians(known.raHours * 15), Radians(known.decDegrees),
                                            Radians(point.raHours * 15), Radians(point.decDegrees));
      if (apart < host::SyncPoints::kSamePoint) label = known.name;
    }
    list.push_back({{"name", label}, {"arcsec", point.residualArcsec}, {"used", point.used}});
  }
  const size_t count = view.points.size();
  return {{"ok", true},
          {"stars", list},
          {"rms", view.rmsArcsec},
          {"message", "aligned on " + std::to_string(count) + (count == 1 ? " star" : " stars") +
                          ", RMS " + Fixed(view.rmsArcsec, 1) + "\u2033"}};
}

HttpReply ControlRoutes::Get(const HttpRequest& request, std::string_view rest) {
  if (rest.empty() || rest == "index.html") {
    HttpReply reply;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = ControlPage();
    return reply;
  }
  if (rest == "status") {
    HttpReply reply;
    reply.contentType = "application/json";
    reply.body = StatusText();
    return reply;
  }
  if (rest == "where") {
    try {
      const Place place = PlaceOf(telescope_, Params::FromQuery(request.query));
      return JsonReply({{"ok", place.altitude > 0},
                        {"name", place.name},
                        {"ra", place.raHours},
                        {"dec", place.decDegrees},
                        {"altitude", place.altitude},
                        {"message", place.name + ": " + Altitude(place) +
                                        (place.altitude > 0 ? "" : ", below the horizon")}});
    } catch (const Refusal& e) {
      json answer = {{"ok", false}, {"message", e.what()}};
      answer.update(e.more);
      return JsonReply(answer);
    } catch (const BadRequest& e) {
      HttpReply reply;
      reply.status = 400;
      reply.body = std::string(e.what()) + "\n";
      return reply;
    }
  }
  HttpReply reply;
  reply.status = 404;
  reply.body = "no such page\n";
  return reply;
}

HttpReply ControlRoutes::Put(const HttpRequest& request, std::string_view rest) {
  Telescope& t = telescope_;
  const std::string what(rest);
  try {
    const Params p = Params::FromBody(request.body);
    if (what == "renew") {
      const bool held = lease_.Renew(static_cast<uint64_t>(p.Number("lease")));
      return JsonReply({{"ok", held}, {"message", held ? "" : "the pad's lease has ended"}});
    }
    if (what == "release") {
      (void)lease_.Release(static_cast<uint64_t>(p.Number("lease")));
      return Done("stopped");
    }
    json answer = {{"ok", true}};
    if (what == "move") {
      const host::AxisRate m = PadMotion(t, p.Text("direction"), p.Integer("speed"));
      answer["lease"] = lease_.Start(m.axis, [&] {
        Member(t, "moveaxis",
               "Axis=" + std::to_string(m.axis) + "&Rate=" + Number(Degrees(m.rate)));
      });
      answer["message"] = "moving";
    } else if (what == "stop") {
      // Stop everything: the leases end, and every motion stops on the
      // mount's stop lane whatever the calls lane is doing. Never refused
      // while a mount is connected.
      t.RequireConnection();
      lease_.Forget();
      t.AbortSlew();
      answer["message"] = "everything stopped";
    } else if (what == "connect") {
      const bool on = p.Bool("on");
      Member(t, "connected", std::string("Connected=") + (on ? "true" : "false"));
      answer["message"] = on ? "connected" : "disconnected";
    } else if (what == "goto") {
      // The mount's own state first: a disconnected or parked mount is
      // refused as such, whatever the target's place at this hour.
      t.RequireConnection();
      if (t.AtPark()) throw DeviceError(kInvalidWhileParked, "the mount is parked");
      const Place place = PlaceOf(t, p);
      if (place.altitude <= 0) {
        throw Refusal(place.name + " is below the horizon (" + Altitude(place) + ")");
      }
      Member(
          t, "slewtocoordinatesasync",
          "RightAscension=" + Number(place.raHours) + "&Declination=" + Number(place.decDegrees));
      answer["message"] = "going to " + place.name + " (" + Altitude(place) + ")";
    } else if (what == "tracking") {
      const bool on = p.Bool("on");
      Member(t, "tracking", std::string("Tracking=") + (on ? "true" : "false"));
      answer["message"] = on ? "tracking on" : "tracking off";
    } else if (what == "rate") {
      Member(t, "trackingrate", "TrackingRate=" + std::to_string(p.Integer("rate")));
      answer["message"] = "tracking rate changed";
    } else if (what == "align") {
      answer = AddAlignStar(p.Text("name"));
    } else if (what == "align-clear") {
      t.RequireConnection();
      t.ClearSyncPoints();
      std::lock_guard<std::mutex> lock(alignMutex_);
      alignNames_.clear();
      answer["message"] = "the alignment is cleared; the next star starts a new one";
    } else if (what == "park") {
      Member(t, "park", "");
      answer["message"] = "parking";
    } else if (what == "unpark") {
      Member(t, "unpark", "");
      answer["message"] = "unparked";
    } else {
      HttpReply reply;
      reply.status = 404;
      reply.body = "no such command\n";
      return reply;
    }
    StatusChanged();
    return JsonReply(answer);
  } catch (const DeviceError& e) {
    return JsonReply({{"ok", false}, {"message", e.what()}, {"error", e.number}});
  } catch (const Refusal& e) {
    json answer = {{"ok", false}, {"message", e.what()}};
    answer.update(e.more);
    return JsonReply(answer);
  } catch (const BadRequest& e) {
    HttpReply reply;
    reply.status = 400;
    reply.body = std::string(e.what()) + "\n";
    return reply;
  }
}

}  // namespace sidera::alpaca
