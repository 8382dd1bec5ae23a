// The equatorial simulator (model 6) driven through the C API on a clock
// that runs faster than real time:
//  - twenty gotos to fixed sky positions: the pointing error on arrival
//    (target's current position versus GetSkyPosition) and the sky time the
//    goto took;
//  - one sky-hour of tracking: how far the reported right ascension and
//    declination wander;
//  - the host-call cost of GetMountState and GetAxisPositions (Google
//    Benchmark loops, real nanoseconds).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/sky_bench.h"

namespace {

using namespace sidera::bench;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Gotos(uint32_t epoch) {
  // Hour angle (hours) at the epoch and declination (degrees), alternating
  // east and west of the meridian so that the mount changes pier side,
  // between about 28 and 71 degrees of altitude at 40 N.
  const double table[20][2] = {{-4, 10},   {3, 45},     {-2, -10},  {1.5, 50},  {-1, 20},
                               {2.5, 20},  {-0.5, -20}, {4, 30},    {-3, 40},   {0.5, 10},
                               {-1.5, 60}, {1, 0},      {-3.5, 25}, {2, -15},   {-2.5, 55},
                               {3.5, 5},   {-0.8, -5},  {0.7, 65},  {-4.5, 35}, {5, 60}};
  std::vector<double> errors, times;
  std::printf("Gotos on the equatorial simulator (latitude 40 N, clock x%.0f)\n", g_clockScale);
  std::printf("  #  HA0(h)  Dec(deg)  time(s)  error(\")\n");
  for (int i = 0; i < 20; ++i) {
    // The target's hour angle now: the sky turns at the sidereal rate.
    const auto hourAngle = [&] {
      return table[i][0] / 12.0 * kPi + SkySecondsSince(epoch) * kSiderealRate;
    };
    const double dec = Rad(table[i][1]);
    const uint32_t start = sidera::platform::Now();
    if (int code = GotoSky(hourAngle(), dec); code != 0) {
      std::printf(" %2d  GotoSky answered %d\n", i + 1, code);
      continue;
    }
    bool tracking = false;
    const double seconds = WaitForGotoThenTracking(start, 600, 0.05, &tracking);
    SkyPoint p{};
    (void)GetSkyPosition(&p);  // 0 with a mount
    const double error = Separation(p.hourAngle, p.declination, hourAngle(), dec) * kRadToArcsec;
    std::printf(" %2d  %6.1f  %8.1f  %7.1f  %8.1f\n", i + 1, table[i][0], table[i][1], seconds,
                error);
    errors.push_back(error);
    times.push_back(seconds);
  }
  if (errors.empty()) return;
  std::printf("Pointing error on arrival: median %.1f\", worst %.1f\" (goto tolerance 120\")\n",
              Median(errors), *std::max_element(errors.begin(), errors.end()));
  std::printf("Time to arrive: median %.1f s, worst %.1f s (sky seconds)\n\n", Median(times),
              *std::max_element(times.begin(), times.end()));
}

void TrackingDrift() {
  // Track the last target for one sky-hour, sampling every sky-minute. The
  // right ascension is the hour angle less the sky's turn since the start.
  SkyPoint p0{};
  (void)GetSkyPosition(&p0);
  const uint32_t start = sidera::platform::Now();
  double worst = 0, last = 0;
  for (int minute = 1; minute <= 60; ++minute) {
    while (SkySecondsSince(start) < minute * 60.0) SleepSky(1.0);
    SkyPoint p{};
    AxisPair axes{};
    (void)GetAxisPositions(&axes);
    (void)GetSkyPosition(&p);
    const double turned = SkySecondsSince(start) * kSiderealRate;
    last = Separation(p0.hourAngle, p0.declination, p.hourAngle - turned, p.declination) *
           kRadToArcsec;
    worst = std::fmax(worst, last);
  }
  uint32_t state = 0;
  (void)GetMountState(&state);
  std::printf("Tracking for one sky-hour: drift %.2f\" at the end, %.2f\" at worst (state %u)\n\n",
              last, worst, state);
}

void BM_GetMountState(benchmark::State& state) {
  uint32_t word = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetMountState(&word));
    benchmark::DoNotOptimize(word);
  }
}

void BM_GetAxisPositions(benchmark::State& state) {
  AxisPair axes{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetAxisPositions(&axes));
    benchmark::DoNotOptimize(axes);
  }
}

}  // namespace

int main(int argc, char** argv) {
  g_clockScale = 100.0;
  sidera::platform::ScaledTickSource clock(g_clockScale, 1000);
  sidera::platform::ScopedTickSource install(clock);
  if (int code = CreateMount(6, kLatitude, 100.0); code != 0) {
    std::printf("CreateMount(6) answered %d: the equatorial simulator is not available\n", code);
    return 1;
  }
  Gotos(sidera::platform::Now());
  TrackingDrift();

  std::printf("Host-call cost while the mount tracks (real time per call):\n");
  benchmark::RegisterBenchmark("GetMountState", BM_GetMountState);
  benchmark::RegisterBenchmark("GetAxisPositions", BM_GetAxisPositions);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  (void)DestroyMount();  // always 0
  return 0;
}
