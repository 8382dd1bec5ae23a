// The Alpaca telescope members, one table entry each.
#include "alpaca/telescope_api.h"

#include <cmath>
#include <functional>
#include <map>

#include "alpaca/alpaca_errors.h"
#include "host/civil_time.h"
#include "host/sky_coordinates.h"
#include "sidera.h"

namespace sidera::alpaca {
namespace {

using host::Degrees;
using host::kPi;
using host::Radians;
using nlohmann::json;

static_assert(kLowestSiteElevation >= SIDERA_LOWEST_ELEVATION &&
              kHighestSiteElevation <= SIDERA_HIGHEST_ELEVATION);

constexpr double kSiderealDegreesPerSecond = 360.0 / 86164.09065;
// The slowest axis rate offered: below it the drivers stop the axis.
constexpr double kSlowestAxisRate = kSiderealDegreesPerSecond / 1000.0;

struct Call {
  Telescope& t;
  const Params& p;
  uint32_t client;
};

using Getter = std::function<json(Call&)>;
using Putter = std::function<void(Call&)>;
struct Member {
  Getter get;
  Putter put;
};

[[noreturn]] void Fail(int number, const std::string& message) {
  throw DeviceError(number, message);
}

[[noreturn]] void NotImplemented(const std::string& what) {
  Fail(kNotImplemented, what + " is not implemented by this mount");
}

void NotParked(Call& c, const std::string& what) {
  if (c.t.AtPark()) Fail(kInvalidWhileParked, what + " is not possible while the mount is parked");
}

double RightAscension(Call& c, const char* name) {
  const double v = c.p.Number(name);
  if (!(v >= 0.0 && v < 24.0)) {
    Fail(kInvalidValue, std::string(name) + " " + c.p.Text(name) + " is outside 0 to 24 hours");
  }
  return v;
}

double Declination(Call& c, const char* name) {
  const double v = c.p.Number(name);
  if (!(v >= -90.0 && v <= 90.0)) {
    Fail(kInvalidValue,
         std::string(name) + " " + c.p.Text(name) + " is outside -90 to +90 degrees");
  }
  return v;
}

double Azimuth(Call& c) {
  const double v = c.p.Number("Azimuth");
  if (!(v >= 0.0 && v <= 360.0)) {
    Fail(kInvalidValue, "Azimuth " + c.p.Text("Azimuth") + " is outside 0 to 360 degrees");
  }
  return v;
}

// The axis of AxisRates, CanMoveAxis and MoveAxis: 0, 1 or 2 (the tertiary
// axis, which no Sidera mount has).
int AxisOf(Call& c) {
  const int axis = c.p.Integer("Axis");
  if (axis < 0 || axis > 2)
    Fail(kInvalidValue, "Axis " + std::to_string(axis) + " is not 0, 1 or 2");
  return axis;
}

SiteSetting SiteOrZero(Call& c) { return c.t.Site().value_or(SiteSetting{}); }

SiteSetting RequireSite(Call& c, const std::string& what) {
  const auto site = c.t.Site();
  if (!site) {
    Fail(kInvalidOperation, what +
                                " needs the observing site: set it on the setup page (/setup), "
                                "with the Location program, or from the client");
  }
  return *site;
}

// The hour angle, declination and pointing of the latest reading.
struct Pointing {
  double raHours, decDegrees, altitude, azimuth;  // degrees but right ascension
  double lst;                                     // radians
  AxisPair axes;
};

Pointing PointingNow(Call& c) {
  const Snapshot s = c.t.Read();
  const double latitude = Radians(SiteOrZero(c).latitude);
  const host::Horizontal h = host::HorizontalOf(s.sky.hourAngle, s.sky.declination, latitude);
  return Pointing{host::RightAscensionHoursOf(s.sky.hourAngle, s.lst),
                  Degrees(s.sky.declination),
                  Degrees(h.altitude),
                  host::AzimuthDegrees(h.azimuth),
                  s.lst,
                  s.axes};
}

// Alpaca's pointing state: pierEast (0) with the telescope east of the pier
// looking west, pierWest (1) with it west of the pier looking east.
int PierSide(Call& c, double axis1) {
  const bool west =
      host::PierSideOf(axis1, Radians(SiteOrZero(c).latitude)) == host::PierSide::West;
  return west ? 1 : 0;
}

bool AtHome(Call& c, const Pointing& p) {
  const double tolerance = Radians(2.0 * c.t.GotoToleranceDegrees());
  return std::fabs(host::WrapPi(p.axes.axis0 - c.t.HomeAxis(0))) <= tolerance &&
         std::fabs(host::WrapPi(p.axes.axis1 - c.t.HomeAxis(1))) <= tolerance;
}

json TrackingRates(Call& c) { return host::TrackingRatesOf(c.t.Facts()); }

void SlewChecks(Call& c, const std::string& what, bool trackingWanted) {
  NotParked(c, what);
  (void)RequireSite(c, what);
  if (c.t.Tracking() != trackingWanted) {
    Fail(kInvalidOperation,
         what + (trackingWanted ? " needs tracking on (set Tracking true first)"
                                : " needs tracking off (set Tracking false first)"));
  }
}

json Connected(Call& c) { return c.t.Connected(c.client); }

// A member that needs a connected mount and answers a value.
Getter Live(std::function<json(Call&)> f) {
  return [f = std::move(f)](Call& c) {
    c.t.RequireConnection();
    return f(c);
  };
}
Putter LivePut(std::function<void(Call&)> f) {
  return [f = std::move(f)](Call& c) {
    c.t.RequireConnection();
    f(c);
  };
}
Getter Constant(json v) {
  return [v = std::move(v)](Call&) { return v; };
}
Putter Refuse(const std::string& what) {
  return [what](Call& c) {
    c.t.RequireConnection();
    NotImplemented(what);
  };
}
Getter RefuseGet(const std::string& what) {
  return [what](Call& c) -> json {
    c.t.RequireConnection();
    NotImplemented(what);
  };
}

Getter Site(double SiteSetting::*field, const char* name) {
  return [field, name](Call& c) -> json {
    const auto site = c.t.Site();
    if (!site) {
      Fail(kValueNotSet, std::string(name) +
                             " is not set: set the site on the setup page "
                             "(/setup), with the Location program, or from here");
    }
    return (*site).*field;
  };
}

Putter SetSite(double SiteSetting::*field, const char* name, double low, double high) {
  return [=](Call& c) {
    const double v = c.p.Number(name);
    if (!(v >= low && v <= high)) {
      Fail(kInvalidValue, std::string(name) + " " + c.p.Text(name) + " is outside " +
                              std::to_string(static_cast<int>(low)) + " to " +
                              std::to_string(static_cast<int>(high)));
    }
    SiteSetting site = SiteOrZero(c);
    site.*field = v;
    c.t.SetSite(site);
  };
}

Getter GuideRate(int axis) {
  return Live([axis](Call& c) -> json { return Degrees(c.t.GuideRate(axis)); });
}
Putter SetGuideRate(int axis, const char* name) {
  return LivePut([=](Call& c) {
    const double v = c.p.Number(name);
    if (!(v > 0.0 && v <= kSiderealDegreesPerSecond)) {
      Fail(kInvalidValue, std::string(name) + " " + c.p.Text(name) +
                              " is outside 0 to the sidereal rate (0.0041781 degrees a second)");
    }
    c.t.SetGuideRate(axis, Radians(v));
  });
}

void SlewTo(Call& c, double ra, double dec) {
  SlewChecks(c, "Slewing to coordinates", true);
  c.t.SetTarget(ra, dec);
  c.t.SlewToSky(ra, dec);
}

void SyncTo(Call& c, double ra, double dec) {
  NotParked(c, "Syncing");
  (void)RequireSite(c, "Syncing");
  if (!c.t.Tracking()) Fail(kInvalidOperation, "Syncing to coordinates needs tracking on");
  c.t.SetTarget(ra, dec);
  c.t.SyncToSky(ra, dec);
}

std::pair<double, double> Target(Call& c) {
  const auto ra = c.t.TargetRa();
  const auto dec = c.t.TargetDec();
  if (!ra || !dec) {
    Fail(kInvalidOperation, "no target: set TargetRightAscension and TargetDeclination first");
  }
  return {*ra, *dec};
}

json DeviceState(Call& c) {
  c.t.RequireConnection();
  json list = json::array();
  auto add = [&](const char* name, json value) {
    list.push_back({{"Name", name}, {"Value", std::move(value)}});
  };
  // Values the mount cannot give now (it does not answer) are left out.
  try {
    const Pointing p = PointingNow(c);
    const DeviceView v = c.t.View();
    add("Altitude", p.altitude);
    add("AtHome", !v.slewing && AtHome(c, p));
    add("Azimuth", p.azimuth);
    add("Declination", p.decDegrees);
    add("IsPulseGuiding", v.pulseGuiding);
    add("RightAscension", p.raHours);
    if (c.t.Equatorial()) add("SideOfPier", PierSide(c, p.axes.axis1));
    add("SiderealTime", p.lst / kPi * 12.0);
    add("Slewing", v.slewing);
  } catch (const DeviceError&) {
  }
  add("AtPark", c.t.AtPark());
  add("Tracking", c.t.Tracking());
  const std::string now = host::FormatUtc(c.t.UtcNow());
  add("UTCDate", now);
  add("TimeStamp", now.substr(0, now.size() - 1));
  return list;
}

const std::map<std::string, Member>& Members() {
  static const std::map<std::string, Member> members = {
      // Common to every device.
      {"action", {nullptr, Refuse("Action (this driver has no device-specific actions)")}},
      {"commandblind", {nullptr, Refuse("CommandBlind")}},
      {"commandbool", {nullptr, Refuse("CommandBool")}},
      {"commandstring", {nullptr, Refuse("CommandString")}},
      {"connect", {nullptr, [](Call& c) { c.t.Connect(c.client); }}},
      {"connected",
       {Connected, [](Call& c) { c.t.SetConnected(c.client, c.p.Bool("Connected")); }}},
      {"connecting", {[](Call& c) -> json { return c.t.Connecting(); }, nullptr}},
      {"description",
       {[](Call& c) -> json { return "Sidera telescope mount: " + c.t.ModelName(); }, nullptr}},
      {"devicestate", {DeviceState, nullptr}},
      {"disconnect", {nullptr, [](Call& c) { c.t.Disconnect(c.client); }}},
      {"driverinfo",
       {Constant("sidera-alpaca: the ASCOM Alpaca server of the Sidera mount library"), nullptr}},
      {"driverversion", {Constant("1.0"), nullptr}},
      {"interfaceversion", {Constant(4), nullptr}},
      {"name", {[](Call& c) -> json { return c.t.ModelName(); }, nullptr}},
      {"supportedactions", {Constant(json::array()), nullptr}},

      // What the model can do: true for every Sidera mount unless noted.
      {"canfindhome", {Constant(true), nullptr}},
      {"canpark", {Constant(true), nullptr}},
      {"canpulseguide", {Constant(true), nullptr}},
      {"cansetdeclinationrate", {Constant(false), nullptr}},
      {"cansetguiderates", {Constant(true), nullptr}},
      {"cansetpark", {Constant(true), nullptr}},
      {"cansetpierside", {Constant(false), nullptr}},
      {"cansetrightascensionrate", {Constant(false), nullptr}},
      {"cansettracking", {Constant(true), nullptr}},
      {"canslew", {Constant(false), nullptr}},  // the synchronous slews are deprecated
      {"canslewaltaz", {Constant(false), nullptr}},
      {"canslewaltazasync", {Constant(true), nullptr}},
      {"canslewasync", {Constant(true), nullptr}},
      {"cansync", {Constant(true), nullptr}},
      {"cansyncaltaz", {Constant(true), nullptr}},
      {"canunpark", {Constant(true), nullptr}},
      {"canmoveaxis", {[](Call& c) -> json { return AxisOf(c) < 2; }, nullptr}},
      {"axisrates",
       {[](Call& c) -> json {
          if (AxisOf(c) == 2) return json::array();
          return json::array(
              {{{"Minimum", kSlowestAxisRate}, {"Maximum", c.t.Facts().maxSlewDegreesPerSecond}}});
        },
        nullptr}},
      {"trackingrates", {TrackingRates, nullptr}},
      {"alignmentmode", {Live([](Call& c) -> json { return c.t.Equatorial() ? 2 : 0; }), nullptr}},
      {"equatorialsystem", {Live([](Call&) -> json { return 1; }), nullptr}},  // topocentric
      {"aperturearea", {RefuseGet("ApertureArea"), nullptr}},
      {"aperturediameter", {RefuseGet("ApertureDiameter"), nullptr}},
      {"focallength", {RefuseGet("FocalLength"), nullptr}},
      {"doesrefraction",
       {Live([](Call&) -> json { return false; }), Refuse("Refraction correction")}},
      {"declinationrate",
       {Live([](Call&) -> json { return 0.0; }), Refuse("Setting DeclinationRate")}},
      {"rightascensionrate",
       {Live([](Call&) -> json { return 0.0; }), Refuse("Setting RightAscensionRate")}},

      // Where the telescope points.
      {"rightascension", {Live([](Call& c) -> json { return PointingNow(c).raHours; }), nullptr}},
      {"declination", {Live([](Call& c) -> json { return PointingNow(c).decDegrees; }), nullptr}},
      {"altitude", {Live([](Call& c) -> json { return PointingNow(c).altitude; }), nullptr}},
      {"azimuth", {Live([](Call& c) -> json { return PointingNow(c).azimuth; }), nullptr}},
      {"siderealtime",
       {Live([](Call& c) -> json { return c.t.LocalSiderealTime(c.t.UtcNow()) / kPi * 12.0; }),
        nullptr}},
      {"sideofpier",
       {Live([](Call& c) -> json {
          if (!c.t.Equatorial())
            NotImplemented("SideOfPier (an alt-azimuth mount has no pier side)");
          return PierSide(c, c.t.Read().axes.axis1);
        }),
        Refuse("Setting SideOfPier")}},
      {"destinationsideofpier",
       {Live([](Call& c) -> json {
          if (!c.t.Equatorial()) NotImplemented("DestinationSideOfPier (an alt-azimuth mount)");
          const double ra = RightAscension(c, "RightAscension");
          const double dec = Declination(c, "Declination");
          (void)RequireSite(c, "DestinationSideOfPier");
          return PierSide(c, c.t.AxesFor(ra, dec).axis1);
        }),
        nullptr}},
      {"slewing", {Live([](Call& c) -> json { return c.t.View().slewing; }), nullptr}},
      {"ispulseguiding", {Live([](Call& c) -> json { return c.t.View().pulseGuiding; }), nullptr}},
      {"athome",
       {Live([](Call& c) -> json {
          const Pointing p = PointingNow(c);
          return !c.t.View().slewing && AtHome(c, p);
        }),
        nullptr}},
      {"atpark", {Live([](Call& c) -> json { return c.t.View().atPark; }), nullptr}},
      {"utcdate",
       {Live([](Call& c) -> json { return host::FormatUtc(c.t.UtcNow()); }), LivePut([](Call& c) {
          const auto utc = host::ParseUtc(c.p.Text("UTCDate"));
          if (!utc) {
            Fail(kInvalidValue, "UTCDate \"" + c.p.Text("UTCDate") +
                                    "\" is not a date and time (YYYY-MM-DDTHH:MM:SS.fffZ)");
          }
          c.t.SetUtc(*utc);
        })}},

      // Site.
      {"sitelatitude",
       {Site(&SiteSetting::latitude, "SiteLatitude"),
        SetSite(&SiteSetting::latitude, "SiteLatitude", -90, 90)}},
      {"sitelongitude",
       {Site(&SiteSetting::longitude, "SiteLongitude"),
        SetSite(&SiteSetting::longitude, "SiteLongitude", -180, 180)}},
      {"siteelevation",
       {Site(&SiteSetting::elevation, "SiteElevation"),
        SetSite(&SiteSetting::elevation, "SiteElevation", kLowestSiteElevation,
                kHighestSiteElevation)}},

      // Tracking and guiding.
      {"tracking", {Live([](Call& c) -> json { return c.t.Tracking(); }), LivePut([](Call& c) {
                      const bool on = c.p.Bool("Tracking");
                      if (on) NotParked(c, "Tracking");
                      c.t.SetTracking(on);
                    })}},
      {"trackingrate",
       {Live([](Call& c) -> json { return c.t.View().trackingRate; }), LivePut([](Call& c) {
          const int rate = c.p.Integer("TrackingRate");
          if (!host::FollowsTrackingRate(c.t.Facts(), rate)) {
            Fail(kInvalidValue, "TrackingRate " + std::to_string(rate) +
                                    " is not one this mount follows (see TrackingRates)");
          }
          c.t.SetTrackingRate(rate);
        })}},
      {"guideraterightascension", {GuideRate(0), SetGuideRate(0, "GuideRateRightAscension")}},
      {"guideratedeclination", {GuideRate(1), SetGuideRate(1, "GuideRateDeclination")}},
      {"pulseguide", {nullptr, LivePut([](Call& c) {
                        const int direction = c.p.Integer("Direction");
                        const int duration = c.p.Integer("Duration");
                        if (direction < 0 || direction > 3) {
                          Fail(kInvalidValue,
                               "Direction " + std::to_string(direction) + " is not 0 to 3");
                        }
                        if (duration < 0 || duration > 300000) {
                          Fail(kInvalidValue, "Duration " + std::to_string(duration) +
                                                  " ms is outside 0 to 300000 ms");
                        }
                        NotParked(c, "Pulse guiding");
                        if (c.t.View().slewing)
                          Fail(kInvalidOperation, "Pulse guiding is not possible while slewing");
                        c.t.PulseGuide(direction, duration);
                      })}},
      {"moveaxis", {nullptr, LivePut([](Call& c) {
                      const int axis = AxisOf(c);
                      const double rate = c.p.Number("Rate");
                      if (axis == 2) NotImplemented("MoveAxis on the tertiary axis");
                      const double speed = std::fabs(rate);
                      const double fastest = c.t.Facts().maxSlewDegreesPerSecond;
                      if (!std::isfinite(rate) ||
                          (speed != 0 && (speed < kSlowestAxisRate || speed > fastest))) {
                        Fail(kInvalidValue,
                             "Rate " + c.p.Text("Rate") +
                                 " degrees a second is outside the AxisRates of this mount");
                      }
                      NotParked(c, "MoveAxis");
                      c.t.MoveAxis(axis, rate);
                    })}},

      // Slews and syncs.
      {"slewtocoordinates", {nullptr, Refuse("SlewToCoordinates (use SlewToCoordinatesAsync)")}},
      {"slewtotarget", {nullptr, Refuse("SlewToTarget (use SlewToTargetAsync)")}},
      {"slewtoaltaz", {nullptr, Refuse("SlewToAltAz (use SlewToAltAzAsync)")}},
      {"slewtocoordinatesasync", {nullptr, LivePut([](Call& c) {
                                    const double ra = RightAscension(c, "RightAscension");
                                    const double dec = Declination(c, "Declination");
                                    SlewTo(c, ra, dec);
                                  })}},
      {"slewtotargetasync", {nullptr, LivePut([](Call& c) {
                               const auto [ra, dec] = Target(c);
                               SlewTo(c, ra, dec);
                             })}},
      {"slewtoaltazasync", {nullptr, LivePut([](Call& c) {
                              const double az = Azimuth(c);
                              const double alt = Declination(c, "Altitude");
                              SlewChecks(c, "Slewing to azimuth and altitude", false);
                              c.t.SlewToHorizontal(az, alt);
                            })}},
      {"synctocoordinates", {nullptr, LivePut([](Call& c) {
                               const double ra = RightAscension(c, "RightAscension");
                               const double dec = Declination(c, "Declination");
                               SyncTo(c, ra, dec);
                             })}},
      {"synctotarget", {nullptr, LivePut([](Call& c) {
                          const auto [ra, dec] = Target(c);
                          SyncTo(c, ra, dec);
                        })}},
      {"synctoaltaz",
       {nullptr, LivePut([](Call& c) {
          const double az = Azimuth(c);
          const double alt = Declination(c, "Altitude");
          NotParked(c, "Syncing");
          const SiteSetting site = RequireSite(c, "Syncing");
          if (c.t.Tracking()) {
            Fail(kInvalidOperation, "Syncing to azimuth and altitude needs tracking off");
          }
          const host::HourAngleDec e =
              host::EquatorialOfHorizontal(Radians(az), Radians(alt), Radians(site.latitude));
          const double lst = c.t.LocalSiderealTime(c.t.UtcNow());
          c.t.SyncToSky(host::RightAscensionHoursOf(e.hourAngle, lst), Degrees(e.declination));
        })}},
      {"abortslew", {nullptr, LivePut([](Call& c) {
                       NotParked(c, "AbortSlew");
                       c.t.AbortSlew();
                     })}},
      {"targetrightascension",
       {Live([](Call& c) -> json {
          const auto v = c.t.TargetRa();
          if (!v) Fail(kValueNotSet, "TargetRightAscension has not been set");
          return *v;
        }),
        LivePut([](Call& c) { c.t.SetTarget(RightAscension(c, "TargetRightAscension"), {}); })}},
      {"targetdeclination",
       {Live([](Call& c) -> json {
          const auto v = c.t.TargetDec();
          if (!v) Fail(kValueNotSet, "TargetDeclination has not been set");
          return *v;
        }),
        LivePut([](Call& c) { c.t.SetTarget({}, Declination(c, "TargetDeclination")); })}},
      {"slewsettletime",
       {Live([](Call& c) -> json { return c.t.SlewSettleTime(); }), LivePut([](Call& c) {
          const int v = c.p.Integer("SlewSettleTime");
          if (v < 0 || v > 3600) Fail(kInvalidValue, "SlewSettleTime must be 0 to 3600 s");
          c.t.SetSlewSettleTime(v);
        })}},

      // Park and home.
      {"park", {nullptr, LivePut([](Call& c) {
                  if (!c.t.AtPark()) c.t.Park();
                })}},
      {"unpark", {nullptr, LivePut([](Call& c) { c.t.Unpark(); })}},
      {"setpark", {nullptr, LivePut([](Call& c) { c.t.SetPark(); })}},
      {"findhome", {nullptr, LivePut([](Call& c) {
                      NotParked(c, "FindHome");
                      c.t.FindHome();
                    })}},
  };
  return members;
}

}  // namespace

std::optional<json> CallMember(Telescope& telescope, const std::string& method,
                               const std::string& member, const Params& params, uint32_t clientId) {
  const auto& members = Members();
  auto it = members.find(member);
  if (it == members.end()) throw BadRequest("telescope has no member \"" + member + "\"");
  Call call{telescope, params, clientId};
  if (method == "GET" && it->second.get) return it->second.get(call);
  if (method == "PUT" && it->second.put) {
    it->second.put(call);
    return std::nullopt;
  }
  throw BadRequest(member + " does not take " + method);
}

}  // namespace sidera::alpaca
