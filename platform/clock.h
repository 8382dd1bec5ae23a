// Millisecond tick counter shared by the whole library.
//
// Ticks are uint32_t milliseconds from a monotonic source and wrap at 2^32.
// The source is injectable: tests install a manual source they step by hand,
// and benchmarks or the demo run a scaled source on which one real second is
// many tick seconds. Sleeps and event waits are expressed in ticks and are
// converted to real time through the installed source, so a scaled clock
// shortens them too.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace sidera::platform {

class TickSource {
 public:
  virtual ~TickSource() = default;
  // Current tick count.
  virtual uint32_t Now() = 0;
  // Tick milliseconds per real millisecond (1.0 for the real clock).
  virtual double Scale() const = 0;
};

// The scales a tick source accepts; any other value (zero, negative, not a
// number, or beyond this range) means real time. Within the range one real
// millisecond is between a thousandth of a tick and ten sky seconds, so the
// 32-bit counter still wraps only every five real days at the slowest and
// seven real minutes at the fastest, and no tick or duration arithmetic can
// overflow.
inline constexpr double kMinClockScale = 0.001;
inline constexpr double kMaxClockScale = 10000.0;

// The default source: steady_clock, scaled by SIDERA_CLOCK_SCALE (a number
// from kMinClockScale to kMaxClockScale; default and anything else: 1) and
// starting at SIDERA_CLOCK_START (default: the real uptime in milliseconds),
// both read once at first use.
TickSource& DefaultTickSource();

// Installs `source` for the whole library (null restores the default). The
// caller keeps ownership and must keep it alive while installed.
void SetTickSource(TickSource* source);
TickSource& CurrentTickSource();

// Tick count of the installed source.
uint32_t Now();

// The ticks from `earlier` to `later`, signed: right across a wrap of the
// counter, and negative when `later` is in fact the older tick (one another
// thread stored after the caller read the clock). Every difference of two
// ticks is taken here, never by plain unsigned subtraction.
constexpr int32_t TicksBetween(uint32_t earlier, uint32_t later) {
  return static_cast<int32_t>(later - earlier);
}

// Real duration of `ticks` milliseconds of tick time.
std::chrono::nanoseconds ToRealDuration(uint32_t ticks);

// Sleeps `ticks` milliseconds of tick time (at least one microsecond of real
// time, so that a loop that sleeps always yields the core).
void Sleep(uint32_t ticks);

// A steady clock running `scale` times faster than real time, starting at
// `start`.
class ScaledTickSource : public TickSource {
 public:
  explicit ScaledTickSource(double scale, uint32_t start = 0);
  uint32_t Now() override;
  double Scale() const override { return scale_; }

 private:
  double scale_;
  uint32_t start_;
  std::chrono::steady_clock::time_point origin_;
};

// A clock that moves only when told to; waits and sleeps take real time
// divided by `scale`. Thread-safe.
class ManualTickSource : public TickSource {
 public:
  explicit ManualTickSource(uint32_t start = 0, double scale = 1000.0);
  uint32_t Now() override;
  double Scale() const override { return scale_; }
  void Set(uint32_t ticks);
  void Advance(uint32_t ticks);

 private:
  double scale_;
  std::atomic<uint32_t> now_;
};

// Installs a source for the lifetime of the guard and restores the previous
// one afterwards (for tests).
class ScopedTickSource {
 public:
  explicit ScopedTickSource(TickSource& source);
  ~ScopedTickSource();
  ScopedTickSource(const ScopedTickSource&) = delete;
  ScopedTickSource& operator=(const ScopedTickSource&) = delete;

 private:
  TickSource* previous_;
};

}  // namespace sidera::platform
