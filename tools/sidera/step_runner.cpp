// Carrying out each kind of step on the session's mount and reporting it:
// one function per step type, chosen by the step's type.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "host/library_text.h"
#include "host/park_position.h"
#include "host/tracking_rate.h"
#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"
#include "tools/sidera/session.h"

namespace sidera::tool {

std::string Session::ArrivalText(const TargetSpec& target, const MotionReport& report) const {
  std::string text = "Arrived at " + target.label + " after " + FormatFixed(report.seconds, 1) +
                     " s; pointing error " + FormatFixed(report.errorArcsec, 1) + "\" (tolerance " +
                     FormatFixed(GotoToleranceDegrees() * 60, 1) + "')";
  if (target.IsSky()) text += report.tracking ? "; tracking" : "; not tracking";
  return text;
}

struct StepRunner {
  Session& s;
  const std::string& name;

  Outcome Fail(const std::string& what, Outcome o) {
    s.ReportFailure(name, what, o);
    return o;
  }
  Outcome Code(const std::string& what, int code) { return Fail(what, s.FromCode(code)); }
  Outcome Done(const std::string& text, const JsonObject& data) {
    s.Done(name, text, data);
    return Outcome::Ok();
  }

  Outcome operator()(const GotoStep& g) {
    const std::string what = "goto " + g.target.label;
    MotionReport report;
    if (Outcome o = s.Goto(g.target, g.wait, &report); !o.ok()) return Fail(what, o);
    JsonObject data;
    data.Add("target", g.target.label).Add("waited", g.wait);
    if (!g.wait) return Done("Goto " + g.target.label + " started", data);
    data.Add("seconds", report.seconds)
        .Add("errorArcsec", report.errorArcsec)
        .Add("toleranceArcsec", s.GotoToleranceDegrees() * 3600)
        .Add("tracking", report.tracking);
    return Done(s.ArrivalText(g.target, report), data);
  }

  Outcome operator()(const AlignStep& a) {
    AlignReport report;
    if (Outcome o = s.Align(a.stars, a.offset0, a.offset1, &report); !o.ok()) {
      return Fail("align", o);
    }
    std::string text = "Aligned on";
    std::string names = "[", fits = "[";
    for (size_t i = 0; i < report.stars.size(); ++i) {
      text += (i ? ", " : " ") + report.stars[i] + " (model off the centred axes by " +
              FormatFixed(report.afterArcsec[i], 1) + "\", nominal " +
              FormatFixed(report.beforeArcsec[i], 1) + "\")";
      if (i > 0) {
        names += ",";
        fits += ",";
      }
      names += JsonString(report.stars[i]);
      fits += JsonNumber(report.afterArcsec[i]);
    }
    const bool equatorial = s.facts().equatorial;
    if (report.manyStars) {
      text += "; RMS of the residuals " + FormatFixed(report.axisOffsetArcsec, 1) + "\"";
      for (const std::string& d : report.dropped) text += "; " + d + " dropped (too far off)";
      return Done(text, JsonObject()
                            .AddRaw("stars", names + "]")
                            .AddRaw("fitArcsec", fits + "]")
                            .Add("quality", report.quality)
                            .Add("rmsArcsec", report.axisOffsetArcsec)
                            .Add("dropped", static_cast<int>(report.dropped.size())));
    }
    text += std::string("; the mount's ") + (equatorial ? "polar axis" : "vertical axis") +
            " lies " + FormatFixed(report.axisOffsetArcsec / 60, 1) + "' from the " +
            (equatorial ? "pole" : "zenith") + " in the aligned model";
    return Done(text, JsonObject()
                          .AddRaw("stars", names + "]")
                          .AddRaw("fitArcsec", fits + "]")
                          .Add("quality", report.quality)
                          .Add(equatorial ? "poleOffsetArcsec" : "zenithOffsetArcsec",
                               report.axisOffsetArcsec));
  }

  Outcome operator()(const AlignAddStep& a) { return s.AlignAdd(a, name); }
  Outcome operator()(const AlignSaveStep& a) { return s.AlignSave(a, name); }
  Outcome operator()(const AlignLoadStep& a) { return s.AlignLoad(a, name); }

