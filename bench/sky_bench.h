// Helpers shared by the simulator benchmarks: angle units, the separation of
// two sky positions, sky time on the library's tick clock (which runs
// g_clockScale times faster than real time), and waiting for a goto as a
// host does.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>

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

}  // namespace sidera::bench
