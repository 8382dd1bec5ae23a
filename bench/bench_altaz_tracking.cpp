// Software tracking of the alt-azimuth simulator (model 7) on a clock that
// runs faster than real time. For stars culminating near 30, 60 and 80
// degrees of altitude, each tracked for two sky-hours from about one hour
// east of the meridian, once unaligned and once after a two-star alignment:
//  - the error between the sky position the mount reports and the star's
//    true position, sampled every sky-minute (RMS and worst), and the drift
//    of the reported position from where it pointed a sky-minute after the
//    goto (the first tracking cycles close what the goto left of the
//    distance to the star);
//  - the CPU time the library's threads use per sky-hour of tracking (the
//    process's CPU time less the sampling thread's own).
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "bench/sky_bench.h"

namespace {

using namespace sidera::bench;

constexpr int kMinutes = 120;

double CpuSeconds(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// The hour angle of a star at tick `now`, given its hour angle at `epoch`.
double HourAngleAt(double hourAngle0, uint32_t epoch, uint32_t now) {
  return hourAngle0 + static_cast<uint32_t>(now - epoch) / 1000.0 * kSiderealRate;
}

// A centred observation of a star at hour angle `ha` and declination `dec`:
// on the simulator the centred axes are exactly the geometric ones.
AlignStar Observe(double ha, double dec) {
  AxisPair axes{};
  (void)SkyToAxes(SkyPoint{ha, dec}, &axes);  // 0 with a mount
  return AlignStar{ha, dec, axes.axis0, axes.axis1};
}

struct Result {
  bool ok = false;
  double rms = 0, worst = 0;            // reported versus true position, arc-seconds
  double driftRms = 0, driftWorst = 0;  // reported right ascension/declination wander
  double cpuMsPerHour = 0;
};

// Tracks one star; a failed step is printed and leaves r.ok false.
Result TrackOnce(double culmination, bool aligned) {
  Result r;
  if (int code = CreateMount(7, kLatitude, 100.0); code != 0) {
    std::printf("CreateMount(7) answered %d: the alt-azimuth simulator is not available\n", code);
    return r;
  }
  (void)SetAltitudeLimits(0.0, Rad(90));  // 0: lets the 80-degree star be reached
  const uint32_t epoch = sidera::platform::Now();
  const double dec = kLatitude - Rad(90 - culmination);
  const double ha0 = Rad(-15);  // one hour east of the meridian at the epoch
  // South-east and north-west stars for the alignment.
  const int aligning =
      aligned ? AlignTwoStars(Observe(Rad(-45), Rad(10)), Observe(Rad(50), Rad(45))) : 0;
  const uint32_t now = sidera::platform::Now();
  const int going = aligning != 0 ? 0 : GotoSky(HourAngleAt(ha0, epoch, now), dec);
  bool tracking = false;
  if (aligning != 0 || going != 0 || WaitForGotoThenTracking(now, 900, 0.1, &tracking) < 0 ||
      !tracking) {
    std::printf("AlignTwoStars answered %d, GotoSky %d; the mount did not arrive and track\n",
                aligning, going);
    (void)DestroyMount();
    return r;
  }
  const uint32_t ended = sidera::platform::Now();
  while (SkySecondsSince(ended) < 60.0) SleepSky(2.0);
  SkyPoint p0{};
  (void)GetSkyPosition(&p0);
  const uint32_t start = sidera::platform::Now();
  const double cpuProcess0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double cpuSelf0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  double sum = 0, driftSum = 0;
  for (int minute = 1; minute <= kMinutes; ++minute) {
    while (SkySecondsSince(start) < minute * 60.0) SleepSky(2.0);
    // The reading's time is taken as the middle of the call.
    const uint32_t before = sidera::platform::Now();
    SkyPoint p{};
    (void)GetSkyPosition(&p);
    const uint32_t after = sidera::platform::Now();
    const uint32_t at = before + static_cast<uint32_t>(after - before) / 2;
    const double truth = HourAngleAt(ha0, epoch, at);
    const double error = Separation(p.hourAngle, p.declination, truth, dec) * kRadToArcsec;
    const double turned = static_cast<uint32_t>(at - start) / 1000.0 * kSiderealRate;
    const double drift =
        Separation(p0.hourAngle, p0.declination, p.hourAngle - turned, p.declination) *
        kRadToArcsec;
    sum += error * error;
    driftSum += drift * drift;
    r.worst = std::fmax(r.worst, error);
    r.driftWorst = std::fmax(r.driftWorst, drift);
  }
  const double cpuLibrary = (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuProcess0) -
                            (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuSelf0);
  r.rms = std::sqrt(sum / kMinutes);
  r.driftRms = std::sqrt(driftSum / kMinutes);
  r.cpuMsPerHour = cpuLibrary * 1000.0 / (kMinutes / 60.0);
  r.ok = true;
  (void)DestroyMount();  // always 0
  return r;
}

}  // namespace

int main() {
  g_clockScale = 480.0;
  sidera::platform::ScaledTickSource clock(g_clockScale, 1000);
  sidera::platform::ScopedTickSource install(clock);
  std::printf(
      "Alt-azimuth simulator: two sky-hours of tracking per row, from one hour east of the\n"
      "meridian, latitude 40 N, clock x%.0f, sampled every sky-minute.\n"
      "error = reported sky position versus the star; drift = reported RA/Dec versus where\n"
      "it pointed a sky-minute after the goto; CPU = library threads, per sky-hour.\n\n",
      g_clockScale);
  std::printf("culmination  model      error RMS  worst   drift RMS  worst   CPU ms/sky-h\n");
  const auto realStart = std::chrono::steady_clock::now();
  for (double culmination : {30.0, 60.0, 80.0}) {
    for (bool aligned : {false, true}) {
      const Result r = TrackOnce(culmination, aligned);
      if (!r.ok) return 1;
      std::printf("%8.0f deg  %-9s  %8.1f\" %6.1f\"  %8.1f\" %6.1f\"  %10.2f\n", culmination,
                  aligned ? "aligned" : "unaligned", r.rms, r.worst, r.driftRms, r.driftWorst,
                  r.cpuMsPerHour);
      std::fflush(stdout);
    }
  }
  std::printf("\nreal time %.0f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count());
  return 0;
}
