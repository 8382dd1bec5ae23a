// The hosts' one sky frame, through ERFA (the IAU's SOFA routines): where a
// catalogue object is in the local sky of a site, the apparent sidereal time
// that turns a right ascension of date into an hour angle, and the way
// between catalogue (J2000) and apparent (of date) right ascension and
// declination. Each front end says which frame its protocol speaks: INDI's
// EOD and Alpaca's topocentric coordinates are of date (hour angle = local
// apparent sidereal time - right ascension), `sidera`'s catalogue is J2000.
//
// For catalogue places: proper motion, parallax, light deflection, annual and
// diurnal aberration, precession and nutation take a J2000 (ICRS) place to
// the local hour angle and declination of date that a mount points at. The
// Moon and the planets come from ERFA's approximate ephemerides. Refraction
// is left out: the mount's pointing model and limits are geometric.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sidera::host {

// An observing site: latitude and longitude (east positive) in radians,
// elevation in metres.
struct Observer {
  double latitude = 0;
  double longitude = 0;
  double elevation = 0;
};

// A catalogue place: ICRS right ascension and declination (radians) at epoch
// J2000.0, proper motion in RA*cos(Dec) and in Dec (milli-arcseconds a year)
// and parallax (arc-seconds). A solar-system body is given by its direction
// from the solar-system barycentre and a parallax of 1/distance, which the
// same conversion turns into the direction seen from the site.
struct CataloguePlace {
  double rightAscension = 0;
  double declination = 0;
  double pmRaCosDec = 0;
  double pmDec = 0;
  double parallax = 0;
};

// What the mount takes: hour angle (growing westward) and declination of
// date, radians.
struct LocalPlace {
  double hourAngle = 0;
  double declination = 0;
};

// The place of `place` seen from `site` at `unixMillis` (UTC; UT1 is taken
// equal to UTC, which is good to 0.9 s of time).
LocalPlace LocalOf(const CataloguePlace& place, const Observer& site, int64_t unixMillis);
// LocalOf of many places at one instant: the costly part (the Earth's motion,
// precession, nutation) is worked out once for them all.
std::vector<LocalPlace> LocalOfAll(std::span<const CataloguePlace> places, const Observer& site,
                                   int64_t unixMillis);

// The catalogue (ICRS, J2000) direction of a local hour angle and
// declination: the inverse of LocalOf for a fixed star. Radians, right
// ascension in [0, 2 pi).
struct IcrsDirection {
  double rightAscension = 0;
  double declination = 0;
};
IcrsDirection CatalogueOfLocal(const LocalPlace& local, const Observer& site, int64_t unixMillis);

// Local apparent sidereal time, radians in [0, 2 pi): the one local sidereal
// time of every front end.
double LocalApparentSiderealTime(const Observer& site, int64_t unixMillis);
// The same at a longitude in degrees east, as the front ends keep their site.
double LocalApparentSiderealTimeAt(double longitudeDegrees, int64_t unixMillis);

// Geocentric apparent right ascension (equinox of date) and declination of a
// J2000 (ICRS) direction at `unixMillis`, and the way back. Radians, right
// ascension in [0, 2 pi).
IcrsDirection ApparentOfJ2000(const IcrsDirection& j2000, int64_t unixMillis);
IcrsDirection J2000OfApparent(const IcrsDirection& apparent, int64_t unixMillis);

// The solar-system bodies offered as targets. The Sun is not among them on
// purpose: a telescope pointed at it blinds whoever looks through it.
enum class Body { kMoon, kMercury, kVenus, kMars, kJupiter, kSaturn, kUranus, kNeptune };

// The barycentric place of a body at `unixMillis`, corrected for light time,
// as LocalOf takes it.
CataloguePlace PlaceOfBody(Body body, int64_t unixMillis);

// Splits a UTC instant into the two-part Julian date ERFA takes.
void UtcJulianDate(int64_t unixMillis, double* jd1, double* jd2);

}  // namespace sidera::host
