// Changing the tracking rate, as every front end does it.
#pragma once

namespace sidera::host {

// On the calls lane: the library's tracking rate `mode` (kSiderealTracking,
// kLunarTracking, kSolarTracking). A tracking that runs keeps its old rate
// until it is started again, so with `restartTracking` it is started again
// at once. Returns the first code that was not 0.
int ChangeTrackingRate(int mode, bool restartTracking);

}  // namespace sidera::host
