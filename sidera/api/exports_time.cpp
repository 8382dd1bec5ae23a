// Exported time and angle helpers; they need no mount.
#include "sidera/core/angles.h"
#include "sidera/core/sidereal_time.h"
#include "sidera/include/sidera.h"

extern "C" SIDERA_API double ComputeSiderealTime(CivilDateTime when, double zoneHours,
                                                 int daylight) {
  return sidera::SiderealTimeOf(when, zoneHours, daylight);
}

extern "C" SIDERA_API double AngularSeparation(double lon1, double lat1, double lon2, double lat2) {
  return sidera::AngularSeparationOf(lon1, lat1, lon2, lat2);
}
