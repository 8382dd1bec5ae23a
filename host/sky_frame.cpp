// Catalogue places to the local sky of a site and back, and the Moon and
// planets, on top of ERFA.
#include "host/sky_frame.h"

#include <erfa.h>
#include <erfam.h>

#include <cmath>
#include <span>
#include <vector>

namespace sidera::host {
namespace {

// The astrometry context of a site and instant: no polar motion, no
// refraction (pressure 0).
eraASTROM ContextOf(const Observer& site, int64_t unixMillis, double* equationOfOrigins) {
  double u1 = 0, u2 = 0;
  UtcJulianDate(unixMillis, &u1, &u2);
  eraASTROM astrom{};
  // A status of +1 only warns that the leap-second table may not reach the
  // date; the result is still the best there is.
  (void)eraApco13(u1, u2, 0.0, site.longitude, site.latitude, site.elevation, 0.0, 0.0, 0.0, 0.0,
                  0.0, 0.0, &astrom, equationOfOrigins);
  return astrom;
}

// The place in the local sky of a context made by ContextOf.
LocalPlace PlaceIn(eraASTROM& astrom, const CataloguePlace& place) {
  // ERFA wants the rate of change of the right ascension itself.
  const double cosDec = std::cos(place.declination);
  const double pmRa =
      cosDec > 1e-9 ? place.pmRaCosDec * ERFA_DMAS2R / cosDec : 0.0;  // none at a pole
  double ri = 0, di = 0;
  eraAtciq(place.rightAscension, place.declination, pmRa, place.pmDec * ERFA_DMAS2R, place.parallax,
           0.0, &astrom, &ri, &di);
  double azimuth = 0, zenith = 0, hourAngle = 0, declination = 0, ra = 0;
  eraAtioq(ri, di, &astrom, &azimuth, &zenith, &hourAngle, &declination, &ra);
  return {hourAngle, declination};
}

void TerrestrialTime(int64_t unixMillis, double* tt1, double* tt2) {
  double u1 = 0, u2 = 0, tai1 = 0, tai2 = 0;
  UtcJulianDate(unixMillis, &u1, &u2);
  (void)eraUtctai(u1, u2, &tai1, &tai2);  // +1: dubious year, see above
  (void)eraTaitt(tai1, tai2, tt1, tt2);
}

}  // namespace

void UtcJulianDate(int64_t unixMillis, double* jd1, double* jd2) {
  int64_t days = unixMillis / 86400000;
  int64_t rest = unixMillis % 86400000;
  if (rest < 0) {
    rest += 86400000;
    --days;
  }
  *jd1 = 2440587.5 + static_cast<double>(days);
  *jd2 = static_cast<double>(rest) / 86400000.0;
}

LocalPlace LocalOf(const CataloguePlace& place, const Observer& site, int64_t unixMillis) {
  double eo = 0;
  eraASTROM astrom = ContextOf(site, unixMillis, &eo);
  return PlaceIn(astrom, place);
}

std::vector<LocalPlace> LocalOfAll(std::span<const CataloguePlace> places, const Observer& site,
                                   int64_t unixMillis) {
  double eo = 0;
  eraASTROM astrom = ContextOf(site, unixMillis, &eo);
  std::vector<LocalPlace> out;
  out.reserve(places.size());
  for (const CataloguePlace& place : places) out.push_back(PlaceIn(astrom, place));
  return out;
}

IcrsDirection CatalogueOfLocal(const LocalPlace& local, const Observer& site, int64_t unixMillis) {
  double eo = 0;
  eraASTROM astrom = ContextOf(site, unixMillis, &eo);
  double ri = 0, di = 0, rc = 0, dc = 0;
  eraAtoiq("H", local.hourAngle, local.declination, &astrom, &ri, &di);
  eraAticq(ri, di, &astrom, &rc, &dc);
  return {eraAnp(rc), dc};
}

double LocalApparentSiderealTime(const Observer& site, int64_t unixMillis) {
  double eo = 0;
  const eraASTROM astrom = ContextOf(site, unixMillis, &eo);
  // The local Earth rotation angle less the equation of the origins.
  return eraAnp(astrom.eral - eo);
}

double LocalApparentSiderealTimeAt(double longitudeDegrees, int64_t unixMillis) {
  return LocalApparentSiderealTime({0.0, longitudeDegrees / 180.0 * ERFA_DPI, 0.0}, unixMillis);
}

IcrsDirection ApparentOfJ2000(const IcrsDirection& j2000, int64_t unixMillis) {
  double tt1 = 0, tt2 = 0, ri = 0, di = 0, eo = 0;
  TerrestrialTime(unixMillis, &tt1, &tt2);
  // The intermediate (CIRS) place, then its right ascension from the
  // equinox rather than the origin.
  eraAtci13(j2000.rightAscension, j2000.declination, 0.0, 0.0, 0.0, 0.0, tt1, tt2, &ri, &di, &eo);
  return {eraAnp(ri - eo), di};
}

IcrsDirection J2000OfApparent(const IcrsDirection& apparent, int64_t unixMillis) {
  double tt1 = 0, tt2 = 0, rc = 0, dc = 0, eo = 0;
  TerrestrialTime(unixMillis, &tt1, &tt2);
  eo = eraEo06a(tt1, tt2);
  eraAtic13(eraAnp(apparent.rightAscension + eo), apparent.declination, tt1, tt2, &rc, &dc, &eo);
  return {eraAnp(rc), dc};
}

CataloguePlace PlaceOfBody(Body body, int64_t unixMillis) {
  double tt1 = 0, tt2 = 0;
  TerrestrialTime(unixMillis, &tt1, &tt2);  // TDB differs by under 2 ms
  double earthHelio[2][3], earthBary[2][3];
  (void)eraEpv00(tt1, tt2, earthHelio, earthBary);  // +1: outside 1900-2100, still usable
  double sun[3];
  eraPmp(earthBary[0], earthHelio[0], sun);

  // Barycentric position of the body `lightDays` before the instant.
  auto positionAt = [&](double lightDays, double out[3]) {
    double pv[2][3];
    if (body == Body::kMoon) {
      eraMoon98(tt1, tt2 - lightDays, pv);
      eraPpp(earthBary[0], pv[0], out);
      return;
    }
    static constexpr int kPlanetNumber[] = {0, 1, 2, 4, 5, 6, 7, 8};
    (void)eraPlan94(tt1, tt2 - lightDays, kPlanetNumber[static_cast<int>(body)], pv);
    eraPpp(sun, pv[0], out);
  };
  double position[3];
  positionAt(0.0, position);
  for (int i = 0; i < 3; ++i) {
    double fromEarth[3];
    eraPmp(position, earthBary[0], fromEarth);
    positionAt(eraPm(fromEarth) * ERFA_AULT / ERFA_DAYSEC, position);
  }
  double ra = 0, dec = 0;
  eraC2s(position, &ra, &dec);
  CataloguePlace place;
  place.rightAscension = eraAnp(ra);
  place.declination = dec;
  place.parallax = ERFA_DR2AS / eraPm(position);
  return place;
}

}  // namespace sidera::host
