// The recorded outcome of the mount's motions: one record for the mount
// (its last goto) and one per axis (the axis's last motion), each written
// once where a motion ends and read by the hosts as a copy.
//
// A motion is announced when it is launched (Started: the record's
// `started` number, so that a host that has just commanded a goto knows
// its number) and recorded when its thread ends (Ended). A small lock
// guards the three records; it is held only to copy one, never across an
// exchange or a wait, so a reader never holds up a stop or a motion.
#pragma once

#include <cstdint>
#include <mutex>

#include "sidera/core/types.h"

namespace sidera {

class MotionOutcomes {
 public:
  // The record slots: the two axes, then the mount.
  static constexpr int kMountSlot = 2;

  // Motion `command` was launched for the axes in `axes` (kAxis0, kAxis1)
  // and, for a goto (`mount`), for the mount.
  void Started(unsigned axes, bool mount, uint32_t command);
  // Records how it ended: `outcome` carries everything but `started`,
  // which stays. An outcome older than the one a record holds (a motion
  // that never got the axes, ending after the one that had them) is not
  // recorded there.
  void Ended(unsigned axes, bool mount, const MotionOutcome& outcome);
  // A copy of slot 0, 1 or kMountSlot.
  MotionOutcome Read(int slot) const;

 private:
  mutable std::mutex mutex_;
  MotionOutcome records_[3]{};
};

}  // namespace sidera
