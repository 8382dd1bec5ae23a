// The system clock set from GPS time: through systemd-timedated on the
// system bus, else clock_settime; silently nothing without the privilege.
#pragma once

#include "location/core/gps/clock_service.h"

namespace location {

class SystemClock : public gps::ClockService {
 public:
  // Hands the request to the program's main thread, which owns the bus
  // connection, and returns at once.
  void SetUtc(const gps::GpsTime& utc) override;
};

}  // namespace location
