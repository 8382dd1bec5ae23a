// The shared reading of the mount and its refresh on the calls lane.
#include "host/mount_snapshot.h"

#include "host/library_text.h"
#include "host/sky_frame.h"

namespace sidera::host {

MountSnapshot ReadMount(const SkyClock& clock, double longitudeDegrees, bool horizontal) {
  MountSnapshot s;
  s.recordCode = GetMotionOutcome(SIDERA_OUTCOME_MOUNT, &s.gotoRecord);  // no exchange
  s.code = GetAxisPositions(&s.axes);
  if (s.code == SIDERA_OK) s.code = GetSkyPosition(&s.sky);
  if (s.code == SIDERA_OK && horizontal) s.code = GetHorizontalPosition(&s.horizontal);
  if (s.code == SIDERA_OK) s.code = GetMountState(&s.mountState);
  if (s.code != SIDERA_OK) s.error = LibraryFailure(s.code, "Reading the mount");
  s.utc = clock.NowUnixMillis();
  s.lst = LocalApparentSiderealTimeAt(longitudeDegrees, s.utc);
  return s;
}

SnapshotCache::SnapshotCache(TaskLane& calls, bool horizontal, std::chrono::milliseconds interval)
    : calls_(calls), horizontal_(horizontal), interval_(interval) {}

void SnapshotCache::OnReading(std::function<void(const MountSnapshot&)> judge) {
  judge_ = std::move(judge);
}

void SnapshotCache::SetSky(const SkyClock& clock, double longitudeDegrees) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_ = clock;
  longitude_ = longitudeDegrees;
  taken_ = {};
}

void SnapshotCache::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = true;
  serial_ = 0;
  taken_ = {};
}

void SnapshotCache::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
  }
  refreshed_.notify_all();
}

void SnapshotCache::Invalidate() {
  std::lock_guard<std::mutex> lock(mutex_);
  taken_ = {};
  ++invalidations_;
}

bool SnapshotCache::FreshLocked(Clock::time_point now) const {
  return serial_ != 0 && taken_ != Clock::time_point{} && now - taken_ < interval_;
}

SnapshotCache::Status SnapshotCache::Read(MountSnapshot* out, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!open_) return Status::kClosed;
  const auto now = Clock::now();
  if (!FreshLocked(now)) {
    const uint64_t want = serial_ + 1;
    if (!queued_) {
      queued_ = true;
      calls_.Post([this] { Refresh(false); });
    }
    const bool stale =
        serial_ != 0 && taken_ != Clock::time_point{} && now - taken_ < 2 * interval_;
    // Only a reading begun after the last invalidation will do.
    const auto done = [&] { return (serial_ >= want && readFrom_ == invalidations_) || !open_; };
    if (!stale && !refreshed_.wait_for(lock, limit, done)) {
      return Status::kLate;
    }
    if (!open_) return Status::kClosed;
  }
  *out = snapshot_;
  return Status::kRead;
}

MountSnapshot SnapshotCache::Take(bool fresh) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!fresh && FreshLocked(Clock::now())) return snapshot_;
  }
  Refresh(true);
  std::lock_guard<std::mutex> lock(mutex_);
  return snapshot_;
}

void SnapshotCache::Refresh(bool force) {
  SkyClock clock{1.0};
  double longitude = 0;
  uint64_t invalidations = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!force) queued_ = false;
    // Another refresh has just served the requests waiting for this one.
    if (!open_ || (!force && FreshLocked(Clock::now()))) {
      refreshed_.notify_all();
      return;
    }
    clock = clock_;
    longitude = longitude_;
    invalidations = invalidations_;
  }
  const MountSnapshot s = ReadMount(clock, longitude, horizontal_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    snapshot_ = s;
    ++serial_;
    readFrom_ = invalidations;
    taken_ = Clock::now();
    // A command on the stop lane (an abort) came during the reads: this
    // reading may show the mount from before it, so another is made for
    // those waiting.
    if (invalidations != invalidations_) {
      taken_ = {};
      if (!queued_) {
        queued_ = true;
        calls_.Post([this] { Refresh(false); });
      }
    }
  }
  // Judged once it is the reading everyone gets: a front end that then
  // says a motion ended (parked) is never read beside an older reading that
  // still shows it running. Those waiting for it wake after the judgement.
  if (judge_) judge_(s);
  refreshed_.notify_all();
}

}  // namespace sidera::host
