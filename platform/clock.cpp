// Tick sources and the conversion of tick time into real time.

#include "platform/clock.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <thread>

namespace sidera::platform {
namespace {

constexpr double kTwoPow32 = 4294967296.0;

// Longest real duration we ever hand to the standard library. A tiny scale
// turns a tick count into centuries; clamping keeps the steady_clock deadline
// arithmetic from overflowing while still meaning "practically forever".
constexpr std::chrono::nanoseconds kLongestRealDuration = std::chrono::hours(24 * 365 * 50);

// Also false for NaN, which fails both comparisons.
bool IsUsableScale(double scale) { return scale >= kMinClockScale && scale <= kMaxClockScale; }

double SanitizedScale(double scale) { return IsUsableScale(scale) ? scale : 1.0; }

// Ticks elapsed after `elapsed` real time at `scale`, reduced modulo 2^32 so
// that any run time and any scale wraps like the 32-bit counter it feeds.
uint32_t ScaledTicks(std::chrono::steady_clock::duration elapsed, double scale) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
  if (scale == 1.0) {
    return static_cast<uint32_t>(static_cast<uint64_t>(ns / 1000000));
  }
  const double ticks = std::floor(static_cast<double>(ns) * scale / 1e6);
  return static_cast<uint32_t>(static_cast<uint64_t>(std::fmod(ticks, kTwoPow32)));
}

// SIDERA_CLOCK_SCALE: a number within the accepted range; anything else
// means 1.
double ScaleFromEnvironment() {
  const char* text = std::getenv("SIDERA_CLOCK_SCALE");
  if (text == nullptr || *text == '\0') {
    return 1.0;
  }
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !IsUsableScale(value)) {
    return 1.0;
  }
  return value;
}

// SIDERA_CLOCK_START: decimal digits only, at most 2^32 - 1. Otherwise the
// counter starts at the steady clock's own millisecond count (the uptime).
uint32_t StartFromEnvironment() {
  const char* text = std::getenv("SIDERA_CLOCK_START");
  if (text != nullptr && *text != '\0') {
    uint64_t value = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; ++p) {
      value = value * 10 + static_cast<uint64_t>(*p - '0');
      if (value > std::numeric_limits<uint32_t>::max()) {
        break;
      }
    }
    if (*p == '\0') {
      return static_cast<uint32_t>(value);
    }
  }
  return ScaledTicks(std::chrono::steady_clock::now().time_since_epoch(), 1.0);
}

// The installed source; null means the default one.
std::atomic<TickSource*> g_source{nullptr};

}  // namespace

TickSource& DefaultTickSource() {
  // Initialised once, thread-safely, on first use.
  static ScaledTickSource source(ScaleFromEnvironment(), StartFromEnvironment());
  return source;
}

void SetTickSource(TickSource* source) { g_source.store(source, std::memory_order_release); }

TickSource& CurrentTickSource() {
  TickSource* source = g_source.load(std::memory_order_acquire);
  return source != nullptr ? *source : DefaultTickSource();
}

uint32_t Now() { return CurrentTickSource().Now(); }

std::chrono::nanoseconds ToRealDuration(uint32_t ticks) {
  const double scale = SanitizedScale(CurrentTickSource().Scale());
  const double ns = static_cast<double>(ticks) * 1e6 / scale;
  if (ns >= static_cast<double>(kLongestRealDuration.count())) {
    return kLongestRealDuration;
  }
  return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

void Sleep(uint32_t ticks) {
  const std::chrono::nanoseconds real = ToRealDuration(ticks);
  std::this_thread::sleep_for(
      std::max<std::chrono::nanoseconds>(real, std::chrono::microseconds(1)));
}

ScaledTickSource::ScaledTickSource(double scale, uint32_t start)
    : scale_(SanitizedScale(scale)), start_(start), origin_(std::chrono::steady_clock::now()) {}

uint32_t ScaledTickSource::Now() {
  return start_ + ScaledTicks(std::chrono::steady_clock::now() - origin_, scale_);
}

ManualTickSource::ManualTickSource(uint32_t start, double scale)
    : scale_(SanitizedScale(scale)), now_(start) {}

uint32_t ManualTickSource::Now() { return now_.load(std::memory_order_acquire); }

void ManualTickSource::Set(uint32_t ticks) { now_.store(ticks, std::memory_order_release); }

void ManualTickSource::Advance(uint32_t ticks) { now_.fetch_add(ticks, std::memory_order_acq_rel); }

ScopedTickSource::ScopedTickSource(TickSource& source)
    : previous_(g_source.exchange(&source, std::memory_order_acq_rel)) {}

ScopedTickSource::~ScopedTickSource() { g_source.store(previous_, std::memory_order_release); }

}  // namespace sidera::platform
