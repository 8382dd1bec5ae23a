// The tuning values of a mount, fixed when it is built.
#pragma once

#include <chrono>
#include <cstdint>

namespace sidera {

// How old a kept reading of an axis (its position or its state, whoever
// read it) may be for a host read-out to answer with it. Longer than the
// 200 ms between a goto's status polls, so that during a goto the host's
// state read-outs cost the line nothing; half the line watch's quiet
// second, so that a host that polls keeps the axes answering and the
// watch's own reads serve the host; and short enough that a position on
// show lags the axis by half a second at most. Hosts polling faster add no
// exchange: at most one read of each kind per axis per window.
inline constexpr std::chrono::milliseconds kReadOutWindow{500};

struct MountSettings {
  // How long (real ms) an axis may go without an exchange it answers before
  // the line watch reads it itself. Tests that compare the requests a
  // command sends make it long.
  uint32_t lineProbeQuietMs = 1000;
  // The read-out window (ms of the library's clock, see kReadOutWindow); 0
  // makes every read-out read the line (tests that follow each read-out's
  // own exchange).
  uint32_t readOutWindowMs = static_cast<uint32_t>(kReadOutWindow.count());
};

}  // namespace sidera
