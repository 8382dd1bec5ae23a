// The backlash take-up shared by the rate moves, the equatorial tracking
// start and the alt-azimuth tracking loop.
#include "sidera/core/backlash_take_up.h"

#include <cmath>

#include "platform/clock.h"
#include "sidera/core/telescope_mount.h"

namespace sidera {

namespace {

// A running take-up checks whether it is still wanted this often (ticks).
constexpr uint32_t kTakeUpCheckTicks = 5;

}  // namespace

bool NeedsBacklashTakeUp(const TelescopeMount& m, int axis, double rate) {
  if (!m.Rates().CompensatesBacklash()) return false;
  if (!(std::fabs(rate) < m.Rates().TakeUpRate())) return false;
  if (m.Rates().TakeUpTicks(axis) <= kMinTakeUpTicks) return false;
  const bool lastPositive = m.Axes().LastDirectionPositive(axis);
  return (lastPositive && rate < 0.0) || (!lastPositive && rate >= 0.0);
}

double BacklashTakeUpRate(const TelescopeMount& m, double rate) {
  const double scale = m.Rates().TakeUpRate();
  return rate > 0.0 ? scale : -scale;
}

bool TicksElapsed(uint32_t start, uint32_t duration) {
  return platform::TicksBetween(start, platform::Now()) >= static_cast<int64_t>(duration);
}

TakeUpResult RunBacklashTakeUp(TelescopeMount& m, int axis, double rate,
                               const std::function<bool()>& wanted) {
  TakeUpResult out;
  const double takeUpRate = BacklashTakeUpRate(m, rate);
  out.result = m.SendIf(wanted, [&] { return m.SlewAxisAtRate(axis, takeUpRate); });
  if (out.result != kOk) return out;
  out.started = true;
  const uint32_t start = platform::Now();
  const uint32_t duration = m.Rates().TakeUpTicks(axis);
  while (!TicksElapsed(start, duration) && wanted()) platform::Sleep(kTakeUpCheckTicks);
  out.result = m.HaltAxis(axis);
  return out;
}

}  // namespace sidera
