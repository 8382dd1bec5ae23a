// The session's core: connecting, checked readouts, watching a goto to the
// end the library records for it, tracking, and stopping after a failure.
#include "tools/sidera/session.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "host/goto_watch.h"
#include "host/library_text.h"
#include "host/mount_connect.h"
#include "host/mount_worker.h"
#include "tools/sidera/astro.h"
#include "tools/sidera/commands.h"
#include "tools/sidera/format.h"
#include "tools/sidera/interrupt.h"

namespace sidera::tool {
namespace {

using std::chrono::steady_clock;

constexpr auto kPollInterval = std::chrono::milliseconds(40);
// How long tracking may take to follow a sky goto or a request, real time.
constexpr double kTrackingStartSeconds = 3.0;
// Alt-azimuth tracking closes onto a goto's target within its first cycles
// (one aligned cycle, or three unaligned ones).
constexpr double kClosingSeconds = 30.0;

double RealSecondsSince(steady_clock::time_point start) {
  return std::chrono::duration<double>(steady_clock::now() - start).count();
}

std::string DistanceText(double radians) {
  const double deg = Degrees(std::fabs(radians));
  if (deg >= 1.0) return FormatFixed(deg, 2) + "\xC2\xB0";
  if (deg * 60 >= 1.0) return FormatFixed(deg * 60, 2) + "'";
  return FormatFixed(deg * 3600, 1) + "\"";
}

// The larger of the two axis distances, each the short way round: the axis
// that still has furthest to go decides when the goto ends.
double AxisDistance(const AxisPair& a, const AxisPair& b) {
  return std::fmax(std::fabs(WrapPi(a.axis0 - b.axis0)), std::fabs(WrapPi(a.axis1 - b.axis1)));
}

}  // namespace

const char* OutcomeKindName(Outcome::Kind kind) {
  switch (kind) {
    case Outcome::Kind::kOk:
      return "ok";
    case Outcome::Kind::kLibrary:
      return "library";
    case Outcome::Kind::kNoResponse:
      return "no-response";
    case Outcome::Kind::kNotArrived:
      return "not-arrived";
    case Outcome::Kind::kTimedOut:
      return "timed-out";
    case Outcome::Kind::kInterrupted:
      return "interrupted";
    case Outcome::Kind::kRefused:
      return "refused";
    case Outcome::Kind::kFile:
      return "file";
    case Outcome::Kind::kLeftUnknown:
      return "left-unknown";
  }
  return "unknown";
}

int ExitStatusOf(const Outcome& outcome) {
  if (outcome.ok()) return 0;
  if (outcome.kind == Outcome::Kind::kLeftUnknown) return kExitLeftUnknown;
  return outcome.kind == Outcome::Kind::kInterrupted ? kExitInterrupted : kExitFailure;
}

Session::Session(Output& out, const host::SkyClock& clock, SessionOptions options)
    : out_(out),
      clock_(clock),
      options_(std::move(options)),
      facts_(host::FactsOf(options_.model)) {}

Session::~Session() { Disconnect(); }

std::string Session::AxisName(int axis) const {
  if (facts_->equatorial) return axis == 0 ? "right ascension" : "declination";
  return axis == 0 ? "azimuth" : "altitude";
}

Outcome Session::FromCode(int code) const {
  Outcome o;
  o.code = code;
  if (code == SIDERA_NO_RESPONSE_AXIS0 || code == SIDERA_NO_RESPONSE_AXIS1) {
    const int axis = code == SIDERA_NO_RESPONSE_AXIS0 ? 0 : 1;
    o.kind = Outcome::Kind::kNoResponse;
    o.message = "the mount stopped answering: axis " + std::to_string(axis) + " (" +
                AxisName(axis) + ") does not reply (" + host::LibraryMessage(code) + ", code " +
                std::to_string(code) + ")";
    return o;
  }
  o.kind = Outcome::Kind::kLibrary;
  o.message = host::LibraryMessage(code) + " (code " + std::to_string(code) + ")";
  return o;
}

void Session::Done(const std::string& step, const std::string& text, const JsonObject& data) {
  out_.Text(text);
  out_.Json(JsonObject().Add("step", step).Add("ok", true).AddRaw("data", data.str()));
}

void Session::ReportFailure(const std::string& step, const std::string& what,
                            const Outcome& outcome) {
  if (out_.json()) {
    JsonObject line;
    line.Add("step", step).Add("ok", false).Add("error", OutcomeKindName(outcome.kind));
    if (outcome.kind == Outcome::Kind::kLibrary || outcome.kind == Outcome::Kind::kNoResponse) {
      line.Add("code", outcome.code);
    } else {
      line.AddRaw("code", "null");
    }
    line.Add("message", outcome.message).AddRaw("data", JsonObject().Add("what", what).str());
    out_.Json(line);
  } else {
    out_.Error(what + ": " + outcome.message);
  }
}

Outcome Session::Connect() {
  if (options_.port >= 0) ::SetComPort(options_.port);
  const std::string name = host::LibraryModelName(options_.model);
  const Observer& site = options_.site.observer;
  const int code = ::CreateMount(options_.model, site.latitude, site.elevation);
  if (code != 0 && Interrupted()) {
    const Outcome o{Outcome::Kind::kInterrupted, 0, "interrupted; nothing was moved"};
    ReportFailure("connect", "connect", o);
    return o;
  }
  if (code != 0) {
    Outcome o = FromCode(code);
    if (code == SIDERA_NOT_IMPLEMENTED) o.kind = Outcome::Kind::kRefused;
    o.message = host::ConnectFailureReason(
        {options_.model, options_.device, "choose one with --device PATH or --port N",
         "give its model with --model (sidera models lists them)"},
        code);
    ReportFailure("connect", "connect", o);
    return o;
  }
  connected_ = true;
  // A Ctrl-C while the controller was being connected: nothing more happens.
  if (Interrupted()) return Interrupt("connect");
  // CreateMount keeps a default site when it rejects the one given and still
  // answers 0; setting the site again makes a rejection visible.
  if (int site_code = ::SetSite(site.latitude, site.elevation); site_code != 0) {
    Disconnect();
    Outcome o = FromCode(site_code);
    ReportFailure("connect", "site", o);
    return o;
  }
  const bool equatorial = ::IsEquatorialMount() == 1;
  std::string text = "Connected: " + name + " (model " + std::to_string(options_.model) + ", " +
                     (equatorial ? "equatorial" : "alt-azimuth") + ")";
  if (!options_.device.empty()) text += " on " + options_.device;
  text += "\nSite:      latitude " + FormatDegrees(site.latitude) + ", longitude " +
          FormatDegrees(site.longitude) + ", " + FormatFixed(site.elevation, 0) + " m, from " +
          options_.site.source;
  Done("connect", text,
       JsonObject()
           .Add("model", options_.model)
           .Add("name", name)
           .Add("equatorial", equatorial)
           .Add("device", options_.device)
           .Add("latitude", Degrees(site.latitude))
           .Add("longitude", Degrees(site.longitude))
           .Add("elevation", site.elevation)
           .Add("siteSource", options_.site.source));
  return Outcome::Ok();
}

void Session::Disconnect() {
  if (!connected_) return;
  connected_ = false;
  (void)::DestroyMount();  // always 0
}

Outcome Session::ReadState(uint32_t* state) {
  const int code = ::GetMountState(state);
  return code == 0 ? Outcome::Ok() : FromCode(code);
}

Outcome Session::ReadAxes(AxisPair* axes) {
  // Axis by axis, so that a silent axis 1 is named as such.
  for (int axis = 0; axis < 2; ++axis) {
    const int code = ::GetAxisPosition(axis, axis == 0 ? &axes->axis0 : &axes->axis1);
    if (code != 0) return FromCode(code);
  }
  return Outcome::Ok();
}

Outcome Session::ReadSky(SkyPoint* sky) {
  const int code = ::GetSkyPosition(sky);
  return code == 0 ? Outcome::Ok() : FromCode(code);
}

Outcome Session::ReadHorizontal(HorizontalPoint* horizontal) {
  const int code = ::GetHorizontalPosition(horizontal);
  return code == 0 ? Outcome::Ok() : FromCode(code);
}

LocalPlace Session::LocalNow(const TargetSpec& target) const {
  const int64_t now = Now();
  CataloguePlace place;
  if (target.kind == TargetSpec::Kind::kNamed) {
    place = target.named.PlaceAt(now);
  } else {
    place.rightAscension = target.a;
    place.declination = target.b;
  }
  return LocalOf(place, options_.site.observer, now);
}

AxisPair Session::GoalAxes(const TargetSpec& target) const {
  if (target.kind == TargetSpec::Kind::kAxes) return {target.a, target.b};
  SkyPoint sky{};
  if (target.kind == TargetSpec::Kind::kHorizontal) {
    const HourAngleDec e =
        EquatorialOfHorizontal(target.a, target.b, options_.site.observer.latitude);
    sky = {e.hourAngle, e.declination};
  } else {
    const LocalPlace p = LocalNow(target);
    sky = {p.hourAngle, p.declination};
  }
  AxisPair axes{};
  (void)::SkyToAxes(sky, &axes);  // 0 whenever a mount exists
  return axes;
}

Outcome Session::PointingError(const TargetSpec& target, double* error) {
  switch (target.kind) {
    case TargetSpec::Kind::kNamed:
    case TargetSpec::Kind::kCatalogue: {
      SkyPoint sky{};
      if (Outcome o = ReadSky(&sky); !o.ok()) return o;
      const LocalPlace p = LocalNow(target);
      *error = Separation(sky.hourAngle, sky.declination, p.hourAngle, p.declination);
      return Outcome::Ok();
    }
    case TargetSpec::Kind::kHorizontal: {
      HorizontalPoint h{};
      if (Outcome o = ReadHorizontal(&h); !o.ok()) return o;
      *error = Separation(h.azimuth, h.altitude, target.a, target.b);
      return Outcome::Ok();
    }
    case TargetSpec::Kind::kAxes: {
      AxisPair axes{};
      if (Outcome o = ReadAxes(&axes); !o.ok()) return o;
      // Axis angles asked for are reached axis by axis: the sky would not
      // tell axis 0 apart with axis 1 at the pole.
      *error = AxisDistance(axes, AxisPair{target.a, target.b});
      return Outcome::Ok();
    }
  }
  return Outcome::Ok();
}

Outcome Session::Interrupt(const std::string& what) {
  Outcome o = StopAfter({Outcome::Kind::kInterrupted, 0, "interrupted"});
  ReportFailure(what, what, o);
  return o;
}

Outcome Session::StopAfter(Outcome outcome) {
  // Tracking off and both halts on the line at once, nothing read first: a
  // controller that answers late (what may have ended the step) does not
  // hold up the halt of the other axis.
  const int code = host::StopEverything();
  if (code == 0) {
    outcome.message += "; both axes were stopped";
  } else {
    outcome.message += "; stopping the axes failed too (" + host::LibraryMessage(code) + ", code " +
                       std::to_string(code) + ")";
  }
  return outcome;
}

Outcome Session::Goto(const TargetSpec& target, bool wait, MotionReport* report) {
  if (Interrupted()) return StopAfter({Outcome::Kind::kInterrupted, 0, "interrupted"});
  int code = 0;
  switch (target.kind) {
    case TargetSpec::Kind::kNamed:
    case TargetSpec::Kind::kCatalogue: {
      const LocalPlace p = LocalNow(target);
      code = ::GotoSky(p.hourAngle, p.declination);
      break;
    }
    case TargetSpec::Kind::kHorizontal:
      code = ::GotoHorizontal(WrapPi(target.a), target.b);
      break;
    case TargetSpec::Kind::kAxes:
      code = ::GotoAxes(target.a, target.b);
      break;
  }
  if (code == SIDERA_TARGET_TOO_HIGH || code == SIDERA_TARGET_TOO_LOW) {
    // Which limit, and how to change it.
    Outcome o = FromCode(code);
    o.message += ": " + target.label + " is " + LimitText(code == SIDERA_TARGET_TOO_HIGH, limits_);
    return o;
  }
  if (code != 0) return FromCode(code);
  // The mount's record now names this goto as started: the watch waits for
  // the outcome of that number.
  gotoRecord_ = MotionOutcome{};
  (void)::GetMotionOutcome(SIDERA_OUTCOME_MOUNT, &gotoRecord_);  // 0 with a mount
  target_ = target;
  unwatchedGoto_ = !wait;
  if (!wait) return Outcome::Ok();
  return WatchGoto(target, report);
}

Outcome Session::WatchGoto(const TargetSpec& target, MotionReport* report) {
  const double skyStart = clock_.ElapsedSeconds();
  host::GotoWatch watch;
  watch.Start(gotoRecord_, skyStart, options_.motionTimeout);
  for (;;) {
    if (Interrupted()) return StopAfter({Outcome::Kind::kInterrupted, 0, "interrupted"});
    // The library records how the goto ended; the state and the positions
    // are read only for the progress line (and report a silent controller).
    MotionOutcome record{};
    (void)::GetMotionOutcome(SIDERA_OUTCOME_MOUNT, &record);  // 0 with a mount
    const double elapsed = clock_.ElapsedSeconds() - skyStart;
    if (watch.Observe(record, clock_.ElapsedSeconds()) == host::GotoWatch::State::kEnded) break;
    uint32_t state = 0;
    AxisPair axes{};
    if (Outcome o = ReadState(&state); !o.ok()) return StopAfter(o);
    if (Outcome o = ReadAxes(&axes); !o.ok()) return StopAfter(o);
    const double toGo = AxisDistance(axes, GoalAxes(target));
    out_.Progress("goto " + target.label + "  " + MountStateName(state) + "  " +
                  DistanceText(toGo) + " to go  " + FormatFixed(elapsed, 0) + " s");
    std::this_thread::sleep_for(kPollInterval);
  }
  out_.EndProgress();
  const double seconds = clock_.ElapsedSeconds() - skyStart;
  const MotionOutcome& end = watch.outcome();
  switch (watch.end()) {
    case host::GotoWatch::End::kArrived:
      break;
    case host::GotoWatch::End::kNotArrived:
      return StopAfter({Outcome::Kind::kNotArrived, 0,
                        "the mount ended the goto " + DistanceText(end.error) +
                            " from the target, outside its tolerance"});
    case host::GotoWatch::End::kStopped:
      return StopAfter({Outcome::Kind::kInterrupted, end.code,
                        "the goto was stopped " + DistanceText(end.error) + " from the target"});
    case host::GotoWatch::End::kReplaced:
      return StopAfter(
          {Outcome::Kind::kInterrupted, end.code, "the goto was replaced by a newer command"});
    case host::GotoWatch::End::kTimedOut:
      return StopAfter({Outcome::Kind::kTimedOut, 0,
                        "the goto did not end within " + FormatFixed(seconds, 0) + " s"});
    case host::GotoWatch::End::kFailed:
    case host::GotoWatch::End::kNone:
      return StopAfter(FromCode(end.code));
  }
  bool tracking = false;
  if (target.IsSky()) {
    uint32_t state = 0;
    Outcome o = AwaitState([](uint32_t s) { return s == SIDERA_MOUNT_TRACKING; },
                           kTrackingStartSeconds, &state);
    if (!o.ok()) return StopAfter(o);
    tracking = state == SIDERA_MOUNT_TRACKING;
  }
  if (report != nullptr) {
    report->seconds = seconds;
    report->errorArcsec = end.error * kRadToArcsec;
    report->tracking = tracking;
  }
  return Outcome::Ok();
}

Outcome Session::AwaitState(bool (*want)(uint32_t), double seconds, uint32_t* state) {
  const auto start = steady_clock::now();
  for (;;) {
    if (Interrupted()) return StopAfter({Outcome::Kind::kInterrupted, 0, "interrupted"});
    if (Outcome o = ReadState(state); !o.ok()) return o;
    if (want(*state) || RealSecondsSince(start) > seconds) return Outcome::Ok();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

Outcome Session::Align(const std::vector<TargetSpec>& stars, double offset0, double offset1,
                       AlignReport* report) {
  std::vector<AlignStar> records;
  for (const TargetSpec& star : stars) {
    if (Interrupted()) return StopAfter({Outcome::Kind::kInterrupted, 0, "interrupted"});
    MotionReport motion;
    if (Outcome o = Goto(star, true, &motion); !o.ok()) {
      o.message = "centring " + star.label + ": " + o.message;
      return o;
    }
    // Centring: on a simulated mount its own pointing is the star; the
    // offsets stand for an error of the mount that alignment must absorb.
    AxisPair axes{};
    if (Outcome o = ReadAxes(&axes); !o.ok()) return o;
    const LocalPlace p = LocalNow(star);
    const AlignStar record{p.hourAngle, p.declination, axes.axis0 + offset0, axes.axis1 + offset1};
    records.push_back(record);
    AxisPair model{};
    (void)::SkyToAxes(SkyPoint{p.hourAngle, p.declination}, &model);  // 0 with a mount
    report->stars.push_back(star.label);
    report->beforeArcsec.push_back(
        Separation(model.axis0, model.axis1, record.axis0, record.axis1) * kRadToArcsec);
    out_.Text("  centred " + star.label + " at axes " + FormatFixed(Degrees(record.axis0), 4) +
              "\xC2\xB0 " + FormatFixed(Degrees(record.axis1), 4) + "\xC2\xB0");
  }
  // One to three stars fit as the alignments of that count; more make the
  // many-star model, which reports its residuals' RMS and the stars it
  // dropped.
  report->manyStars = records.size() > 3;
  const int code = ::AlignStars(records.data(), static_cast<int>(records.size()));
  if (code != 0) return FromCode(code);
  alignPoints_.clear();
  for (size_t i = 0; i < records.size(); ++i) alignPoints_.push_back({stars[i].label, records[i]});
  double offset = 0;
  report->quality = ::GetAlignmentQuality(&offset);
  report->axisOffsetArcsec = offset * kRadToArcsec;
  if (report->manyStars) {
    std::vector<double> residuals(records.size());
    std::vector<int> used(records.size());
    int count = 0;
    if (::GetAlignmentResiduals(residuals.data(), used.data(), static_cast<int>(used.size()),
                                &count) == 0) {
      for (size_t i = 0; i < used.size() && static_cast<int>(i) < count; ++i) {
        if (used[i] == 0) report->dropped.push_back(report->stars[i]);
      }
    }
  }
  for (const AlignStar& r : records) {
    AxisPair model{};
    (void)::SkyToAxes(SkyPoint{r.hourAngle, r.declination}, &model);
    report->afterArcsec.push_back(Separation(model.axis0, model.axis1, r.axis0, r.axis1) *
                                  kRadToArcsec);
  }
  return Outcome::Ok();
}

Outcome Session::Track(double seconds, TrackReport* report) {
  if (Interrupted()) return StopAfter({Outcome::Kind::kInterrupted, 0, "interrupted"});
  uint32_t state = 0;
  if (Outcome o = ReadState(&state); !o.ok()) return o;
  const bool wasTracking = state == SIDERA_MOUNT_TRACKING;
  if (!wasTracking) {
    // Refused (an axis still driven, or not answering) with the reason.
    if (const int code = ::SetTracking(1); code != 0) return FromCode(code);
    if (Outcome o = AwaitState([](uint32_t s) { return s == SIDERA_MOUNT_TRACKING; },
                               kTrackingStartSeconds, &state);
        !o.ok()) {
      return o;
    }
    if (state != SIDERA_MOUNT_TRACKING) {
      return {Outcome::Kind::kRefused, 0,
              "the mount did not start tracking (it is " + MountStateName(state) + ")"};
    }
  }
  // The tracking a sky goto hands over to follows the goto's target: the
  // distance to it is reported at the start and at the end. On an
  // alt-azimuth mount that tracking first closes the distance the goto left
  // (up to its tolerance), so drift counts from after the closing.
  const std::optional<TargetSpec> followed =
      wasTracking && target_ && target_->IsSky() ? target_ : std::nullopt;
  const double settle =
      followed && !facts_->equatorial ? std::fmin(kClosingSeconds, seconds / 2) : 0;
  const auto toTarget = [&](const SkyPoint& sky) {
    if (!followed) return -1.0;
    const LocalPlace p = LocalNow(*followed);
    return Separation(sky.hourAngle, sky.declination, p.hourAngle, p.declination) * kRadToArcsec;
  };
  SkyPoint sky{};
  if (Outcome o = ReadSky(&sky); !o.ok()) return o;
  report->targetStartArcsec = toTarget(sky);
  std::optional<IcrsDirection> start;
  const double skyStart = clock_.ElapsedSeconds();
  double drift = 0;
  double worst = 0;
  for (;;) {
    if (Interrupted()) return StopAfter({Outcome::Kind::kInterrupted, 0, "interrupted"});
    const double elapsed = clock_.ElapsedSeconds() - skyStart;
    if (Outcome o = ReadState(&state); !o.ok()) return StopAfter(o);
    if (Outcome o = ReadSky(&sky); !o.ok()) return StopAfter(o);
    AxisPair axes{};
    if (Outcome o = ReadAxes(&axes); !o.ok()) return StopAfter(o);
    if (state != SIDERA_MOUNT_TRACKING) {
      return {Outcome::Kind::kRefused, 0,
              "tracking stopped after " + FormatFixed(elapsed, 0) + " s (the mount is " +
                  MountStateName(state) + ")"};
    }
    const IcrsDirection now =
        CatalogueOfLocal({sky.hourAngle, sky.declination}, options_.site.observer, Now());
    if (!start && elapsed >= settle) {
      start = now;
      report->driftFromSeconds = settle > 0 ? elapsed : 0;
    }
    std::string shown;
    if (start) {
      drift = Separation(start->rightAscension, start->declination, now.rightAscension,
                         now.declination);
      worst = std::fmax(worst, drift);
      shown = "  drift " + DistanceText(drift);
    } else {
      shown = "  closing on " + followed->label;
    }
    report->targetEndArcsec = toTarget(sky);
    if (followed) shown += "  " + DistanceText(report->targetEndArcsec / kRadToArcsec) + " off";
    out_.Progress("tracking  RA " + FormatHours(now.rightAscension) + " Dec " +
                  FormatDegrees(now.declination) + shown + "  " + FormatFixed(elapsed, 0) + " / " +
                  FormatFixed(seconds, 0) + " s");
    if (elapsed >= seconds) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  out_.EndProgress();
  report->seconds = clock_.ElapsedSeconds() - skyStart;
  report->driftArcsec = drift * kRadToArcsec;
  report->worstArcsec = worst * kRadToArcsec;
  if (followed) report->target = followed->label;
  return Outcome::Ok();
}

std::string TrackText(const TrackReport& r) {
  const auto arcsec = [](double a) { return FormatFixed(a, 1) + "\""; };
  std::string text = "drift " + arcsec(r.driftArcsec) + " (largest " + arcsec(r.worstArcsec) + ")";
  if (r.driftFromSeconds > 0) {
    text += " over the last " + FormatFixed(r.seconds - r.driftFromSeconds, 0) + " s, after " +
            FormatFixed(r.driftFromSeconds, 0) + " s closing onto " + r.target;
  }
  if (!r.target.empty()) {
    text += "; " + r.target + " " + arcsec(r.targetStartArcsec) + " off at the start, " +
            arcsec(r.targetEndArcsec) + " at the end";
  }
  return text;
}

std::string Session::PositionLine(const AxisPair& axes, const SkyPoint& sky,
                                  const HorizontalPoint& hz, uint32_t state) {
  const IcrsDirection place =
      CatalogueOfLocal({sky.hourAngle, sky.declination}, options_.site.observer, Now());
  return MountStateName(state) + "  RA " + FormatHours(place.rightAscension) + " Dec " +
         FormatDegrees(place.declination) + "  Az " + FormatAzimuth(hz.azimuth) + " Alt " +
         FormatFixed(Degrees(hz.altitude), 2) + "\xC2\xB0  axes " +
         FormatFixed(Degrees(axes.axis0), 3) + "\xC2\xB0 " + FormatFixed(Degrees(axes.axis1), 3) +
         "\xC2\xB0";
}

Outcome Session::Watch(double seconds, const std::string& label) {
  const double skyStart = clock_.ElapsedSeconds();
  for (;;) {
    if (Interrupted()) return StopAfter({Outcome::Kind::kInterrupted, 0, "interrupted"});
    const double elapsed = clock_.ElapsedSeconds() - skyStart;
    uint32_t state = 0;
    AxisPair axes{};
    SkyPoint sky{};
    HorizontalPoint hz{};
    Outcome o = ReadState(&state);
    if (o.ok()) o = ReadAxes(&axes);
    if (o.ok()) o = ReadSky(&sky);
    if (o.ok()) o = ReadHorizontal(&hz);
    if (!o.ok()) return StopAfter(o);
    out_.Progress(label + "  " + PositionLine(axes, sky, hz, state) + "  " +
                  FormatFixed(elapsed, 0) + " s");
    if (elapsed >= seconds) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  out_.EndProgress();
  return Outcome::Ok();
}

double Session::GotoToleranceDegrees() const {
  return host::ConnectedGotoToleranceDegrees(facts().gotoToleranceDegrees);
}

}  // namespace sidera::tool
