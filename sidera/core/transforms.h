// Conversions between the equatorial and horizontal frames at a latitude.
#pragma once

#include "sidera/core/types.h"

namespace sidera {

class TelescopeMount;

// Altitude of hour angle / declination `p` at `latitude`.
double AltitudeOf(double latitude, const SkyPoint& p);
// North-based azimuth in [-pi, pi) of `p` at `latitude`.
double AzimuthOf(double latitude, const SkyPoint& p);
// (hour angle, declination) of `in` = (azimuth measured westward from south,
// altitude) at `latitude`.
void HorizontalToEquatorial(double latitude, SkyPoint& out, const HorizontalPoint& in);

// The same at the mount's latitude.
double AltitudeOf(const TelescopeMount& mount, const SkyPoint& p);
double AzimuthOf(const TelescopeMount& mount, const SkyPoint& p);
void HorizontalToEquatorial(const TelescopeMount& mount, SkyPoint& out, const HorizontalPoint& in);

}  // namespace sidera
