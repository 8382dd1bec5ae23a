// The hosts' scaled UTC clock.
#include "host/sky_clock.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace sidera::host {
namespace {

int64_t SystemUtcMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

double ClockScaleFromEnvironment() {
  const char* text = std::getenv("SIDERA_CLOCK_SCALE");
  if (text == nullptr || *text == '\0') return 1.0;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !(value >= 0.001 && value <= 10000)) {
    return 1.0;
  }
  return value;
}

SkyClock::SkyClock(double scale, std::optional<int64_t> startUtcMillis)
    : SkyClock(scale, startUtcMillis ? *startUtcMillis : SystemUtcMillis(), Steady::now()) {}

SkyClock::SkyClock(double scale, int64_t utcMillis, Steady::time_point at)
    : scale_(scale > 0 && std::isfinite(scale) ? scale : 1.0), originUtc_(utcMillis), origin_(at) {}

int64_t SkyClock::UtcMillis(Steady::time_point at) const {
  const std::chrono::duration<double, std::milli> real = at - origin_;
  return originUtc_ + static_cast<int64_t>(std::llround(real.count() * scale_));
}

double SkyClock::ElapsedSeconds() const {
  const std::chrono::duration<double> real = Steady::now() - origin_;
  return real.count() * scale_;
}

void SkyClock::Set(int64_t utcMillis, Steady::time_point at) {
  originUtc_ = utcMillis;
  origin_ = at;
}

void SkyClock::Sleep(double skySeconds) const {
  if (!(skySeconds > 0)) return;
  std::this_thread::sleep_for(std::chrono::duration<double>(skySeconds / scale_));
}

int SkyClock::RealMillis(double skyMillis) const {
  const double real = std::ceil(skyMillis / scale_);
  if (!(real >= 1.0)) return 1;
  return real > 1e9 ? 1000000000 : static_cast<int>(real);
}

}  // namespace sidera::host
