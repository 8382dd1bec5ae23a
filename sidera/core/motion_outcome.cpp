// The outcome records of the mount's motions.
#include "sidera/core/motion_outcome.h"

#include "sidera/core/telescope_mount.h"

namespace sidera {

namespace {

// Calls `f` for the records of `axes` and, when `mount`, the mount's.
template <typename F>
void ForSlots(unsigned axes, bool mount, F f) {
  if ((axes & kAxis0) != 0) f(0);
  if ((axes & kAxis1) != 0) f(1);
  if (mount) f(MotionOutcomes::kMountSlot);
}

}  // namespace

void MotionOutcomes::Started(unsigned axes, bool mount, uint32_t command) {
  std::lock_guard<std::mutex> lock(mutex_);
  ForSlots(axes, mount, [&](int slot) { records_[slot].started = command; });
}

void MotionOutcomes::Ended(unsigned axes, bool mount, const MotionOutcome& outcome) {
  std::lock_guard<std::mutex> lock(mutex_);
  ForSlots(axes, mount, [&](int slot) {
    MotionOutcome& r = records_[slot];
    // Numbers grow by one per command; compared as a serial number.
    if (r.command != 0 && static_cast<int32_t>(outcome.command - r.command) < 0) return;
    const uint32_t started = r.started;
    r = outcome;
    r.started = started;
  });
}

MotionOutcome MotionOutcomes::Read(int slot) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_[slot];
}

}  // namespace sidera