  Outcome operator()(const SlewStep& m) {
    const std::string what = "slew axis " + std::to_string(m.axis);
    if (int code = ::MoveAxis(m.axis, m.rate); code != 0) return Code(what, code);
    s.target_.reset();
    s.ForgetSlews(m.axis);
    if (m.seconds > 0) {
      if (Outcome o = s.Watch(m.seconds, what); !o.ok()) return Fail(what, o);
      if (int code = ::StopAxis(m.axis); code != 0) return Code(what + ": stop", code);
    } else {
      s.slewRate_[m.axis] = m.rate;
      s.slewLeftRunning_[m.axis] = m.leaveRunning;
    }
    const double degrees = Degrees(m.rate);
    return Done("Axis " + std::to_string(m.axis) + " (" + s.AxisName(m.axis) + ") slewed at " +
                    m.speed + " (" + FormatFixed(degrees, 4) + "\xC2\xB0/s)" +
                    (m.seconds > 0    ? " for " + FormatFixed(m.seconds, 0) + " s, then stopped"
                     : m.leaveRunning ? std::string(", still moving (left running at the end)")
                                      : std::string(", still moving (stopped at the end)")),
                JsonObject()
                    .Add("axis", m.axis)
                    .Add("speed", m.speed)
                    .Add("degreesPerSecond", degrees)
                    .Add("timesSidereal", m.rate / kSiderealRate)
                    .Add("seconds", m.seconds)
                    .Add("leaveRunning", m.leaveRunning));
  }

  Outcome operator()(const StopStep& st) {
    for (int axis = 0; axis < 2; ++axis) {
      if (st.axis >= 0 && axis != st.axis) continue;
      if (int code = ::StopAxis(axis); code != 0) return Code("stop", code);
      s.ForgetSlews(axis);
    }
    if (st.all) {
      if (int code = ::SetTracking(0); code != 0) return Code("stop", code);
      uint32_t state = 0;
      if (Outcome o =
              s.AwaitState([](uint32_t x) { return x != SIDERA_MOUNT_TRACKING; }, 3.0, &state);
          !o.ok()) {
        return Fail("stop", o);
      }
      if (state == SIDERA_MOUNT_TRACKING) {
        return Fail("stop", {Outcome::Kind::kRefused, 0, "the mount kept tracking"});
      }
    }
    const std::string which = st.axis >= 0 ? "Axis " + std::to_string(st.axis) : "Both axes";
    return Done(which + " stopped" + (st.all ? "; tracking off" : ""),
                JsonObject().Add("axis", st.axis).Add("all", st.all));
  }

  Outcome operator()(const TrackStep& t) {
    using Mode = TrackStep::Mode;
    if (t.mode == Mode::kOn || t.mode == Mode::kOff) {
      const bool on = t.mode == Mode::kOn;
      // A start is refused while an axis is still driven (102) or silent.
      if (int code = ::SetTracking(on ? 1 : 0); code != 0) return Code("track", code);
      uint32_t state = 0;
      Outcome o =
          on ? s.AwaitState([](uint32_t x) { return x == SIDERA_MOUNT_TRACKING; }, 3.0, &state)
             : s.AwaitState([](uint32_t x) { return x != SIDERA_MOUNT_TRACKING; }, 3.0, &state);
      if (!o.ok()) return Fail("track", o);
      if ((state == SIDERA_MOUNT_TRACKING) != on) {
        return Fail("track", {Outcome::Kind::kRefused, 0,
                              std::string("the mount did not ") + (on ? "start" : "stop") +
                                  " tracking (it is " + MountStateName(state) + ")"});
      }
      return Done(on ? "Tracking on" : "Tracking off", JsonObject().Add("tracking", on));
    }
    if (t.mode != Mode::kWatch) {
      const int mode = t.mode == Mode::kSidereal ? 0 : t.mode == Mode::kLunar ? 1 : 2;
      static const char* kNames[] = {"sidereal", "lunar", "solar"};
      (void)host::ChangeTrackingRate(mode, false);  // 0 whenever a mount exists
      return Done(
          std::string("Tracking rate ") + kNames[mode] + " (applies when tracking next starts)",
          JsonObject().Add("rateMode", kNames[mode]));
    }
    TrackReport report;
    if (Outcome o = s.Track(t.seconds, &report); !o.ok()) return Fail("track", o);
    return Done("Tracked for " + FormatFixed(report.seconds, 0) + " s: " + TrackText(report),
                JsonObject()
                    .Add("seconds", report.seconds)
                    .Add("driftArcsec", report.driftArcsec)
                    .Add("worstArcsec", report.worstArcsec)
                    .Add("driftFromSeconds", report.driftFromSeconds)
                    .Add("target", report.target)
                    .Add("targetStartArcsec", report.targetStartArcsec)
                    .Add("targetEndArcsec", report.targetEndArcsec));
  }

