// The tracking rate change.
#include "host/tracking_rate.h"

#include "sidera.h"

namespace sidera::host {

int ChangeTrackingRate(int mode, bool restartTracking) {
  int code = SetTrackingRateMode(mode);
  if (code == SIDERA_OK && restartTracking) code = SetTracking(1);
  return code;
}

}  // namespace sidera::host
