// The demo: align a mount on two bright stars that are up at the site, send
// it to several stars with live progress, report the pointing error on each
// arrival, then track one star and show that its sky position holds. It runs
// the library's clock faster than real time so that it ends within a minute.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/sidera/astro.h"
#include "tools/sidera/commands.h"
#include "tools/sidera/emulator_process.h"
#include "tools/sidera/format.h"
#include "tools/sidera/interrupt.h"
#include "tools/sidera/library.h"
#include "tools/sidera/output.h"
#include "tools/sidera/session.h"
#include "tools/sidera/session_setup.h"
#include "tools/sidera/sky_clock.h"

namespace sidera::tool {
namespace {

constexpr double kSimulatorScale = 40.0;
constexpr double kEmulatorScale = 20.0;
// A mechanical error of the mount as set up: the axis readings differ from
// the nominal geometry by this much, which the alignment has to find.
constexpr double kMountOffset0 = 0.4 / 180.0 * kPi;
constexpr double kMountOffset1 = -0.3 / 180.0 * kPi;
constexpr int kTourLength = 4;

struct Candidate {
  const Star* star;
  SkyPoint sky;
  Horizontal horizontal;
};

std::string ProgramDirectory() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

std::string Arcsec(double arcsec) { return FormatFixed(arcsec, 1) + "\""; }

std::string Arcmin(double arcsec) { return FormatFixed(arcsec / 60.0, 1) + "'"; }

std::vector<Candidate> StarsUp(Session& session, double minAltitude, double maxAltitude) {
  std::vector<Candidate> up;
  for (const Star& star : BrightStars()) {
    const SkyPoint sky = session.SkyNow(star.rightAscension, star.declination);
    const Horizontal h = HorizontalOf(sky.hourAngle, sky.declination, session.options().latitude);
    // Stars close to the meridian would change pier side during the demo.
    if (std::fabs(sky.hourAngle) < Radians(12)) continue;
    if (h.altitude < Radians(minAltitude) || h.altitude > Radians(maxAltitude)) continue;
    up.push_back({&star, sky, h});
  }
  return up;
}

// The pair with the best rating from the mount itself (CheckStars1/2),
// preferring a separation close to a right angle.
bool PickAlignmentPair(Session& session, const std::vector<Candidate>& up, Candidate* first,
                       Candidate* second) {
  const SideraApi& api = session.api();
  double bestScore = -1;
  for (size_t i = 0; i < up.size(); ++i) {
    if (api.CheckStars1(up[i].sky) <= 0) continue;
    for (size_t j = 0; j < up.size(); ++j) {
      if (i == j) continue;
      const int rating = api.CheckStars2(up[i].sky, up[j].sky, 0);
      if (rating <= 0) continue;
      const double separation = Separation(up[i].sky.hourAngle, up[i].sky.declination,
                                           up[j].sky.hourAngle, up[j].sky.declination);
      const double score = rating * 10.0 - std::fabs(Degrees(separation) - 90.0) / 10.0;
      if (score > bestScore) {
        bestScore = score;
        *first = up[i];
        *second = up[j];
      }
    }
  }
  return bestScore >= 0;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int CommandDemo(const Words& args, bool json) {
  Output out(json);
  SetupOptions setup;
  // Mount Wilson Observatory, California.
  setup.session.latitude = Radians(34.2256);
  setup.session.longitude = Radians(-118.0572);
  setup.session.elevation = 1742;
  std::string siteName = "Mount Wilson, California";
  size_t next = 0;
  std::string error;
  if (!ParseSetupOptions(args, &next, &setup, &error) || next != args.size()) {
    out.Error(
        "usage: sidera demo [--model N] [--lat DEG --lon DEG --elev M] [--utc TIME] "
        "[--clock-scale X]" +
        (error.empty() ? std::string() : "\n" + error));
    return 2;
  }
  for (const std::string& a : args) {
    if (a == "--lat" || a == "--lon") siteName = "the given site";
  }
  const int model = setup.session.model;
  const bool byteCommand = model >= 8 && model <= 11;
  const bool emulated = model == 0 || model == 1 || byteCommand;
  if (!emulated && model != 6 && model != 7) {
    // The demo moves the mount to made-up offsets; it runs only where no
    // real telescope can be attached.
    out.Error(
        "demo: runs on the simulators (--model 6 or 7) and on the packet-bus and byte-command "
        "models against their emulators (--model 0, 1 or 8 to 11)");
    return 2;
  }
  if (!setup.clockScale) {
    const double fromEnv = ClockScaleFromEnvironment();
    setup.clockScale = fromEnv != 1.0 ? fromEnv : (emulated ? kEmulatorScale : kSimulatorScale);
  }
  const double scale = *setup.clockScale;

  EmulatorProcess emulator;
  if (emulated) {
    const std::string program =
        ProgramDirectory() + (byteCommand ? "/family2-emulator" : "/family1-emulator");
    std::vector<std::string> emulatorArgs = {"--time-scale", FormatFixed(scale, 3)};
    if (byteCommand) emulatorArgs.insert(emulatorArgs.end(), {"--model", std::to_string(model)});
    if (!emulator.Start(program, emulatorArgs, 5000)) {
      out.Error("demo: cannot start the controller emulator: " + emulator.error());
      return 1;
    }
    setup.device = emulator.devicePath();
  }
  ExportLibraryEnvironment(setup);
  Library library;
  if (!library.Load(DefaultLibraryPath())) {
    out.Error("demo: " + library.error());
    return 1;
  }
  SkyClock clock(scale, setup.startUtc);
  InstallInterruptHandler();
  const auto realStart = std::chrono::steady_clock::now();

  out.Text("Sidera demo: " + library.MountName(model) + " (model " + std::to_string(model) + ")");
  out.Text("Site:  " + siteName + ", latitude " + FormatDegrees(setup.session.latitude) +
           ", longitude " + FormatDegrees(setup.session.longitude) + ", " +
           FormatFixed(setup.session.elevation, 0) + " m");
  if (emulated) {
    out.Text(std::string("Mount: ") + (byteCommand ? "byte-command" : "packet-bus") +
             " controller emulator on " + setup.device);
  }
  out.Text("Clock: the library runs " + FormatFixed(scale, 0) +
           " times faster than real time (SIDERA_CLOCK_SCALE); every time below is sky "
           "time.");

  Session session(library, out, clock, setup.session);
  if (int code = session.Connect(); code != 0) {
    if (code == SIDERA_NOT_IMPLEMENTED) {
      out.Error("demo: model " + std::to_string(model) + " cannot run yet: CreateMount answered " +
                std::to_string(code) + " (" + library.ErrorText(code) + ")");
    }
    return 1;
  }
  out.Text("Local sidereal time " + FormatHours(session.LocalSidereal()));

  // 1. Alignment on two stars that are up now.
  const bool equatorial = session.api().IsEquatorialMount() == 1;
  std::vector<Candidate> up = StarsUp(session, 20, equatorial ? 70 : 58);
  Candidate first{}, second{};
  if (!PickAlignmentPair(session, up, &first, &second)) {
    out.Error(
        "demo: fewer than two suitable bright stars are up at this site now; try another "
        "--utc or site");
    return 1;
  }
  out.Text("");
  out.Text(std::string("1. Alignment on ") + first.star->name + " and " + second.star->name +
           ". The mount is set up " + FormatFixed(Degrees(kMountOffset0) * 60, 0) +
           "' off on axis 0 and " + FormatFixed(Degrees(kMountOffset1) * 60, 0) +
           "' on axis 1; centring each star shows it, and the alignment absorbs it.");
  AlignReport align;
  if (int code = session.Align({first.star, second.star}, kMountOffset0, kMountOffset1, &align);
      code != 0) {
    session.Fail("align", code);
    return 1;
  }
  for (size_t i = 0; i < align.stars.size(); ++i) {
    out.Text("   " + align.stars[i] + ": the nominal model points " +
             Arcmin(align.beforeArcsec[i]) + " from the centred axes; the aligned model " +
             Arcsec(align.afterArcsec[i]));
  }
  out.Text("   alignment quality " + std::to_string(align.quality) + ", model residual " +
           Arcsec(align.residual * kRadToArcsec));

  // 2. A tour of other bright stars.
  std::vector<Candidate> tour;
  for (const Candidate& c : StarsUp(session, 20, equatorial ? 70 : 72)) {
    if (c.star == first.star || c.star == second.star) continue;
    if (std::fabs(c.star->declination) > Radians(80)) continue;
    tour.push_back(c);
    if (tour.size() == kTourLength) break;
  }
  std::sort(tour.begin(), tour.end(), [](const Candidate& a, const Candidate& b) {
    return a.horizontal.azimuth < b.horizontal.azimuth;
  });
  out.Text("");
  out.Text(
      "2. Gotos (pointing error = commanded position versus the mount's reported sky "
      "position on arrival)");
  std::vector<double> errors;
  for (const Candidate& c : tour) {
    MotionReport motion;
    Target target{Target::Kind::kSky, c.star->name, c.star->rightAscension, c.star->declination};
    if (int code = session.Goto(target, true, &motion); code != 0) {
      session.Fail(std::string("goto ") + c.star->name, code);
      return 1;
    }
    errors.push_back(motion.errorArcsec);
    char line[160];
    std::snprintf(line, sizeof line, "   %-12s arrived after %5.1f s, pointing error %6.1f\"",
                  c.star->name, motion.seconds, motion.errorArcsec);
    out.Text(line);
  }

  // 3. Tracking the last star.
  const double trackSeconds = emulated ? 300 : 600;
  const std::string tracked = tour.empty() ? second.star->name : tour.back().star->name;
  out.Text("");
  out.Text("3. Tracking " + tracked + " for " + FormatFixed(trackSeconds / 60, 0) + " minutes");
  TrackReport track;
  if (int code = session.Track(trackSeconds, &track); code != 0) {
    session.Fail("track", code);
    return 1;
  }
  out.Text("   the sky position drifted " + Arcsec(track.driftArcsec) + " (largest excursion " +
           Arcsec(track.worstArcsec) + ") over " + FormatFixed(track.seconds, 0) + " s");
  session.Disconnect();

  const double realSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
  const double worst = errors.empty() ? 0 : *std::max_element(errors.begin(), errors.end());
  out.Text("");
  out.Text("Summary: " + std::to_string(errors.size()) + " gotos, pointing error median " +
           Arcsec(Median(errors)) + ", worst " + Arcsec(worst) + "; tracking drift " +
           Arcsec(track.driftArcsec) + " in " + FormatFixed(track.seconds / 60, 0) +
           " min; real time " + FormatFixed(realSeconds, 1) + " s at " + FormatFixed(scale, 0) +
           "x.");
  out.Json(JsonObject()
               .Add("demo", "done")
               .Add("model", model)
               .Add("gotos", static_cast<int>(errors.size()))
               .Add("medianErrorArcsec", Median(errors))
               .Add("worstErrorArcsec", worst)
               .Add("driftArcsec", track.driftArcsec)
               .Add("clockScale", scale)
               .Add("realSeconds", realSeconds));
  if (emulated) emulator.Stop();
  return 0;
}

}  // namespace sidera::tool
