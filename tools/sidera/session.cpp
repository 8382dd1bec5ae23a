#include "tools/sidera/session.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"
#include "tools/sidera/interrupt.h"

namespace sidera::tool {
namespace {

using std::chrono::steady_clock;

constexpr auto kPollInterval = std::chrono::milliseconds(40);

double RealSecondsSince(steady_clock::time_point start) {
  return std::chrono::duration<double>(steady_clock::now() - start).count();
}

int ParseAxis(const std::string& word) {
  if (word == "0" || word == "ra" || word == "az") return 0;
  if (word == "1" || word == "dec" || word == "alt") return 1;
  return -1;
}

std::string Arcsec(double radians) { return FormatFixed(radians * kRadToArcsec, 1) + "\""; }

std::string DistanceText(double radians) {
  const double deg = Degrees(radians);
  if (deg >= 1.0) return FormatFixed(deg, 2) + "\xC2\xB0";
  if (deg * 60 >= 1.0) return FormatFixed(deg * 60, 2) + "'";
  return Arcsec(radians);
}

std::string TargetText(const Target& t) {
  if (!t.name.empty()) return t.name;
  switch (t.kind) {
    case Target::Kind::kSky:
      return "RA " + FormatHours(t.a) + " Dec " + FormatDegrees(t.b);
    case Target::Kind::kHorizontal:
      return "Az " + FormatFixed(Degrees(t.a), 2) + " Alt " + FormatFixed(Degrees(t.b), 2);
    case Target::Kind::kAxes:
      return "axes " + FormatFixed(Degrees(t.a), 3) + " " + FormatFixed(Degrees(t.b), 3);
  }
  return "";
}

}  // namespace

Session::Session(const Library& library, Output& out, const SkyClock& clock, SessionOptions options)
    : library_(library), out_(out), clock_(clock), options_(options) {}

Session::~Session() { Disconnect(); }

int Session::Fail(const std::string& what, int code) {
  std::string message;
  switch (code) {
    case kUsageError:
      message = "usage error";
      break;
    case kTimedOut:
      message = "timed out; the axes were stopped";
      break;
    case kInterrupted:
      message = "interrupted; the axes were stopped";
      break;
    default:
      message = library_.ErrorText(code);
  }
  if (out_.json()) {
    out_.Json(JsonObject().Add("step", what).Add("result", code).Add("message", message));
  } else {
    out_.Error(what + ": " + std::to_string(code) + " " + message);
  }
  return code;
}

void Session::Done(const std::string& step, const std::string& text, JsonObject json) {
  out_.Text(text);
  out_.Json(JsonObject().Add("step", step).Add("result", 0).AddRaw("data", json.str()));
}

int Session::Usage(const std::string& step, const std::string& usage) {
  if (out_.json()) {
    out_.Json(JsonObject().Add("step", step).Add("result", kUsageError).Add("message", usage));
  } else {
    out_.Error("usage: " + usage);
  }
  return kUsageError;
}

int Session::Connect() {
  if (options_.port >= 0) api().SetComPort(options_.port);
  const std::string name = library_.MountName(options_.model);
  const int code = api().CreateMount(options_.model, options_.latitude, options_.elevation);
  if (code != 0) {
    if (code == SIDERA_NOT_IMPLEMENTED) {
      out_.Error("model " + std::to_string(options_.model) + " (" + name +
                 ") is not available in this build of the library");
    }
    return Fail("connect", code);
  }
  connected_ = true;
  // CreateMount keeps a default site when it rejects the one given and still
  // answers 0; setting the site again makes a rejection visible.
  if (int site = api().SetSite(options_.latitude, options_.elevation); site != 0) {
    Disconnect();
    return Fail("site", site);
  }
  const bool equatorial = api().IsEquatorialMount() == 1;
  Done("connect",
       "Connected: " + name + " (model " + std::to_string(options_.model) + ", " +
           (equatorial ? "equatorial" : "alt-azimuth") + ") at latitude " +
           FormatDegrees(options_.latitude) + ", longitude " + FormatDegrees(options_.longitude) +
           ", " + FormatFixed(options_.elevation, 0) + " m",
       JsonObject()
           .Add("model", options_.model)
           .Add("name", name)
           .Add("equatorial", equatorial)
           .Add("latitude", Degrees(options_.latitude))
           .Add("longitude", Degrees(options_.longitude))
           .Add("elevation", options_.elevation));
  return 0;
}

void Session::Disconnect() {
  if (!connected_) return;
  connected_ = false;
  (void)api().DestroyMount();  // always 0
}

double Session::LocalSidereal() const {
  const CivilDateTime now = CivilOf(clock_.NowUnixMillis());
  return LocalSiderealTime(api().ComputeSiderealTime(now, 0.0, 0), options_.longitude);
}

SkyPoint Session::SkyNow(double rightAscension, double declination) const {
  const Equatorial ofDate = PrecessFromJ2000({rightAscension, declination}, clock_.NowUnixMillis());
  return SkyPoint{HourAngleOf(ofDate.rightAscension, LocalSidereal()), ofDate.declination};
}

Equatorial Session::CatalogueOf(const SkyPoint& sky) const {
  const Equatorial ofDate{RightAscensionOf(sky.hourAngle, LocalSidereal()), sky.declination};
  return PrecessToJ2000(ofDate, clock_.NowUnixMillis());
}

std::optional<double> Session::DistanceToTarget(const Target& target) {
  switch (target.kind) {
    case Target::Kind::kSky: {
      SkyPoint p{};
      if (api().GetSkyPosition(&p) != 0) return std::nullopt;
      const SkyPoint t = SkyNow(target.a, target.b);
      return Separation(p.hourAngle, p.declination, t.hourAngle, t.declination);
    }
    case Target::Kind::kHorizontal: {
      HorizontalPoint h{};
      if (api().GetHorizontalPosition(&h) != 0) return std::nullopt;
      return Separation(h.azimuth, h.altitude, target.a, target.b);
    }
    case Target::Kind::kAxes: {
      AxisPair a{};
      if (api().GetAxisPositions(&a) != 0) return std::nullopt;
      return Separation(a.axis0, a.axis1, target.a, target.b);
    }
  }
  return std::nullopt;
}

void Session::StopAll() {
  (void)api().StopAxis(0);  // best effort: the failure is already being reported
  (void)api().StopAxis(1);
  (void)api().SetTracking(0);
}

std::string Session::PositionLine() {
  uint32_t state = 0;
  SkyPoint sky{};
  HorizontalPoint hz{};
  AxisPair axes{};
  std::string line;
  if (api().GetMountState(&state) == 0) line += MountStateName(state);
  if (api().GetSkyPosition(&sky) == 0) {
    const Equatorial place = CatalogueOf(sky);
    line +=
        "  RA " + FormatHours(place.rightAscension) + " Dec " + FormatDegrees(place.declination);
  }
  if (api().GetHorizontalPosition(&hz) == 0) {
    line += "  Az " + FormatFixed(Degrees(hz.azimuth), 2) + " Alt " +
            FormatFixed(Degrees(hz.altitude), 2);
  }
  if (api().GetAxisPositions(&axes) == 0) {
    line +=
        "  axes " + FormatFixed(Degrees(axes.axis0), 3) + " " + FormatFixed(Degrees(axes.axis1), 3);
  }
  if (target_) {
    if (std::optional<double> d = DistanceToTarget(*target_)) {
      line += "  to target " + DistanceText(*d);
    }
  }
  return line;
}

int Session::Goto(const Target& target, bool wait, MotionReport* report) {
  int code = 0;
  switch (target.kind) {
    case Target::Kind::kSky: {
      const SkyPoint p = SkyNow(target.a, target.b);
      code = api().GotoSky(p.hourAngle, p.declination);
      break;
    }
    case Target::Kind::kHorizontal:
      code = api().GotoHorizontal(target.a, target.b);
      break;
    case Target::Kind::kAxes:
      code = api().GotoAxes(target.a, target.b);
      break;
  }
  if (code != 0) return code;
  target_ = target;
  if (!wait) return 0;
  return WaitForGoto(target, report);
}

int Session::WaitForGoto(const Target& target, MotionReport* report) {
  const double skyStart = clock_.ElapsedSeconds();
  const auto realStart = steady_clock::now();
  bool seenGoto = false;
  const std::string label = "goto " + TargetText(target);
  for (;;) {
    if (Interrupted()) {
      ClearInterrupt();
      StopAll();
      return kInterrupted;
    }
    uint32_t state = 0;
    if (int code = api().GetMountState(&state); code != 0) return code;
    // Reading the position also lets a simulated axis notice its arrival.
    std::optional<double> distance = DistanceToTarget(target);
    const double elapsed = clock_.ElapsedSeconds() - skyStart;
    if (state == SIDERA_MOUNT_GOTO) {
      seenGoto = true;
    } else if (seenGoto) {
      break;
    } else if (target.kind == Target::Kind::kSky && state == SIDERA_MOUNT_TRACKING) {
      // GotoSky clears the tracking state; tracking again means the goto
      // ended, here without ever needing to move.
      break;
    } else {
      // A goto that never shows the goto state had nothing to do (it is
      // already there) or was given up by its thread; allow a slow start
      // before concluding either.
      const double waited = RealSecondsSince(realStart);
      const bool near = distance && *distance < Radians(1.0);
      if ((waited > 0.5 && near) || waited > 3.0) break;
    }
    if (elapsed > options_.motionTimeout) {
      StopAll();
      return kTimedOut;
    }
    out_.Progress(
        label + "  " + MountStateName(state) + "  " +
        (distance ? DistanceText(*distance) + " to go" : std::string("position unknown")) + "  " +
        FormatFixed(elapsed, 0) + " s");
    std::this_thread::sleep_for(kPollInterval);
  }
  out_.EndProgress();
  const double seconds = clock_.ElapsedSeconds() - skyStart;
  if (target.kind == Target::Kind::kSky) {
    // A sky goto hands over to tracking; measure once the mount follows the
    // sky so that the figure is the pointing, not the hand-over.
    const auto wait = steady_clock::now();
    uint32_t state = 0;
    while (RealSecondsSince(wait) < 0.5 && api().GetMountState(&state) == 0 &&
           state != SIDERA_MOUNT_TRACKING) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  if (report != nullptr) {
    report->seconds = seconds;
    std::optional<double> error = DistanceToTarget(target);
    report->errorArcsec = error ? *error * kRadToArcsec : -1;
  }
  return 0;
}

int Session::Align(const std::vector<const Star*>& stars, double offset0, double offset1,
                   AlignReport* report) {
  std::vector<AlignStar> records;
  for (const Star* star : stars) {
    MotionReport motion;
    Target target{Target::Kind::kSky, star->name, star->rightAscension, star->declination};
    if (int code = Goto(target, true, &motion); code != 0) return code;
    // Centring: on a simulated mount its own pointing is the star; the
    // offsets stand for an error of the mount that alignment must absorb.
    AxisPair axes{};
    if (int code = api().GetAxisPositions(&axes); code != 0) return code;
    const SkyPoint sky = SkyNow(star->rightAscension, star->declination);
    AlignStar record{sky.hourAngle, sky.declination, axes.axis0 + offset0, axes.axis1 + offset1};
    records.push_back(record);
    AxisPair model{};
    (void)api().SkyToAxes(sky, &model);  // always 0 with a mount
    report->stars.push_back(star->name);
    report->beforeArcsec.push_back(
        Separation(model.axis0, model.axis1, record.axis0, record.axis1) * kRadToArcsec);
    out_.Text("  centred " + std::string(star->name) + " at axes " +
              FormatFixed(Degrees(record.axis0), 4) + " " + FormatFixed(Degrees(record.axis1), 4));
  }
  int code = SIDERA_INVALID_PARAMETER;
  if (records.size() == 1) code = api().AlignOneStar(records[0]);
  if (records.size() == 2) code = api().AlignTwoStars(records[0], records[1]);
  if (records.size() == 3) code = api().AlignThreeStars(records[0], records[1], records[2]);
  if (code != 0) return code;
  report->quality = api().GetAlignmentQuality(&report->residual);
  for (const AlignStar& r : records) {
    AxisPair model{};
    (void)api().SkyToAxes(SkyPoint{r.hourAngle, r.declination}, &model);
    report->afterArcsec.push_back(Separation(model.axis0, model.axis1, r.axis0, r.axis1) *
                                  kRadToArcsec);
  }
  return 0;
}

int Session::Track(double seconds, TrackReport* report) {
  uint32_t state = 0;
  if (int code = api().GetMountState(&state); code != 0) return code;
  if (state != SIDERA_MOUNT_TRACKING) {
    (void)api().SetTracking(1);  // always 0; the state below tells whether it took
    const auto start = steady_clock::now();
    while (RealSecondsSince(start) < 2.0 && api().GetMountState(&state) == 0 &&
           state != SIDERA_MOUNT_TRACKING) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (state != SIDERA_MOUNT_TRACKING) out_.Error("track: the mount did not start tracking");
  }
  SkyPoint sky{};
  if (int code = api().GetSkyPosition(&sky); code != 0) return code;
  const double ra0 = RightAscensionOf(sky.hourAngle, LocalSidereal());
  const double dec0 = sky.declination;
  const double skyStart = clock_.ElapsedSeconds();
  double drift = 0;
  double worst = 0;
  for (;;) {
    if (Interrupted()) {
      ClearInterrupt();
      StopAll();
      return kInterrupted;
    }
    const double elapsed = clock_.ElapsedSeconds() - skyStart;
    if (int code = api().GetSkyPosition(&sky); code != 0) return code;
    const double ra = RightAscensionOf(sky.hourAngle, LocalSidereal());
    drift = Separation(ra0, dec0, ra, sky.declination);
    worst = std::fmax(worst, drift);
    (void)api().GetMountState(&state);
    const Equatorial place = CatalogueOf(sky);
    out_.Progress("tracking  " + MountStateName(state) + "  RA " +
                  FormatHours(place.rightAscension) + " Dec " + FormatDegrees(place.declination) +
                  "  drift " + Arcsec(drift) + "  " + FormatFixed(elapsed, 0) + " / " +
                  FormatFixed(seconds, 0) + " s");
    if (elapsed >= seconds) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  out_.EndProgress();
  report->seconds = clock_.ElapsedSeconds() - skyStart;
  report->driftArcsec = drift * kRadToArcsec;
  report->worstArcsec = worst * kRadToArcsec;
  return 0;
}

int Session::Watch(double seconds, const std::string& label) {
  const double skyStart = clock_.ElapsedSeconds();
  for (;;) {
    if (Interrupted()) {
      ClearInterrupt();
      StopAll();
      return kInterrupted;
    }
    const double elapsed = clock_.ElapsedSeconds() - skyStart;
    out_.Progress(label + "  " + PositionLine() + "  " + FormatFixed(elapsed, 0) + " s");
    if (elapsed >= seconds) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  out_.EndProgress();
  return 0;
}

int Session::ShowStatus() {
  uint32_t state = 0, s0 = 0, s1 = 0;
  if (int code = api().GetMountState(&state); code != 0) return Fail("status", code);
  (void)api().GetAxisState(0, &s0);  // the mount exists: these answer 0
  (void)api().GetAxisState(1, &s1);
  AxisPair axes{};
  const int axesCode = api().GetAxisPositions(&axes);
  SkyPoint sky{};
  (void)api().GetSkyPosition(&sky);
  HorizontalPoint hz{};
  (void)api().GetHorizontalPosition(&hz);
  double residual = 0;
  const int quality = api().GetAlignmentQuality(&residual);
  const double lst = LocalSidereal();
  const Equatorial place = CatalogueOf(sky);
  std::optional<double> distance;
  if (target_) distance = DistanceToTarget(*target_);

  out_.Text("Mount     " + library_.MountName(options_.model) + ", " + MountStateName(state));
  out_.Text("Axes      0: " + FormatFixed(Degrees(axes.axis0), 4) + "\xC2\xB0 (" +
            AxisStateName(s0) + ")   1: " + FormatFixed(Degrees(axes.axis1), 4) + "\xC2\xB0 (" +
            AxisStateName(s1) + ")" +
            (axesCode != 0 ? "  [" + library_.ErrorText(axesCode) + "]" : std::string()));
  out_.Text("Sky       RA " + FormatHours(place.rightAscension) + "  Dec " +
            FormatDegrees(place.declination) + " (J2000)  (hour angle " +
            (WrapPi(sky.hourAngle) < 0 ? "-" : "+") +
            FormatHours(std::fabs(WrapPi(sky.hourAngle))) + ", LST " + FormatHours(lst) + ")");
  out_.Text("Horizon   Az " + FormatFixed(Degrees(hz.azimuth), 3) + "\xC2\xB0  Alt " +
            FormatFixed(Degrees(hz.altitude), 3) + "\xC2\xB0");
  out_.Text("Alignment " +
            (quality > 0 ? "quality " + std::to_string(quality) + ", residual " + Arcsec(residual)
                         : std::string("none")));
  if (target_) {
    out_.Text("Target    " + TargetText(*target_) +
              (distance ? ", " + DistanceText(*distance) + " away" : std::string()));
  }
  JsonObject json;
  json.Add("mountState", static_cast<int>(state))
      .Add("mountStateName", MountStateName(state))
      .Add("axisState0", static_cast<int>(s0))
      .Add("axisState1", static_cast<int>(s1))
      .Add("axis0", Degrees(axes.axis0))
      .Add("axis1", Degrees(axes.axis1))
      .Add("rightAscensionHours", place.rightAscension / kPi * 12.0)
      .Add("declination", Degrees(place.declination))
      .Add("hourAngleHours", WrapPi(sky.hourAngle) / kPi * 12.0)
      .Add("azimuth", Degrees(hz.azimuth))
      .Add("altitude", Degrees(hz.altitude))
      .Add("alignmentQuality", quality);
  if (target_) json.Add("target", TargetText(*target_));
  if (distance) json.Add("targetDistanceArcsec", *distance * kRadToArcsec);
  out_.Json(JsonObject().Add("step", "status").Add("result", 0).AddRaw("data", json.str()));
  return 0;
}

int Session::RunStep(const Words& w) {
  if (w.empty()) return 0;
  // A Ctrl-C typed while no motion ran must not cut the next one short.
  ClearInterrupt();
  const std::string& step = w[0];
  int code = kUsageError;
  if (step == "goto") {
    code = StepGoto(w);
  } else if (step == "align") {
    code = StepAlign(w);
  } else if (step == "slew") {
    code = StepSlew(w);
  } else if (step == "stop") {
    code = StepStop(w);
  } else if (step == "track") {
    code = StepTrack(w);
  } else if (step == "sync") {
    code = StepSync(w);
  } else if (step == "status") {
    code = StepStatus(w);
  } else if (step == "wait") {
    code = StepWait(w);
  } else if (step == "limits") {
    code = StepLimits(w);
  } else if (step == "stars") {
    code = StepStars();
  } else {
    return Usage(step,
                 "steps: align STAR..., goto STAR|RA DEC|altaz AZ ALT|axes A0 A1, "
                 "slew AXIS RATE [SECONDS], stop [AXIS|all], track on|off|sidereal|lunar|"
                 "solar|SECONDS, sync STAR|RA DEC|home|axis N DEG, status [SECONDS], "
                 "wait SECONDS, limits LOWER UPPER, stars");
  }
  return code;
}

int Session::StepGoto(const Words& w) {
  const std::string usage =
      "goto [--nowait] STAR | RA DEC | altaz AZ ALT | axes A0 A1   (angles in degrees or "
      "d:m:s, RA in hours or h:m:s)";
  Words args;
  bool wait = true;
  for (size_t i = 1; i < w.size(); ++i) {
    if (w[i] == "--nowait") {
      wait = false;
    } else {
      args.push_back(w[i]);
    }
  }
  Target target;
  if (args.size() == 1) {
    const Star* star = FindStar(args[0]);
    if (star == nullptr) return Usage("goto", "unknown star '" + args[0] + "' (see: stars)");
    target = {Target::Kind::kSky, star->name, star->rightAscension, star->declination};
  } else if (args.size() == 3 && (args[0] == "altaz" || args[0] == "axes")) {
    std::optional<double> a = ParseDegrees(args[1]);
    std::optional<double> b = ParseDegrees(args[2]);
    if (!a || !b) return Usage("goto", usage);
    target.kind = args[0] == "altaz" ? Target::Kind::kHorizontal : Target::Kind::kAxes;
    target.a = target.kind == Target::Kind::kHorizontal ? WrapPi(*a) : *a;
    target.b = *b;
  } else if (args.size() == 2) {
    std::optional<double> ra = ParseRightAscension(args[0]);
    std::optional<double> dec = ParseDegrees(args[1]);
    if (!ra || !dec || std::fabs(*dec) > kPi / 2) return Usage("goto", usage);
    target = {Target::Kind::kSky, "", *ra, *dec};
  } else {
    return Usage("goto", usage);
  }
  MotionReport report;
  if (int code = Goto(target, wait, &report); code != 0)
    return Fail("goto " + TargetText(target), code);
  JsonObject json;
  json.Add("target", TargetText(target)).Add("waited", wait);
  if (!wait) {
    Done("goto", "Goto " + TargetText(target) + " started", json);
    return 0;
  }
  json.Add("seconds", report.seconds).Add("errorArcsec", report.errorArcsec);
  Done("goto",
       "Arrived at " + TargetText(target) + " after " + FormatFixed(report.seconds, 1) +
           " s; pointing error " + FormatFixed(report.errorArcsec, 1) + "\"",
       json);
  return 0;
}

int Session::StepAlign(const Words& w) {
  const std::string usage = "align [--offset ARCMIN0 ARCMIN1] STAR [STAR [STAR]]";
  double offset0 = 0, offset1 = 0;
  std::vector<const Star*> stars;
  for (size_t i = 1; i < w.size(); ++i) {
    if (w[i] == "--offset") {
      if (i + 2 >= w.size()) return Usage("align", usage);
      std::optional<double> a = ParseNumber(w[i + 1]);
      std::optional<double> b = ParseNumber(w[i + 2]);
      if (!a || !b) return Usage("align", usage);
      offset0 = Radians(*a / 60.0);
      offset1 = Radians(*b / 60.0);
      i += 2;
      continue;
    }
    const Star* star = FindStar(w[i]);
    if (star == nullptr) return Usage("align", "unknown star '" + w[i] + "' (see: stars)");
    stars.push_back(star);
  }
  if (stars.empty() || stars.size() > 3) return Usage("align", usage);
  AlignReport report;
  if (int code = Align(stars, offset0, offset1, &report); code != 0) return Fail("align", code);
  std::string text = "Aligned on";
  std::string names = "[";
  for (size_t i = 0; i < report.stars.size(); ++i) {
    text += (i ? ", " : " ") + report.stars[i] + " (off the centred axes by " +
            Arcsec(report.beforeArcsec[i] / kRadToArcsec) + " before, " +
            Arcsec(report.afterArcsec[i] / kRadToArcsec) + " after)";
    names += (i ? "," : "") + JsonString(report.stars[i]);
  }
  names += "]";
  text += "; quality " + std::to_string(report.quality) + ", residual " + Arcsec(report.residual);
  Done("align", text,
       JsonObject()
           .AddRaw("stars", names)
           .Add("quality", report.quality)
           .Add("residualArcsec", report.residual * kRadToArcsec));
  return 0;
}

int Session::StepSlew(const Words& w) {
  const std::string usage =
      "slew AXIS RATE [SECONDS]   (AXIS 0|1|ra|dec|az|alt, RATE in "
      "multiples of the sidereal rate)";
  if (w.size() < 3 || w.size() > 4) return Usage("slew", usage);
  const int axis = ParseAxis(w[1]);
  std::optional<double> rate = ParseNumber(w[2]);
  std::optional<double> seconds = w.size() == 4 ? ParseNumber(w[3]) : std::optional<double>(0);
  if (axis < 0 || !rate || !seconds || *seconds < 0) return Usage("slew", usage);
  if (int code = api().MoveAxis(axis, *rate * kSiderealRate); code != 0) {
    return Fail("slew", code);
  }
  target_.reset();
  if (*seconds > 0) {
    if (int code = Watch(*seconds, "slew axis " + std::to_string(axis)); code != 0) {
      return Fail("slew", code);
    }
    if (int code = api().StopAxis(axis); code != 0) return Fail("slew: stop", code);
  }
  Done("slew",
       "Axis " + std::to_string(axis) + " slewed at " + FormatFixed(*rate, 2) + " x sidereal" +
           (*seconds > 0 ? " for " + FormatFixed(*seconds, 0) + " s, then stopped" : std::string()),
       JsonObject().Add("axis", axis).Add("rate", *rate).Add("seconds", *seconds));
  return 0;
}

int Session::StepStop(const Words& w) {
  if (w.size() > 2) return Usage("stop", "stop [AXIS|all]");
  const bool all = w.size() == 2 && w[1] == "all";
  int first = 0, last = 1;
  if (w.size() == 2 && !all) {
    first = last = ParseAxis(w[1]);
    if (first < 0) return Usage("stop", "stop [AXIS|all]");
  }
  if (all) (void)api().SetTracking(0);  // always 0
  for (int axis = first; axis <= last; ++axis) {
    if (int code = api().StopAxis(axis); code != 0) return Fail("stop", code);
  }
  Done("stop", all ? "Stopped both axes and tracking" : "Stopped", JsonObject().Add("all", all));
  return 0;
}

int Session::StepTrack(const Words& w) {
  const std::string usage = "track on|off|sidereal|lunar|solar|SECONDS";
  if (w.size() != 2) return Usage("track", usage);
  const std::string& arg = w[1];
  if (arg == "on" || arg == "off") {
    (void)api().SetTracking(arg == "on" ? 1 : 0);  // always 0
    Done("track", "Tracking " + arg, JsonObject().Add("tracking", arg == "on"));
    return 0;
  }
  const char* modes[] = {"sidereal", "lunar", "solar"};
  for (int mode = 0; mode < 3; ++mode) {
    if (arg == modes[mode]) {
      (void)api().SetTrackingRateMode(mode);  // always 0
      Done("track", std::string("Tracking rate ") + modes[mode] + " (applies when tracking starts)",
           JsonObject().Add("rateMode", mode));
      return 0;
    }
  }
  std::optional<double> seconds = ParseNumber(arg);
  if (!seconds || *seconds < 0) return Usage("track", usage);
  TrackReport report;
  if (int code = Track(*seconds, &report); code != 0) return Fail("track", code);
  Done("track",
       "Tracked for " + FormatFixed(report.seconds, 0) + " s: drift " +
           FormatFixed(report.driftArcsec, 1) + "\" (largest " +
           FormatFixed(report.worstArcsec, 1) + "\")",
       JsonObject()
           .Add("seconds", report.seconds)
           .Add("driftArcsec", report.driftArcsec)
           .Add("worstArcsec", report.worstArcsec));
  return 0;
}

int Session::StepSync(const Words& w) {
  const std::string usage = "sync STAR | RA DEC | home | axis N DEG";
  if (w.size() == 2 && w[1] == "home") {
    if (int code = api().SyncHomePosition(); code != 0) return Fail("sync home", code);
    Done("sync", "Axes set to the home position", JsonObject().Add("home", true));
    return 0;
  }
  if (w.size() == 4 && w[1] == "axis") {
    const int axis = ParseAxis(w[2]);
    std::optional<double> angle = ParseDegrees(w[3]);
    if (axis < 0 || !angle) return Usage("sync", usage);
    if (int code = api().SyncAxis(axis, *angle); code != 0) return Fail("sync axis", code);
    Done("sync", "Axis " + std::to_string(axis) + " set to " + FormatFixed(Degrees(*angle), 4),
         JsonObject().Add("axis", axis).Add("angle", Degrees(*angle)));
    return 0;
  }
  double ra = 0, dec = 0;
  std::string name;
  if (w.size() == 2) {
    const Star* star = FindStar(w[1]);
    if (star == nullptr) return Usage("sync", "unknown star '" + w[1] + "' (see: stars)");
    ra = star->rightAscension;
    dec = star->declination;
    name = star->name;
  } else if (w.size() == 3) {
    std::optional<double> r = ParseRightAscension(w[1]);
    std::optional<double> d = ParseDegrees(w[2]);
    if (!r || !d) return Usage("sync", usage);
    ra = *r;
    dec = *d;
    name = "RA " + FormatHours(ra) + " Dec " + FormatDegrees(dec);
  } else {
    return Usage("sync", usage);
  }
  // The axes that would point at the position now, written as the current
  // readings: the mount then believes it points there.
  AxisPair axes{};
  (void)api().SkyToAxes(SkyNow(ra, dec), &axes);  // always 0 with a mount
  if (int code = api().SyncAxis(0, axes.axis0); code != 0) return Fail("sync", code);
  if (int code = api().SyncAxis(1, axes.axis1); code != 0) return Fail("sync", code);
  Done("sync", "Synced on " + name, JsonObject().Add("target", name));
  return 0;
}

int Session::StepStatus(const Words& w) {
  if (w.size() > 2) return Usage("status", "status [SECONDS]");
  if (w.size() == 2) {
    std::optional<double> seconds = ParseNumber(w[1]);
    if (!seconds || *seconds < 0) return Usage("status", "status [SECONDS]");
    if (int code = Watch(*seconds, "watch"); code != 0) return Fail("status", code);
  }
  return ShowStatus();
}

int Session::StepWait(const Words& w) {
  std::optional<double> seconds = w.size() == 2 ? ParseNumber(w[1]) : std::nullopt;
  if (!seconds || *seconds < 0) return Usage("wait", "wait SECONDS");
  if (int code = Watch(*seconds, "wait"); code != 0) return Fail("wait", code);
  Done("wait", "Waited " + FormatFixed(*seconds, 0) + " s", JsonObject().Add("seconds", *seconds));
  return 0;
}

int Session::StepLimits(const Words& w) {
  std::optional<double> lower = w.size() == 3 ? ParseDegrees(w[1]) : std::nullopt;
  std::optional<double> upper = w.size() == 3 ? ParseDegrees(w[2]) : std::nullopt;
  if (!lower || !upper) return Usage("limits", "limits LOWER UPPER   (altitudes in degrees)");
  if (int code = api().SetAltitudeLimits(*lower, *upper); code != 0) return Fail("limits", code);
  Done("limits",
       "Altitude limits " + FormatFixed(Degrees(*lower), 1) + " to " +
           FormatFixed(Degrees(*upper), 1) + " degrees",
       JsonObject().Add("lower", Degrees(*lower)).Add("upper", Degrees(*upper)));
  return 0;
}

int Session::StepStars() {
  std::string list = "[";
  out_.Text("Star              RA (J2000)   Dec          Az       Alt");
  for (const Star& star : BrightStars()) {
    const SkyPoint sky = SkyNow(star.rightAscension, star.declination);
    const Horizontal h = HorizontalOf(sky.hourAngle, sky.declination, options_.latitude);
    char line[160];
    std::snprintf(line, sizeof line, "%-16s  %s  %-11s  %7.2f  %6.2f%s", star.name,
                  FormatHours(star.rightAscension).c_str(), FormatDegrees(star.declination).c_str(),
                  Degrees(h.azimuth), Degrees(h.altitude), h.altitude > 0 ? "" : "  (below)");
    out_.Text(line);
    if (list.size() > 1) list += ",";
    list += JsonObject()
                .Add("name", star.name)
                .Add("azimuth", Degrees(h.azimuth))
                .Add("altitude", Degrees(h.altitude))
                .str();
  }
  list += "]";
  out_.Json(JsonObject().Add("step", "stars").Add("result", 0).AddRaw("data", list));
  return 0;
}

}  // namespace sidera::tool
