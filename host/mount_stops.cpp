// The stop of everything, apart from the lanes so that a program that only
// queues tasks does not need the library.
#include "host/mount_worker.h"
#include "sidera.h"

namespace sidera::host {

int StopEverything() { return ::StopEverything(); }

}  // namespace sidera::host
