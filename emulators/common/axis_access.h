// The public per-axis accessors of a controller emulator: any thread, under
// the emulator's lock, with the axis advanced to the motion time of now.
// `Impl` has `mutex`, `axes` (two of them) and MotionNowLocked().
#pragma once

#include <mutex>

namespace sidera::emulator {

// What `use(axis, motionNow)` returns; `fallback` for an axis that is not 0
// or 1.
template <typename Impl, typename Result, typename Use>
Result OnAxis(Impl& impl, int axis, Result fallback, Use&& use) {
  if (axis != 0 && axis != 1) return fallback;
  std::lock_guard<std::mutex> lock(impl.mutex);
  return use(impl.axes[axis], impl.MotionNowLocked());
}

// The same for a change: does nothing for an axis that is not 0 or 1.
template <typename Impl, typename Use>
void OnAxis(Impl& impl, int axis, Use&& use) {
  if (axis != 0 && axis != 1) return;
  std::lock_guard<std::mutex> lock(impl.mutex);
  use(impl.axes[axis], impl.MotionNowLocked());
}

}  // namespace sidera::emulator
