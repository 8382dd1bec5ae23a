// Setting the system clock from GPS time, and how that time is shown.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace location::gps {

// A time received from the GPS, taken as the system's universal time.
struct GpsTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const GpsTime&) const = default;
};

// True for a real calendar date (years 1970..9999) and time of day; nothing
// else may set the clock.
bool IsValidGpsTime(const GpsTime& time);

// The same instant in the local time zone.
GpsTime ToLocalTime(const GpsTime& utc);

class ClockService {
 public:
  virtual ~ClockService() = default;
  // Sets the system clock; fails silently without the privilege. May be
  // called from any thread.
  virtual void SetUtc(const GpsTime& utc) = 0;
};

// Records what it is asked to set, for tests and for a run without privilege.
class RecordingClock : public ClockService {
 public:
  void SetUtc(const GpsTime& utc) override;
  std::vector<GpsTime> Times() const;

 private:
  mutable std::mutex mutex_;
  std::vector<GpsTime> times_;  // guarded by mutex_
};

}  // namespace location::gps
