// Where every model's sky goto ends: the simulators (6, 7) and the hardware
// models on their family's controller emulator, on a clock that runs faster
// than real time.
//
// For N random targets per model (azimuth anywhere, altitude 20 to 70
// degrees at latitude 40 N, each goto starting where the last one ended):
// the final distance the goto's outcome records, the distance between the
// sky position the mount reports and the target just after it has handed
// over to tracking, and 60 sky-seconds later; median and worst.
//
// Usage: bench_goto_end [--targets N] [--scale X] [MODEL...]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "bench/sky_bench.h"
#include "tests/support/model_controller.h"

namespace {

using namespace sidera::bench;

struct Stats {
  std::vector<double> recorded, atEnd, after60;
  int failed = 0;
};

bool RunModel(int model, int targets, Stats& s) {
  sidera::testing::ModelController controller;
  const bool simulator = model == 6 || model == 7;
  if (!simulator && !controller.Start(model, g_clockScale)) {
    std::printf("model %d: no controller emulator\n", model);
    return false;
  }
  if (!CreateModelMount(model)) return false;
  std::mt19937 rng(2000 + model);
  std::uniform_real_distribution<double> az(-kPi, kPi), alt(Rad(20), Rad(70));
  for (int i = 0; i < targets; ++i) {
    const SkyPoint t = FromHorizontal(az(rng), alt(rng), kLatitude);
    const uint32_t start = sidera::platform::Now();
    const auto errorNow = [&] { return ReadDistanceFromTarget(t, start); };
    bool tracking = false;
    if (GotoSky(t.hourAngle, t.declination) != 0 ||
        WaitForGotoThenTracking(start, 900, 0.2, &tracking) < 0 || !tracking) {
      ++s.failed;
      continue;
    }
    MotionOutcome outcome{};
    (void)GetMotionOutcome(SIDERA_OUTCOME_MOUNT, &outcome);
    s.recorded.push_back(outcome.error * kRadToArcsec);
    const uint32_t ended = sidera::platform::Now();
    s.atEnd.push_back(errorNow());
    while (SkySecondsSince(ended) < 60.0) SleepSky(0.5);
    s.after60.push_back(errorNow());
  }
  (void)DestroyMount();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int targets = 10;
  double scale = 10.0;
  std::vector<int> models;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--targets") == 0 && i + 1 < argc) {
      targets = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
      scale = std::atof(argv[++i]);
    } else {
      models.push_back(std::atoi(argv[i]));
    }
  }
  if (models.empty()) models = {6, 7, 0, 1, 2, 3, 4, 5, 8, 9, 10, 11};
  g_clockScale = scale;
  sidera::platform::ScaledTickSource clock(g_clockScale, 1000);
  sidera::platform::ScopedTickSource install(clock);
  std::printf("Sky gotos, unaligned, %d random targets, latitude 40 N, clock x%.0f\n", targets,
              g_clockScale);
  int status = 0;
  for (int model : models) {
    Stats s;
    if (!RunModel(model, targets, s)) {
      status = 1;
      continue;
    }
    std::printf("model %2d:", model);
    PrintMedianWorst("recorded", s.recorded);
    PrintMedianWorst("read at the end", s.atEnd);
    PrintMedianWorst("60 s later", s.after60);
    if (s.failed != 0) std::printf("  (%d gotos did not end in tracking)", s.failed);
    std::printf("\n");
    std::fflush(stdout);
  }
  return status;
}
