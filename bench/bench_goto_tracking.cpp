// Where an alt-azimuth mount points once a sky goto has handed over to
// tracking, on every alt-azimuth model: the simulator (7) and the hardware
// models on their family's controller emulator (0 on the packet-bus one; 2
// and 5 on the hex-command one; 8 to 11 on the byte-command one), all on a
// clock that runs faster than real time. Named on the command line, any
// other model too: model 1, the equatorial one whose controller runs the
// sidereal rate in coarse steps, is measured with --hold over minutes.
//
// For 50 random targets per model (azimuth anywhere, altitude 20 to 70
// degrees at latitude 40 N, each goto starting where the last one ended):
// the distance between the sky position the mount reports and the target
// when the goto ends, and 60 sky-seconds later while it tracks; median and
// worst. On the hardware models also on the emulator's own axes (no read
// time): at the end, 60 s later, and the worst in between. The mount is
// aligned on two stars first (exact observations: the
// emulated axes have no set-up error), which puts the tracking in its
// aligned mode; --unaligned leaves it unaligned.
//
// Usage: bench_goto_tracking [--unaligned] [--verbose] [--targets N] [--scale X]
//                            [--hold SECONDS] [MODEL...]
// (--verbose prints every target; --hold: the sky seconds of tracking
// measured, 60 by default)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/sky_bench.h"
#include "tests/support/controller_axes.h"
#include "tests/support/model_controller.h"

namespace {

using namespace sidera::bench;

double g_hold = 60.0;  // sky seconds of tracking measured

// A centred observation of a sky position: on these mounts the centred axes
// are exactly the nominal ones.
AlignStar Observe(double ha, double dec) {
  AxisPair axes{};
  (void)SkyToAxes(SkyPoint{ha, dec}, &axes);  // 0 with a mount
  return AlignStar{ha, dec, axes.axis0, axes.axis1};
}

struct Stats {
  std::vector<double> arrival, after60;
  // On a hardware model, measured on the emulator's own axes: at the end,
  // the worst over the next 60 s, and 60 s later.
  std::vector<double> axesArrival, axesWorst, axesAfter60;
  int failed = 0;
};

// One model: connect, align unless `unaligned`, then `targets` gotos.
bool RunModel(int model, bool unaligned, bool verbose, int targets, Stats& s) {
  sidera::testing::ModelController controller;
  if (!controller.Start(model, g_clockScale)) {
    std::printf("model %d: no controller emulator\n", model);
    return false;
  }
  if (!CreateModelMount(model)) return false;
  sidera::testing::ControllerAxes axes(controller);
  const bool truth = model != 6 && model != 7;
  if (!unaligned) {
    const SkyPoint a = FromHorizontal(Rad(120), Rad(35), kLatitude);
    const SkyPoint b = FromHorizontal(Rad(250), Rad(50), kLatitude);
    if (int code =
            AlignTwoStars(Observe(a.hourAngle, a.declination), Observe(b.hourAngle, b.declination));
        code != 0) {
      std::printf("model %d: AlignTwoStars answered %d\n", model, code);
      (void)DestroyMount();
      return false;
    }
  }
  if (truth && !axes.Calibrate()) {
    std::printf("model %d: the axes could not be read\n", model);
    (void)DestroyMount();
    return false;
  }
  std::mt19937 rng(1000 + model);
  std::uniform_real_distribution<double> az(-kPi, kPi), alt(Rad(20), Rad(70));
  for (int i = 0; i < targets; ++i) {
    const SkyPoint t = FromHorizontal(az(rng), alt(rng), kLatitude);
    const uint32_t start = sidera::platform::Now();
    const auto errorNow = [&] { return ReadDistanceFromTarget(t, start); };
    bool tracking = false;
    if (GotoSky(t.hourAngle, t.declination) != 0 ||
        WaitForGotoThenTracking(start, 600, 0.2, &tracking) < 0 || !tracking) {
      ++s.failed;
      continue;
    }
    const uint32_t ended = sidera::platform::Now();
    s.arrival.push_back(errorNow());
    double worst = 0.0;
    if (truth) s.axesArrival.push_back(axes.OffTrack(t, start) * kRadToArcsec);
    while (SkySecondsSince(ended) < g_hold) {
      if (truth) worst = std::max(worst, axes.OffTrack(t, start) * kRadToArcsec);
      SleepSky(0.2);
    }
    if (truth) {
      s.axesAfter60.push_back(axes.OffTrack(t, start) * kRadToArcsec);
      s.axesWorst.push_back(std::max(worst, s.axesAfter60.back()));
    }
    s.after60.push_back(errorNow());
    if (verbose) {
      std::printf(
          "  target %2d: HA %7.2f Dec %6.2f deg: %7.1f\" at the end, %7.1f\" %.0f s later\n", i + 1,
          t.hourAngle * 180 / kPi, t.declination * 180 / kPi, s.arrival.back(), s.after60.back(),
          g_hold);
    }
  }
  (void)DestroyMount();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool unaligned = false;
  bool verbose = false;
  int targets = 50;
  double scale = 50.0;
  std::vector<int> models;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--unaligned") == 0) {
      unaligned = true;
    } else if (std::strcmp(argv[i], "--verbose") == 0) {
      verbose = true;
    } else if (std::strcmp(argv[i], "--targets") == 0 && i + 1 < argc) {
      targets = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
      scale = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--hold") == 0 && i + 1 < argc) {
      g_hold = std::atof(argv[++i]);
    } else {
      models.push_back(std::atoi(argv[i]));
    }
  }
  if (models.empty()) models = {7, 0, 2, 5, 8, 9, 10, 11};
  g_clockScale = scale;
  sidera::platform::ScaledTickSource clock(g_clockScale, 1000);
  sidera::platform::ScopedTickSource install(clock);
  std::printf("Sky gotos ending in tracking, %s, %d random targets, latitude 40 N, clock x%.0f\n",
              unaligned ? "unaligned" : "aligned on two stars", targets, g_clockScale);
  int status = 0;
  for (int model : models) {
    Stats s;
    if (!RunModel(model, unaligned, verbose, targets, s)) {
      status = 1;
      continue;
    }
    std::printf("model %2d:", model);
    PrintMedianWorst("at the goto's end", s.arrival);
    const std::string later = std::to_string(static_cast<int>(g_hold)) + " s later";
    PrintMedianWorst(later.c_str(), s.after60);
    if (!s.axesArrival.empty()) {
      std::printf("\n   on its axes:");
      PrintMedianWorst("at the end", s.axesArrival);
      PrintMedianWorst(later.c_str(), s.axesAfter60);
      PrintMedianWorst("worst within", s.axesWorst);
    }
    if (s.failed != 0) std::printf("  (%d gotos did not end in tracking)", s.failed);
    std::printf("\n");
    std::fflush(stdout);
  }
  return status;
}