  Outcome operator()(const SyncStep& y) {
    if (y.kind == SyncStep::Kind::kHome) {
      if (int code = ::SyncHomePosition(); code != 0) return Code("sync home", code);
      return Done("Axes set to the home position", JsonObject().Add("home", true));
    }
    if (y.kind == SyncStep::Kind::kAxis) {
      if (int code = ::SyncAxis(y.axis, y.angle); code != 0) return Code("sync axis", code);
      return Done("Axis " + std::to_string(y.axis) + " set to " + FormatFixed(Degrees(y.angle), 4) +
                      "\xC2\xB0",
                  JsonObject().Add("axis", y.axis).Add("angle", Degrees(y.angle)));
    }
    // The axes that would point at the target now, written as the current
    // readings: the mount then believes it points there.
    const LocalPlace p = s.LocalNow(y.target);
    AxisPair axes{};
    (void)::SkyToAxes(SkyPoint{p.hourAngle, p.declination}, &axes);  // 0 with a mount
    const std::string what = "sync " + y.target.label;
    if (int code = ::SyncAxis(0, axes.axis0); code != 0) return Code(what, code);
    if (int code = ::SyncAxis(1, axes.axis1); code != 0) return Code(what, code);
    return Done("Synced on " + y.target.label, JsonObject().Add("target", y.target.label));
  }

  Outcome operator()(const StatusStep& st) {
    if (st.seconds > 0) {
      if (Outcome o = s.Watch(st.seconds, "watch"); !o.ok()) return Fail("status", o);
    }
    uint32_t state = 0, s0 = 0, s1 = 0;
    AxisPair axes{};
    SkyPoint sky{};
    HorizontalPoint hz{};
    Outcome o = s.ReadState(&state);
    for (int axis = 0; axis < 2 && o.ok(); ++axis) {
      if (int code = ::GetAxisState(axis, axis == 0 ? &s0 : &s1); code != 0) o = s.FromCode(code);
    }
    if (o.ok()) o = s.ReadAxes(&axes);
    if (o.ok()) o = s.ReadSky(&sky);
    if (o.ok()) o = s.ReadHorizontal(&hz);
    if (!o.ok()) return Fail("status", o);
    double offset = 0;
    const int quality = ::GetAlignmentQuality(&offset);
    const Observer& site = s.options().site.observer;
    const int64_t now = s.Now();
    const IcrsDirection place = CatalogueOfLocal({sky.hourAngle, sky.declination}, site, now);
    const double lst = LocalApparentSiderealTime(site, now);
    const double hourAngle = WrapPi(sky.hourAngle);
    std::string lines =
        "Mount     " + host::LibraryModelName(s.options().model) + ", " + MountStateName(state) +
        (s.parked_ ? " (parked)" : "") + "\nAxes      0: " + FormatFixed(Degrees(axes.axis0), 4) +
        "\xC2\xB0 (" + AxisStateName(s0) + ")   1: " + FormatFixed(Degrees(axes.axis1), 4) +
        "\xC2\xB0 (" + AxisStateName(s1) + ")\nSky       RA " + FormatHours(place.rightAscension) +
        "  Dec " + FormatDegrees(place.declination) + " (J2000)  hour angle " +
        (hourAngle < 0 ? "-" : "+") + FormatHours(std::fabs(hourAngle)) + ", LST " +
        FormatHours(lst) + "\nHorizon   Az " + FormatAzimuth(hz.azimuth) + "  Alt " +
        FormatFixed(Degrees(hz.altitude), 2) + "\xC2\xB0\nAlignment " +
        (quality > 0 ? std::string("aligned") : std::string("none (nominal model)"));
    JsonObject data;
    data.Add("mountState", static_cast<int>(state))
        .Add("mountStateName", MountStateName(state))
        .Add("parked", s.parked_)
        .Add("axisState0", static_cast<int>(s0))
        .Add("axisState1", static_cast<int>(s1))
        .Add("axis0", Degrees(axes.axis0))
        .Add("axis1", Degrees(axes.axis1))
        .Add("rightAscensionHours", place.rightAscension / kPi * 12.0)
        .Add("declination", Degrees(place.declination))
        .Add("hourAngleHours", hourAngle / kPi * 12.0)
        .Add("azimuth", Degrees(WrapTwoPi(hz.azimuth)))
        .Add("altitude", Degrees(hz.altitude))
        .Add("aligned", quality > 0);
    if (s.target_) {
      double error = 0;
      if (Outcome e = s.PointingError(*s.target_, &error); !e.ok()) return Fail("status", e);
      lines += "\nTarget    " + s.target_->label + ", " + FormatFixed(error * kRadToArcsec, 1) +
               "\" away";
      data.Add("target", s.target_->label).Add("targetDistanceArcsec", error * kRadToArcsec);
    }
    return Done(lines, data);
  }

