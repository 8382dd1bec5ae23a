// Catalogue places in the local sky and the named targets. Places are
// checked against places computed independently: ERFA's step-by-step routines (light deflection,
// aberration and the precession-nutation matrix, equinox-based) rather than the one-call route the
// program takes, and a worked textbook case.
#include "host/sky_frame.h"

#include <erfa.h>
#include <erfam.h>
#include <gtest/gtest.h>

#include <cmath>

#include "host/sky_angles.h"
#include "host/sky_coordinates.h"
#include "host/targets.h"

namespace sidera::host {
namespace {

constexpr double kArcsec = kPi / 180.0 / 3600.0;

// The geocentric apparent place of date and the hour angle, the classical
// way: linear proper motion, then the Sun's light deflection, annual
// aberration, and the bias-precession-nutation matrix; apparent sidereal
// time from the equinox-based formula.
LocalPlace ClassicalLocal(const CataloguePlace& c, const Observer& site, int64_t unixMillis,
                          double* apparentRa) {
  double u1 = 0, u2 = 0, tai1 = 0, tai2 = 0, tt1 = 0, tt2 = 0;
  UtcJulianDate(unixMillis, &u1, &u2);
  eraUtctai(u1, u2, &tai1, &tai2);
  eraTaitt(tai1, tai2, &tt1, &tt2);
  const double years = ((tt1 - ERFA_DJ00) + tt2) / ERFA_DJY;
  const double ra =
      c.rightAscension + c.pmRaCosDec / 1000 * kArcsec / std::cos(c.declination) * years;
  const double dec = c.declination + c.pmDec / 1000 * kArcsec * years;
  double p[3];
  eraS2c(ra, dec, p);
  double helio[2][3], bary[2][3];
  eraEpv00(tt1, tt2, helio, bary);
  double sunToEarth[3], distance = 0;
  eraPn(helio[0], &distance, sunToEarth);
  double deflected[3];
  eraLdsun(p, sunToEarth, distance, deflected);
  double v[3];
  eraSxp(1.0 / ERFA_DC, bary[1], v);  // au/day to units of c
  const double bm1 = std::sqrt(1.0 - eraPm(v) * eraPm(v));
  double aberrated[3];
  eraAb(deflected, v, distance, bm1, aberrated);
  double npb[3][3], ofDate[3];
  eraPnm06a(tt1, tt2, npb);
  eraRxp(npb, aberrated, ofDate);
  double raDate = 0, decDate = 0;
  eraC2s(ofDate, &raDate, &decDate);
  *apparentRa = eraAnp(raDate);
  const double last = eraGst06a(u1, u2, tt1, tt2) + site.longitude;
  return {WrapPi(last - raDate), decDate};
}

TEST(ApparentPlaces, AgreeWithTheStepByStepRouteForStarsAcrossTheSky) {
  struct Case {
    const char* star;
    int64_t unixMillis;
    double latitude, longitude;  // degrees
  } cases[] = {
      {"Arcturus", 1773979200000, 40.7, -74.0},          // 2026-03-20, large proper motion
      {"Polaris", 1773979200000, 40.7, -74.0},           // near the pole
      {"Rigil Kentaurus", 1893456000000, -33.9, 151.2},  // 2030, southern site
      {"Sirius", 946728000000, 51.5, 0.0},               // J2000.0 itself
      {"M31", 1609459200000, 34.2, -118.1},              // 2021, no proper motion
      {"M42", 1893456000000, -33.9, 151.2},
  };
  for (const Case& c : cases) {
    NamedTarget target;
    ASSERT_TRUE(FindTarget(c.star, &target)) << c.star;
    const Observer site{Radians(c.latitude), Radians(c.longitude), 100.0};
    const CataloguePlace place = target.PlaceAt(c.unixMillis);
    double apparentRa = 0;
    const LocalPlace want = ClassicalLocal(place, site, c.unixMillis, &apparentRa);
    const LocalPlace got = LocalOf(place, site, c.unixMillis);
    // The program's place is seen from the site: diurnal aberration (up to
    // 0.32") is the only term the geocentric route leaves out.
    EXPECT_LT(Separation(got.hourAngle, got.declination, want.hourAngle, want.declination),
              0.5 * kArcsec)
        << c.star;
    // A fixed place's apparent right ascension and declination of date, as
    // the INDI driver and the Alpaca server speak them.
    if (place.pmRaCosDec == 0 && place.pmDec == 0 && place.parallax == 0) {
      const IcrsDirection apparent =
          ApparentOfJ2000({place.rightAscension, place.declination}, c.unixMillis);
      EXPECT_LT(
          Separation(apparent.rightAscension, apparent.declination, apparentRa, want.declination),
          0.01 * kArcsec)
          << c.star;
    }
    // Catalogue and local place convert back and forth.
    const IcrsDirection back = CatalogueOfLocal(got, site, c.unixMillis);
    const LocalPlace again = LocalOf({back.rightAscension, back.declination}, site, c.unixMillis);
    EXPECT_LT(Separation(got.hourAngle, got.declination, again.hourAngle, again.declination),
              0.001 * kArcsec)
        << c.star;
  }
}

TEST(ApparentPlaces, MatchATextbookApparentPlace) {
  // Theta Persei, FK5 J2000.0 2h44m11.986s +49d13'42.48", proper motion
  // +0.03425 s and -0.0895" a year, at 2028 November 13.19 TD: apparent
  // 2h46m14.390s +49d21'07.45" (a worked example of the classical method).
  CataloguePlace place;
  place.rightAscension = (2 + 44 / 60.0 + 11.986 / 3600.0) / 12.0 * kPi;
  place.declination = Radians(49 + 13 / 60.0 + 42.48 / 3600.0);
  place.pmRaCosDec = 0.03425 * 15 * 1000 * std::cos(place.declination);
  place.pmDec = -89.5;
  const int64_t when = 1857702816000 - 69184;  // TD less 69.184 s: UTC
  const Observer greenwich{Radians(51.48), 0.0, 0.0};
  const LocalPlace local = LocalOf(place, greenwich, when);
  const double ra = WrapTwoPi(LocalApparentSiderealTime(greenwich, when) - local.hourAngle);
  EXPECT_NEAR(ra / kPi * 12 * 3600, (2 * 60 + 46) * 60 + 14.390, 0.05);  // seconds of time
  EXPECT_NEAR(Degrees(local.declination) * 3600, (49 * 60 + 21) * 60 + 7.45, 1.0);
}

TEST(ApparentPlaces, TheMoonSitsLowerFromTheSiteThanFromTheEarthsCentre) {
  // The Moon's parallax: seen from the surface it is lower by its
  // horizontal parallax (54' to 61.5') times the cosine of its altitude.
  const Observer site{Radians(40.0), Radians(-75.0), 0.0};
  for (int64_t when : {int64_t{1773979200000}, int64_t{1775000000000}, int64_t{1790000000000}}) {
    const CataloguePlace moon = PlaceOfBody(Body::kMoon, when);
    const LocalPlace topo = LocalOf(moon, site, when);
    CataloguePlace centre = moon;  // the same direction from the barycentre...
    double u1 = 0, u2 = 0;
    UtcJulianDate(when, &u1, &u2);
    double pv[2][3];
    eraMoon98(u1, u2 + 69.184 / 86400, pv);  // ...replaced by the geocentric one
    eraC2s(pv[0], &centre.rightAscension, &centre.declination);
    centre.parallax = 0;
    const LocalPlace geo = LocalOf(centre, site, when);
    const double altTopo = HorizontalOf(topo.hourAngle, topo.declination, site.latitude).altitude;
    const double altGeo = HorizontalOf(geo.hourAngle, geo.declination, site.latitude).altitude;
    const double parallax = (altGeo - altTopo) / std::cos(altTopo);
    EXPECT_GT(Degrees(parallax) * 60, 53.0) << when;
    EXPECT_LT(Degrees(parallax) * 60, 62.0) << when;
  }
}

TEST(Targets, NamesAliasesAndSuggestions) {
  const std::pair<const char*, const char*> found[] = {
      {"vega", "Vega"},
      {"rigil-kentaurus", "Rigil Kentaurus"},
      {"Agena", "Hadar"},
      {"m 31", "M31"},
      {"Andromeda Galaxy", "M31"},
      {"NGC 5866", "M102"},
      {"MOON", "Moon"},
      {"jupiter", "Jupiter"},
  };
  for (const auto& [name, want] : found) {
    NamedTarget t;
    ASSERT_TRUE(FindTarget(name, &t)) << name;
    EXPECT_EQ(t.name, want);
  }
  EXPECT_GE(Catalogue().size(), 200u);  // the bright stars and the 110 Messier objects
  // The Sun's refusal and a suggestion are in the program's validation table.
  EXPECT_EQ(SuggestTargets("Betelguese").at(0), "Betelgeuse");
  EXPECT_TRUE(SuggestTargets("xyzzyplugh").empty());
}

}  // namespace
}  // namespace sidera::host
