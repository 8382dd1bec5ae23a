// GPS time checks, local-time conversion and the recording clock.
#include "location/core/gps/clock_service.h"

#include <ctime>

namespace location::gps {

bool IsValidGpsTime(const GpsTime& t) {
  static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.year < 1970 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1) return false;
  const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  const int days = t.month == 2 && !leap ? 28 : kDays[t.month - 1];
  return t.day <= days && t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 &&
         t.second >= 0 && t.second < 60;
}

GpsTime ToLocalTime(const GpsTime& utc) {
  std::tm broken{};
  broken.tm_year = utc.year - 1900;
  broken.tm_mon = utc.month - 1;
  broken.tm_mday = utc.day;
  broken.tm_hour = utc.hour;
  broken.tm_min = utc.minute;
  broken.tm_sec = utc.second;
  const time_t instant = timegm(&broken);
  std::tm local{};
  if (instant == static_cast<time_t>(-1) || localtime_r(&instant, &local) == nullptr) return utc;
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

void RecordingClock::SetUtc(const GpsTime& utc) {
  std::lock_guard<std::mutex> lock(mutex_);
  times_.push_back(utc);
}

std::vector<GpsTime> RecordingClock::Times() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return times_;
}

}  // namespace location::gps
