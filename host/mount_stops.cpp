// The stop of everything, apart from the lanes so that a program that only
// queues tasks does not need the library.
#include "host/mount_worker.h"
#include "sidera.h"

namespace sidera::host {

int StopEverything() {
  const int tracking = SetTracking(0);
  const int axis0 = StopAxis(0);
  const int axis1 = StopAxis(1);
  return tracking != SIDERA_OK ? tracking : axis0 != SIDERA_OK ? axis0 : axis1;
}

}  // namespace sidera::host