  Outcome operator()(const WaitStep& w) {
    if (Outcome o = s.Watch(w.seconds, "wait"); !o.ok()) return Fail("wait", o);
    return Done("Waited " + FormatFixed(w.seconds, 0) + " s",
                JsonObject().Add("seconds", w.seconds));
  }

  Outcome operator()(const LimitsStep& l) {
    if (int code = ::SetAltitudeLimits(l.lower, l.upper); code != 0) {
      return Code("limits", code);
    }
    s.limits_ = l;
    return Done("Altitude limits " + FormatFixed(Degrees(l.lower), 1) + "\xC2\xB0 to " +
                    FormatFixed(Degrees(l.upper), 1) + "\xC2\xB0",
                JsonObject().Add("lower", Degrees(l.lower)).Add("upper", Degrees(l.upper)));
  }

  Outcome operator()(const TargetsStep& t) {
    std::vector<NamedTarget> all;
    if (t.which != "stars" && t.which != "messier") all = Bodies();
    if (t.which != "planets") {
      for (const CatalogueEntry& e : Catalogue()) {
        const bool star = std::string(e.kind) == "star";
        if ((t.which == "stars" && !star) || (t.which == "messier" && star)) continue;
        NamedTarget n;
        FindTarget(e.name, &n);
        all.push_back(n);
      }
    }
    const Observer& site = s.options().site.observer;
    const int64_t now = s.Now();
    std::string list = "[";
    s.out_.Text(
        "Target                  Kind               RA (J2000)   Dec           Az        Alt");
    for (const NamedTarget& n : all) {
      const LocalPlace p = LocalOf(n.PlaceAt(now), site, now);
      const Horizontal h = HorizontalOf(p.hourAngle, p.declination, site.latitude);
      // Shown as the J2000 direction from the site now: the catalogue place
      // for a star, the astrometric place for the Moon and the planets.
      const IcrsDirection c = CatalogueOfLocal(p, site, now);
      if (t.which == "up" && h.altitude <= 0) continue;
      // A target up but outside the limits is refused by a goto.
      const bool within = h.altitude >= s.limits_.lower && h.altitude <= s.limits_.upper;
      const char* note = h.altitude <= 0                ? "  (below the horizon)"
                         : within                       ? ""
                         : h.altitude > s.limits_.upper ? "  (above the upper limit)"
                                                        : "  (below the lower limit)";
      char line[200];
      std::snprintf(line, sizeof line, "%-22s  %-17s  %s  %-11s  %8s  %6.2f\xC2\xB0%s",
                    n.name.c_str(), n.kind.c_str(), FormatHours(c.rightAscension).c_str(),
                    FormatDegrees(c.declination).c_str(), FormatAzimuth(h.azimuth).c_str(),
                    Degrees(h.altitude), note);
      s.out_.Text(line);
      if (list.size() > 1) list += ",";
      list += JsonObject()
                  .Add("name", n.name)
                  .Add("kind", n.kind)
                  .Add("azimuth", Degrees(WrapTwoPi(h.azimuth)))
                  .Add("altitude", Degrees(h.altitude))
                  .Add("withinLimits", within)
                  .str();
    }
    s.out_.Json(JsonObject()
                    .Add("step", name)
                    .Add("ok", true)
                    .AddRaw("data", JsonObject().AddRaw("targets", list + "]").str()));
    return Outcome::Ok();
  }

