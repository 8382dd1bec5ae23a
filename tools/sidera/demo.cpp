// The demo: align a mount on two bright stars that are up at the site, send
// it to several stars with live progress, report the pointing error on each
// arrival, then track one star and show that its sky position holds. It runs
// the library's clock faster than real time so that it ends within a minute,
// on a simulator or on a hardware model against its family's emulator.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "host/library_text.h"
#include "host/sky_clock.h"
#include "tools/sidera/astro.h"
#include "tools/sidera/commands.h"
#include "tools/sidera/demo_plan.h"
#include "tools/sidera/emulators.h"
#include "tools/sidera/format.h"
#include "tools/sidera/interrupt.h"
#include "tools/sidera/library.h"
#include "tools/sidera/output.h"
#include "tools/sidera/session.h"
#include "tools/sidera/session_setup.h"

namespace sidera::tool {
namespace {

constexpr double kSimulatorScale = 40.0;
constexpr double kEmulatorScale = 20.0;

// A chosen star as the session takes a target.
TargetSpec TargetOf(const DemoStar& star) {
  TargetSpec t;
  FindTarget(star.entry->name, &t.named);
  t.label = t.named.name;
  return t;
}

std::string Arcsec(double arcsec) { return FormatFixed(arcsec, 1) + "\""; }
std::string Arcmin(double arcsec) { return FormatFixed(arcsec / 60.0, 1) + "'"; }

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A step's exit status when the demo goes on.
constexpr int kGoOn = -1;

// Parses the options, gives the demo its own site unless one is given and
// picks the clock scale. Returns kGoOn or the exit status.
int PrepareDemo(const Words& args, Output& out, SetupOptions* setup, bool* siteGiven) {
  size_t next = 0;
  std::string error;
  if (!ParseSetupOptions(args, &next, setup, &error) || next != args.size()) {
    out.Failure("usage", "usage",
                "usage: sidera demo [--model N] [--lat DEG --lon DEG --elev M] [--utc TIME] "
                "[--clock-scale X]" +
                    (error.empty() ? std::string() : "\n" + error));
    return kExitUsage;
  }
  // The demo has a site of its own (Mount Wilson Observatory, California)
  // unless one is given: it shows the program, not the user's sky.
  *siteGiven = setup->site.latitude.has_value() || setup->site.longitude.has_value();
  if (!*siteGiven) {
    setup->site.latitude = 34.2256;
    setup->site.longitude = -118.0572;
    if (!setup->site.elevation) setup->site.elevation = 1742;
  }
  const bool simulator = host::IsSimulator(*host::FactsOf(setup->model));
  if (!simulator && !HasEmulator(setup->model)) {
    // The demo moves the mount to made-up offsets; it runs only where no
    // real telescope can be attached.
    out.Failure("usage", "usage",
                "demo: runs on the simulators (models 6 and 7) and on hardware models whose "
                "family has a controller emulator in this build; model " +
                    std::to_string(setup->model) + " has none");
    return kExitUsage;
  }
  if (!setup->clockScale) {
    const double fromEnv = host::ClockScaleFromEnvironment();
    setup->clockScale = fromEnv != 1.0 ? fromEnv : (simulator ? kSimulatorScale : kEmulatorScale);
  }
  return kGoOn;
}

// 1. Alignment on the two chosen stars, with the mount set up off by the
// demo's offsets.
int DemoAlignment(Session& session, Output& out, const DemoChoice& choice) {
  const bool equatorial = session.facts().equatorial;
  const TargetSpec first = TargetOf(choice.first);
  const TargetSpec second = TargetOf(choice.second);
  out.Text("");
  out.Text("1. Alignment on " + first.label + " and " + second.label + ". The mount is set up " +
           FormatFixed(Degrees(kDemoMountOffset0) * 60, 0) + "' off on axis 0 and " +
           FormatFixed(Degrees(kDemoMountOffset1) * 60, 0) +
           "' on axis 1; centring each star shows it, and the alignment absorbs it.");
  AlignReport align;
  SetInterruptContext("align");
  if (Outcome o = session.Align({first, second}, kDemoMountOffset0, kDemoMountOffset1, &align);
      !o.ok()) {
    session.ReportFailure("align", "align", o);
    return ExitStatusOf(o);
  }
  for (size_t i = 0; i < align.stars.size(); ++i) {
    out.Text("   " + align.stars[i] + ": the nominal model points " +
             Arcmin(align.beforeArcsec[i]) + " from the centred axes; the aligned model " +
             Arcsec(align.afterArcsec[i]));
  }
  out.Text(std::string("   in the aligned model the mount's ") +
           (equatorial ? "polar axis lies " : "vertical axis lies ") +
           Arcmin(align.axisOffsetArcsec) + " from the " + (equatorial ? "pole" : "zenith"));
  return kGoOn;
}

// 2. A tour of other bright stars; each arrival's pointing error goes to
// `errors`.
int DemoTour(Session& session, Output& out, const std::vector<TargetSpec>& tour,
             std::vector<double>* errors) {
  out.Text("");
  out.Text(
      "2. Gotos (pointing error = the target versus the mount's reported sky position when "
      "it ends the goto)");
  for (const TargetSpec& target : tour) {
    SetInterruptContext("goto " + target.label);
    MotionReport motion;
    if (Outcome o = session.Goto(target, true, &motion); !o.ok()) {
      session.ReportFailure("goto", "goto " + target.label, o);
      return ExitStatusOf(o);
    }
    errors->push_back(motion.errorArcsec);
    char line[200];
    std::snprintf(line, sizeof line, "   %-12s arrived after %5.1f s, pointing error %6.1f\"",
                  target.label.c_str(), motion.seconds, motion.errorArcsec);
    out.Text(line);
  }
  return kGoOn;
}

// 3. Tracking the last star for `seconds` of sky time.
int DemoTracking(Session& session, Output& out, const std::string& tracked, double seconds,
                 TrackReport* track) {
  out.Text("");
  out.Text("3. Tracking " + tracked + " for " + FormatFixed(seconds / 60, 0) + " minutes");
  SetInterruptContext("track");
  if (Outcome o = session.Track(seconds, track); !o.ok()) {
    session.ReportFailure("track", "track", o);
    return ExitStatusOf(o);
  }
  out.Text("   over " + FormatFixed(track->seconds, 0) + " s: " + TrackText(*track));
  return kGoOn;
}

void PrintSummary(Output& out, int model, double scale, const std::vector<double>& errors,
                  const TrackReport& track, double realSeconds) {
  const double worst = errors.empty() ? 0 : *std::max_element(errors.begin(), errors.end());
  out.Text("");
  out.Text("Summary: " + std::to_string(errors.size()) + " gotos, pointing error median " +
           Arcsec(Median(errors)) + ", worst " + Arcsec(worst) + "; tracking drift " +
           Arcsec(track.driftArcsec) + " in " +
           FormatFixed((track.seconds - track.driftFromSeconds) / 60, 1) + " min" +
           (track.target.empty() ? std::string()
                                 : ", " + Arcsec(track.targetEndArcsec) + " off " + track.target) +
           "; real time " + FormatFixed(realSeconds, 1) + " s at " + FormatFixed(scale, 0) + "x.");
  out.Json(JsonObject()
               .Add("demo", "done")
               .Add("model", model)
               .Add("gotos", static_cast<int>(errors.size()))
               .Add("medianErrorArcsec", Median(errors))
               .Add("worstErrorArcsec", worst)
               .Add("driftArcsec", track.driftArcsec)
               .Add("driftFromSeconds", track.driftFromSeconds)
               .Add("targetEndArcsec", track.targetEndArcsec)
               .Add("clockScale", scale)
               .Add("realSeconds", realSeconds));
}

}  // namespace

int CommandDemo(const Words& args, bool json) {
  Output out(json);
  SetupOptions setup;
  bool siteGiven = false;
  if (const int status = PrepareDemo(args, out, &setup, &siteGiven); status != kGoOn) {
    return status;
  }
  const int model = setup.model;
  const bool simulator = host::IsSimulator(*host::FactsOf(model));
  const double scale = *setup.clockScale;

  EmulatorProcess emulator;
  if (!simulator) {
    std::string error;
    if (!StartEmulator(model, scale, emulator, &error)) {
      out.Failure("connect", "device", "demo: " + error);
      return kExitFailure;
    }
    setup.device = emulator.devicePath();
  }
  SessionOptions options;
  SetupError setupError;
  if (!PrepareSession(setup, &options, &setupError)) {
    out.Failure("connect", setupError.exitStatus == kExitUsage ? "usage" : "device",
                "demo: " + setupError.message);
    return setupError.exitStatus;
  }
  if (!siteGiven) options.site.source = "the demo (Mount Wilson Observatory, California)";
  ExportLibraryEnvironment(setup);
  Library library;
  if (!library.Load(DefaultLibraryPath())) {
    out.Failure("library", "library", "demo: " + library.error());
    return kExitFailure;
  }
  host::SkyClock clock(scale, setup.startUtc);
  const InterruptWatch watch(InterruptWatch::Mode::kEnd, json);
  const auto realStart = std::chrono::steady_clock::now();

  out.Text("Sidera demo: " + host::LibraryModelName(model) + " (model " + std::to_string(model) +
           ")" + (simulator ? "" : " against its controller emulator"));
  out.Text("Clock: the library runs " + FormatFixed(scale, 0) +
           " times faster than real time (SIDERA_CLOCK_SCALE); every time below is sky time.");

  Session session(out, clock, options);
  if (Outcome o = session.Connect(); !o.ok()) return ExitStatusOf(o);

  const Observer& site = session.options().site.observer;
  const std::optional<DemoChoice> choice =
      ChooseDemoStars(StarsAt(site, session.Now()), site.latitude, session.facts().equatorial);
  if (!choice) {
    out.Failure("align", "refused",
                "demo: no two stars at this site and time suit an alignment (the demo is made for "
                "sites from 60 degrees south to 60 degrees north); try another --utc or site");
    return kExitFailure;
  }
  std::vector<TargetSpec> tour;
  for (const DemoStar& star : choice->tour) tour.push_back(TargetOf(star));
  std::vector<double> errors;
  TrackReport track;
  const std::string tracked = tour.empty() ? TargetOf(choice->second).label : tour.back().label;
  if (const int status = DemoAlignment(session, out, *choice); status != kGoOn) return status;
  if (const int status = DemoTour(session, out, tour, &errors); status != kGoOn) return status;
  if (const int status = DemoTracking(session, out, tracked, simulator ? 600 : 300, &track);
      status != kGoOn) {
    return status;
  }
  session.Disconnect();

  const double realSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
  PrintSummary(out, model, scale, errors, track, realSeconds);
  if (!simulator) emulator.Stop();
  return 0;
}

}  // namespace sidera::tool
