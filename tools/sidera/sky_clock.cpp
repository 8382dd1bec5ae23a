// The host's sky clock, running at the library's clock scale.

#include "tools/sidera/sky_clock.h"

#include <cmath>
#include <cstdlib>
#include <thread>

namespace sidera::tool {

double ClockScaleFromEnvironment() {
  const char* text = std::getenv("SIDERA_CLOCK_SCALE");
  if (text == nullptr || *text == 0) return 1.0;
  char* end = nullptr;
  double v = std::strtod(text, &end);
  // The library ignores a scale outside 0.001..10000 and runs in real time;
  // the sky clock must do the same or the two would disagree.
  if (*end != 0 || !std::isfinite(v) || v < 0.001 || v > 10000) return 1.0;
  return v;
}

SkyClock::SkyClock(double scale, std::optional<int64_t> startUnixMillis)
    : scale_(scale > 0 ? scale : 1.0), origin_(std::chrono::steady_clock::now()) {
  if (startUnixMillis) {
    startUnixMillis_ = *startUnixMillis;
  } else {
    startUnixMillis_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
  }
}

double SkyClock::ElapsedSeconds() const {
  std::chrono::duration<double> real = std::chrono::steady_clock::now() - origin_;
  return real.count() * scale_;
}

int64_t SkyClock::NowUnixMillis() const {
  return startUnixMillis_ + static_cast<int64_t>(std::llround(ElapsedSeconds() * 1000.0));
}

void SkyClock::Sleep(double skySeconds) const {
  if (skySeconds <= 0) return;
  std::this_thread::sleep_for(std::chrono::duration<double>(skySeconds / scale_));
}

}  // namespace sidera::tool
