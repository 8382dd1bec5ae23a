// The reads of an axis that keep what the axis said, and the host
// read-outs that share them: within the read-out window of the last reading of
// an axis, made by any thread, a read-out answers with it instead of
// queueing another exchange. Commands forget the kept readings of their
// axes (the link does, for every request that is not a read, and
// BeginCommand does for what the host asks), so a read-out never shows a
// reading older than the last command. Mounts without a line (the
// simulators) compute their readings and keep nothing.
#include "platform/clock.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/link/exchange_scope.h"

namespace sidera {

TelescopeMount::ReadResult TelescopeMount::ReadKept(int axis, LineHealth::Reading what) {
  const auto read = [&] {
    return what == LineHealth::kPosition ? ReadAxisPosition(axis) : ReadAxisState(axis);
  };
  const auto value = [&] {
    return what == LineHealth::kPosition ? Axes().Position(axis)
                                         : static_cast<double>(Axes().State(axis));
  };
  LineHealth* line = Line();
  if (line == nullptr) {
    const MountResult r = read();
    return {r, value()};
  }
  // The window is in the library's ticks, so that at a scaled clock (tests,
  // the demo) a kept reading lags a moving axis as little as at real time.
  const std::chrono::nanoseconds window = platform::ToRealDuration(Settings().readOutWindowMs);
  const bool share = SharedReadOuts::Active() && window.count() > 0 && !line->Silent(axis);
  LineHealth::ReadingTurn turn(*line, axis, what, share, window);
  if (turn.Kept()) return {kOk, turn.Value()};
  const MountResult r = read();
  const double v = value();
  if (r == kOk) turn.Keep(v);
  return {r, v};
}

}  // namespace sidera
