// One reading of the mount (positions, state, the last motion outcome and the
// sky time they were read at), refreshed on the worker's calls lane at one
// cadence and shared by every client of a front end: clients that ask more
// often than the cadence add no traffic on the serial line.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "host/mount_worker.h"
#include "host/sky_clock.h"
#include "sidera.h"

namespace sidera::host {

// A refresh serves every read made within this interval after it.
inline constexpr std::chrono::milliseconds kSnapshotInterval{250};

struct MountSnapshot {
  int code = 0;       // the library's code for the reads, 0 when they worked
  std::string error;  // "Reading the mount: <library message> (code N)" when not 0
  AxisPair axes{};
  SkyPoint sky{};
  HorizontalPoint horizontal{};  // only when the cache reads it (see SnapshotCache)
  uint32_t mountState = 0;
  MotionOutcome gotoRecord{};  // the mount's outcome record, read whatever `code`
  int recordCode = 0;          // the library's code for reading the record
  int64_t utc = 0;             // sky clock at the reading, ms since 1970
  double lst = 0;              // local apparent sidereal time then, radians
};

// Reads the mount now (on the calls lane): the outcome record first (it takes
// no exchange, so it holds whatever the reads after it do), then the axes,
// whose reads are the ones that report a controller that stopped answering;
// the sky position alone would show the last positions as current.
MountSnapshot ReadMount(const SkyClock& clock, double longitudeDegrees, bool horizontal);

class SnapshotCache {
 public:
  using Clock = TaskLane::Clock;
  enum class Status { kRead, kClosed, kLate };

  // Refreshes on `calls`, which must have stopped (or run every task it
  // was given) before the cache goes. With `horizontal`, each reading also
  // asks the library for the horizontal position (more reads of the axes).
  SnapshotCache(TaskLane& calls, bool horizontal,
                std::chrono::milliseconds interval = kSnapshotInterval);
  SnapshotCache(const SnapshotCache&) = delete;
  SnapshotCache& operator=(const SnapshotCache&) = delete;

  // Called on the calls lane with each new reading, once it is the one
  // readers get and before those waiting for it wake, with no lock of the
  // cache held: a front end judges there whether a motion has ended, so that
  // what it says (parked) never sits beside an older reading.
  void OnReading(std::function<void(const MountSnapshot&)> judge);
  // The sky clock and site longitude the readings are timed with.
  void SetSky(const SkyClock& clock, double longitudeDegrees);
  // A mount is connected: readings can be made (none of an earlier mount
  // serves). Close wakes waiting readers with kClosed.
  void Open();
  void Close();
  // A command changed the mount: the next read waits for a new reading.
  void Invalidate();

  // From any thread but the calls lane: a reading no older than the interval.
  // One just past it serves at once while the next is made, so clients
  // polling steadily never wait for the serial line; one invalidated, or
  // older than twice the interval, is waited for up to `limit`.
  Status Read(MountSnapshot* out, std::chrono::milliseconds limit = std::chrono::seconds(20));
  // On the calls lane: the reading, made now when it is older than the
  // interval (or invalidated); `fresh` makes it now whatever its age.
  MountSnapshot Take(bool fresh = false);

 private:
  // On the calls lane; without `force`, a reading still fresh stands.
  void Refresh(bool force);
  bool FreshLocked(Clock::time_point now) const;

  TaskLane& calls_;
  const bool horizontal_;
  const std::chrono::milliseconds interval_;
  std::function<void(const MountSnapshot&)> judge_;  // set before use

  // Guarded by mutex_.
  mutable std::mutex mutex_;
  std::condition_variable refreshed_;
  SkyClock clock_{1.0};
  double longitude_ = 0;
  bool open_ = false;
  MountSnapshot snapshot_;
  uint64_t serial_ = 0;         // readings made since Open; 0: none yet
  uint64_t invalidations_ = 0;  // Invalidate calls
  uint64_t readFrom_ = 0;       // invalidations_ when the reading in snapshot_ began
  Clock::time_point taken_{};
  bool queued_ = false;
};

}  // namespace sidera::host