  Outcome operator()(const ParkStep&) {
    // The host's park at the model's home: tracking off (a halt that fails
    // names the silent axis before the goto starts), then the axes' goto,
    // watched like any other.
    const AxisPair axes = host::HomeAxes(s.facts());
    TargetSpec home;
    home.kind = TargetSpec::Kind::kAxes;
    home.a = axes.axis0;
    home.b = axes.axis1;
    home.label = "the home position";
    s.gotoRecord_ = MotionOutcome{};
    if (int code = host::GotoFixedPosition(axes, &s.gotoRecord_); code != 0) {
      return Code("park", code);
    }
    s.target_ = home;
    s.unwatchedGoto_ = false;
    MotionReport report;
    if (Outcome o = s.WatchGoto(home, &report); !o.ok()) return Fail("park", o);
    s.parked_ = true;
    s.target_.reset();
    return Done("Parked at the home position (axes " + FormatFixed(HomeAxis0Degrees(s.facts()), 0) +
                    "\xC2\xB0, " + FormatFixed(HomeAxis1Degrees(s.facts()), 0) +
                    "\xC2\xB0); tracking off",
                JsonObject().Add("parked", true).Add("seconds", report.seconds));
  }

  Outcome operator()(const UnparkStep&) {
    s.parked_ = false;
    if (int code = ::SetTracking(1); code != 0) return Code("unpark", code);
    uint32_t state = 0;
    if (Outcome o =
            s.AwaitState([](uint32_t x) { return x == SIDERA_MOUNT_TRACKING; }, 3.0, &state);
        !o.ok()) {
      return Fail("unpark", o);
    }
    const bool tracking = state == SIDERA_MOUNT_TRACKING;
    return Done(std::string("Unparked; ") + (tracking ? "tracking" : "not tracking"),
                JsonObject().Add("parked", false).Add("tracking", tracking));
  }
};

void Session::ForgetSlews(int axis) {
  for (int a = 0; a < 2; ++a) {
    if (axis >= 0 && a != axis) continue;
    slewRate_[a] = 0;
    slewLeftRunning_[a] = false;
  }
}

Outcome Session::Run(const PlannedStep& step) {
  // Gotos and parking take both axes from any slew.
  if (std::holds_alternative<GotoStep>(step.step) || std::holds_alternative<ParkStep>(step.step) ||
      std::holds_alternative<AlignStep>(step.step)) {
    ForgetSlews(-1);
  }
  if (std::holds_alternative<StopStep>(step.step) || std::holds_alternative<SlewStep>(step.step) ||
      std::holds_alternative<TrackStep>(step.step)) {
    unwatchedGoto_ = false;
  }
  if (parked_ && StepMoves(step.step)) {
    Outcome o{Outcome::Kind::kRefused, 0, "the mount is parked; unpark it first"};
    ReportFailure(step.name, step.name, o);
    return o;
  }
  return std::visit(StepRunner{*this, step.name}, step.step);
}

}  // namespace sidera::tool
