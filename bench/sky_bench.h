// Helpers shared by the simulator and goto benchmarks: angle units, the
// separation of two sky positions, sky time on the library's tick clock
// (which runs g_clockScale times faster than real time), targets given by
// azimuth and altitude, a model's mount created as a host does, waiting for
// a goto as a host does, and the median and worst of a set of figures.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "sidera/include/sidera.h"

namespace sidera::bench {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kSiderealRate = 2.0 * kPi / 86164.09065;
inline constexpr double kRadToArcsec = 180.0 / kPi * 3600.0;
inline constexpr double kLatitude = 40.0 / 180.0 * kPi;

// Set by main together with the scaled tick source it installs.
inline double g_clockScale = 1.0;

inline double Rad(double deg) { return deg / 180.0 * kPi; }

// Haversine separation: accurate for arc-second distances.
inline double Separation(double lon1, double lat1, double lon2, double lat2) {
  const double a = std::sin((lat2 - lat1) / 2), b = std::sin((lon2 - lon1) / 2);
  const double h = a * a + std::cos(lat1) * std::cos(lat2) * b * b;
  return 2.0 * std::asin(std::sqrt(std::fmin(1.0, h)));
}

// Hour angle and declination of a horizontal position (azimuth from north
// through east) at latitude `phi`.
inline SkyPoint FromHorizontal(double az, double alt, double phi) {
  const double sinDec =
      std::sin(phi) * std::sin(alt) + std::cos(phi) * std::cos(alt) * std::cos(az);
  const double y = -std::cos(alt) * std::sin(az);
  const double x = std::cos(phi) * std::sin(alt) - std::sin(phi) * std::cos(alt) * std::cos(az);
  return SkyPoint{std::atan2(y, x), std::asin(sinDec)};
}

// Sky seconds on the library's clock since `start` (ticks).
inline double SkySecondsSince(uint32_t start) {
  return static_cast<uint32_t>(platform::Now() - start) / 1000.0;
}

inline void SleepSky(double skySeconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(skySeconds / g_clockScale));
}

// Polls like a host does (the positions too: a simulated axis notices its
// arrival when its position is read) until a goto that started at tick
// `start` is over (the mount showed the goto state and left it, or never
// showed it within half a real second), then gives tracking a real second
// to take over. Returns the sky seconds the goto took, or -1 when
// `timeoutSky` sky seconds passed first; `*tracking` says whether it did.
inline double WaitForGotoThenTracking(uint32_t start, double timeoutSky, double pollSky,
                                      bool* tracking) {
  bool seen = false;
  uint32_t state = 0;
  const auto real = std::chrono::steady_clock::now();
  for (;;) {
    AxisPair axes{};
    (void)GetAxisPositions(&axes);
    (void)GetMountState(&state);
    if (state == SIDERA_MOUNT_GOTO) {
      seen = true;
    } else if (seen || std::chrono::steady_clock::now() - real > std::chrono::milliseconds(500)) {
      break;
    }
    if (SkySecondsSince(start) > timeoutSky) return -1;
    SleepSky(pollSky);
  }
  const double seconds = SkySecondsSince(start);
  const auto ended = std::chrono::steady_clock::now();
  while (GetMountState(&state) == 0 && state != SIDERA_MOUNT_TRACKING &&
         std::chrono::steady_clock::now() - ended < std::chrono::seconds(1)) {
    SleepSky(pollSky);
  }
  *tracking = state == SIDERA_MOUNT_TRACKING;
  return seconds;
}

// The mount of `model` at kLatitude, on whatever the serial pattern names
// (a controller emulator the caller started); says why when it fails.
inline bool CreateModelMount(int model) {
  SetComPort(4);  // any number: the pattern names one terminal
  if (int code = CreateMount(model, kLatitude, 100.0); code != 0) {
    std::printf("model %d: CreateMount answered %d\n", model, code);
    return false;
  }
  return true;
}

// Arc-seconds between the sky position the mount reports and a target that
// stood at `target` at tick `start` and turns with the sky; the read's time
// is taken as the middle of the call.
inline double ReadDistanceFromTarget(const SkyPoint& target, uint32_t start) {
  const uint32_t before = platform::Now();
  SkyPoint p{};
  (void)GetSkyPosition(&p);
  const uint32_t at = before + static_cast<uint32_t>(platform::Now() - before) / 2;
  const double ha = target.hourAngle + static_cast<uint32_t>(at - start) / 1000.0 * kSiderealRate;
  return Separation(p.hourAngle, p.declination, ha, target.declination) * kRadToArcsec;
}

// Prints "  what median X"  worst Y"" (arc-seconds).
inline void PrintMedianWorst(const char* what, std::vector<double> v) {
  std::sort(v.begin(), v.end());
  if (v.empty()) {
    std::printf("  %s: no data", what);
    return;
  }
  std::printf("  %s median %5.1f\"  worst %5.1f\"", what, v[v.size() / 2], v.back());
}

}  // namespace sidera::bench
