// The demo's choice of stars over a year of hours at the latitudes the demo
// promises (60 S to 60 N), on both simulators' geometries: a choice exists,
// its stars stay within the mount's goto limits (and on their side of the
// meridian on the equatorial mount) while the demo runs, and the library's
// own two-star fit, given the pair as the demo centres it, points the tour
// stars where the mount really has them.
#include "tools/sidera/demo_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "sidera.h"
#include "host/civil_time.h"
#include "tools/sidera/astro.h"

namespace sidera::tool {
namespace {

constexpr double kDemoSeconds = 40 * 60;  // sky time the longest demo takes

AxisPair NominalAxes(const DemoStar& s) {
  AxisPair axes{};
  EXPECT_EQ(SkyToAxes(SkyPoint{s.place.hourAngle, s.place.declination}, &axes), 0);
  return axes;
}

AlignStar Centred(const DemoStar& s) {
  const AxisPair a = NominalAxes(s);
  return {s.place.hourAngle, s.place.declination, a.axis0 + kDemoMountOffset0,
          a.axis1 + kDemoMountOffset1};
}

TEST(DemoPlan, SoundStarsAtEveryHourOfAYearAndEveryLatitude) {
  // Every hour of every tenth day: the sidereal time at each hour moves on
  // by 39 minutes from one such day to the next, so the starts cover it
  // densely. The stars' places hardly depend on the latitude (diurnal
  // aberration, under half an arc-second), so one set serves every latitude.
  const int64_t year = *host::ParseUtc("2026-01-01T00:00:00");
  const double longitude = Radians(-118.06);
  std::vector<std::pair<int64_t, std::vector<DemoStar>>> starts;
  for (int day = 0; day < 365; day += 10) {
    for (int hour = 0; hour < 24; ++hour) {
      const int64_t t = year + (day * 24 + hour) * int64_t{3600000};
      starts.emplace_back(t, StarsAt({0, longitude, 0}, t));
    }
  }
  for (const int model : {6, 7}) {
    const bool equatorial = model == 6;
    ASSERT_EQ(CreateMount(model, 0.0, 0.0), 0);
    size_t shortestTour = 99;
    double widest = 0, narrowest = kPi;
    for (int latitude = -60; latitude <= 60; latitude += 10) {
      ASSERT_EQ(SetSite(Radians(latitude), 0), 0);
      for (const auto& [t, stars] : starts) {
        const std::string when = "model " + std::to_string(model) + ", latitude " +
                                 std::to_string(latitude) + ", " + std::to_string(t / 1000);
        const auto choice = ChooseDemoStars(stars, Radians(latitude), equatorial);
        ASSERT_TRUE(choice) << when;
        shortestTour = std::min(shortestTour, choice->tour.size());
        std::vector<DemoStar> all = choice->tour;
        all.push_back(choice->first);
        all.push_back(choice->second);
        for (const DemoStar& s : all) {
          for (const double later : {0.0, kDemoSeconds}) {
            const double ha = WrapPi(s.place.hourAngle + kSiderealRate * later);
            const double alt =
                Degrees(HorizontalOf(ha, s.place.declination, Radians(latitude)).altitude);
            EXPECT_TRUE(alt > 15 && alt < 75) << when << ": " << s.entry->name << " at " << alt;
            if (equatorial) {
              EXPECT_EQ(ha > 0, s.place.hourAngle > 0) << when << ": " << s.entry->name;
            }
          }
        }
        const double apart =
            Separation(choice->first.place.hourAngle, choice->first.place.declination,
                       choice->second.place.hourAngle, choice->second.place.declination);
        widest = std::max(widest, apart);
        narrowest = std::min(narrowest, apart);
        // The library's fit of the pair as the demo centres it, from the
        // nominal model, then where it points every star chosen.
        ASSERT_EQ(SetMountErrors(0, 0), 0);
        std::vector<AlignStar> centred;
        for (const DemoStar& s : all) centred.push_back(Centred(s));
        ASSERT_EQ(AlignTwoStars(centred.end()[-2], centred.end()[-1]), 0)
            << when << ": " << choice->first.entry->name << " and " << choice->second.entry->name;
        for (size_t i = 0; i < all.size(); ++i) {
          const AxisPair a = NominalAxes(all[i]);
          EXPECT_LT(Degrees(Separation(a.axis0, a.axis1, centred[i].axis0, centred[i].axis1)),
                    1.0 / 60)
              << when << ": " << all[i].entry->name;
        }
        ASSERT_EQ(SetMountErrors(0, 0), 0);
      }
    }
    EXPECT_EQ(DestroyMount(), 0);
    EXPECT_GE(shortestTour, 2u);
    std::printf(
        "model %d: %zu starts x 13 latitudes; pairs %.0f to %.0f degrees apart; tours of %zu+ "
        "stars\n",
        model, starts.size(), Degrees(narrowest), Degrees(widest), shortestTour);
  }
}

}  // namespace
}  // namespace sidera::tool
