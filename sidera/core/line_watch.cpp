// The line watch of a hardware mount: it keeps the record of answers
// current whether or not anybody polls, and ends every motion once an axis
// falls silent.
//
// A controller that falls silent is found by the next exchange addressed to
// it: a goto's poll, a host read, or, when nothing else has spoken to the
// axis for Settings().lineProbeQuietMs (a second), the watch's own position read. With the silence
// limit of LineHealth (1.5 s without an answer, the latest exchange failed)
// and read time-outs of 0.5 s, an axis counts as silent between 1.5 and
// about 2 s after its last answer, at any host polling rate, while a goto,
// a slew or tracking runs or while the mount stands still. The watch then
// ends the motions (a slew or the tracking that no thread of the library
// polls would otherwise go on unseen), and the host's read-outs report the
// axis's code until it answers again.
#include <algorithm>
#include <chrono>
#include <mutex>

#include "platform/debug_log.h"
#include "sidera/core/telescope_mount.h"

namespace sidera {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWatchPriority = 3;

}  // namespace

void TelescopeMount::StartLineWatch() {
  if (Line() == nullptr) return;
  // A mount that is shutting down starts nothing; there is then no line to watch.
  (void)Workers().Start([this] { LineWatch(); }, kWatchPriority);
}

void TelescopeMount::LineWatch() {
  LineHealth& line = *Line();
  uint64_t handled = line.Changes();
  while (!ShuttingDown()) {
    const uint64_t changes = line.Changes();
    if (changes != handled) {
      handled = changes;
      if ((line.Silent(0) || line.Silent(1)) && MotionUnderWay()) EndMotionsOnSilentLine();
    }
    const std::chrono::milliseconds quiet(Settings().lineProbeQuietMs);
    Clock::time_point next = Clock::now() + quiet;
    for (int axis = 0; axis < 2 && !ShuttingDown(); ++axis) {
      if (Clock::now() >= line.ProbeDue(axis, quiet) && line.TakeProbe(axis, quiet)) {
        // Read as a host's read-out is: a host that polls about once a
        // second reads the axis just when the watch finds it due, and the
        // watch then takes that read's answer (or a reading kept within the
        // read-out window) instead of doubling it. Its own read also
        // serves the read-outs.
        const ReadOutExchanges probe;
        const SharedReadOuts shared;
        (void)ReadKept(axis, LineHealth::kPosition);
      }
      next = std::min(next, line.ProbeDue(axis, quiet));
    }
    line.WaitForChange(handled, next);
  }
}

bool TelescopeMount::MotionUnderWay() {
  return axisMoving_[0] != 0 || axisMoving_[1] != 0 || published_.GotoActive() ||
         trackingRequested_ || (published_.MountState() & MOUNT_TRACKING) != 0 ||
         KindMotionUnderWay();
}

bool TelescopeMount::KindMotionUnderWay() { return false; }

void TelescopeMount::EndMotionsOnSilentLine() {
  SIDERA_DEBUG_LOG(kMotion, "the line stopped answering (axis 0 %s, axis 1 %s): every motion ends",
                   AxisSilent(0) ? "silent" : "answers", AxisSilent(1) ? "silent" : "answers");
  {
    const auto lock = LockCommands();
    (void)BeginCommand(kBothAxes);
    axisMoving_[0] = 0;
    axisMoving_[1] = 0;
  }
  trackingRequested_ = false;
  RequestKindMotionsEnd();
  ClearTrackingState();
  // An axis that still answers must not run on unwatched; one that does not
  // gets the halt in case it hears it. A motion the host has started since
  // commands its axes itself.
  for (int axis = 0; axis < 2; ++axis) {
    (void)SendIf([this, axis] { return axisMoving_[axis] == 0; },
                 [this, axis] { return HaltAxis(axis); });
  }
}

}  // namespace sidera
