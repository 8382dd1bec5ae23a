// Choosing the demo's stars: each star is followed across the demo's span of
// sky time, and the pair is judged by what a two-star fit needs.
#include "tools/sidera/demo_plan.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "tools/sidera/astro.h"

namespace sidera::tool {
namespace {

// The demo's gotos and tracking take well under this much sky time on every
// model, so a star usable at every sample of the span is usable whenever its
// turn comes.
constexpr double kSpanSeconds = 45 * 60;
constexpr int kSamples = 4;

// Altitudes, degrees. The lowest keeps clear of the horizon and of the
// mount's 15 degrees below which it rates no alignment star; the highest
// stays under its 75 degree upper goto limit. An alt-azimuth mount's
// alignment stars stay under 60 degrees, above which its azimuth axis is
// poorly determined and which it rates as unusable.
constexpr double kLowest = 20;
constexpr double kHighest = 70;
constexpr double kHighestAltAzAlignment = 58;
// An equatorial mount points at a star from the other side of its pier once
// the star crosses the meridian (above or below the pole): a star must stay
// this far (degrees of hour angle) on one side. Its stars stay within these
// declinations, alignment stars further from the poles, where the right
// ascension axis is poorly determined.
constexpr double kMeridianMargin = 3;
constexpr double kPolarAlignment = 75;
constexpr double kPolarTour = 80;

// The pair, degrees. The library refuses stars closer than 5 degrees or
// within 5 of opposite; well inside that the fit turns centring errors into
// small pointing errors. On an equatorial mount both stay on one side of the
// meridian, apart in hour angle (the axis-0 readings the fit compares) and
// with declinations that do not cancel (their sum fixes the declination
// axis's index error, poorly near zero). On an alt-azimuth mount they are
// apart in azimuth, as the mount's own pair rating asks.
constexpr double kPairNearest = 30;
constexpr double kPairFurthest = 150;
constexpr double kPairHourAngle = 25;
constexpr double kPairDeclinationSum = 15;
constexpr double kPairAzimuth = 60;

constexpr size_t kTourLength = 4;
constexpr double kTourSpread = 20;  // degrees between tour stars, while enough are up

struct Limits {
  Limits(double highestDegrees, double polarDegrees)
      : sinLowest(std::sin(Radians(kLowest))),
        sinHighest(std::sin(Radians(highestDegrees))),
        polar(Radians(polarDegrees)) {}
  double sinLowest;  // altitudes, as sines
  double sinHighest;
  double polar;  // equatorial mounts: largest |declination|
};

// A star followed across the span: what the choice compares, worked out once.
struct Followed {
  const DemoStar* star;
  double x, y, z;     // direction in the hour angle and declination frame
  double azimuth;     // at the start
  double lowest;      // sine of the lowest altitude over the span's samples
  double highest;     // sine of the highest
  bool keepsItsSide;  // never within the margin of the meridian, above or below the pole
};

Followed Follow(const DemoStar& s, double latitude) {
  const double h = s.place.hourAngle;
  const double d = s.place.declination;
  Followed f{&s,
             std::cos(d) * std::cos(h),
             std::cos(d) * std::sin(h),
             std::sin(d),
             HorizontalOf(h, d, latitude).azimuth,
             2,
             -2,
             true};
  const double a = std::sin(latitude) * std::sin(d);
  const double b = std::cos(latitude) * std::cos(d);
  const double margin = Radians(kMeridianMargin);
  for (int k = 0; k < kSamples; ++k) {
    const double ha = WrapPi(h + kSiderealRate * kSpanSeconds * k / (kSamples - 1));
    const double sinAltitude = a + b * std::cos(ha);
    f.lowest = std::fmin(f.lowest, sinAltitude);
    f.highest = std::fmax(f.highest, sinAltitude);
    f.keepsItsSide = f.keepsItsSide && (ha > 0) == (h > 0) && std::fabs(ha) >= margin &&
                     kPi - std::fabs(ha) >= margin;
  }
  return f;
}

bool Usable(const Followed& f, bool equatorial, const Limits& limits) {
  if (f.lowest < limits.sinLowest || f.highest > limits.sinHighest) return false;
  return !equatorial || (f.keepsItsSide && std::fabs(f.star->place.declination) <= limits.polar);
}

// Cosine of the angle between two followed stars.
double CosApart(const Followed& a, const Followed& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

bool SoundPair(const Followed& a, const Followed& b, bool equatorial) {
  // Nearest and furthest are symmetric about a right angle.
  static_assert(kPairNearest + kPairFurthest == 180);
  if (std::fabs(CosApart(a, b)) > std::cos(Radians(kPairNearest))) return false;
  if (!equatorial) return std::fabs(WrapPi(a.azimuth - b.azimuth)) >= Radians(kPairAzimuth);
  const LocalPlace& p = a.star->place;
  const LocalPlace& q = b.star->place;
  return (p.hourAngle > 0) == (q.hourAngle > 0) &&
         std::fabs(p.hourAngle - q.hourAngle) >= Radians(kPairHourAngle) &&
         std::fabs(p.declination + q.declination) >= Radians(kPairDeclinationSum);
}

}  // namespace

std::vector<DemoStar> StarsAt(const Observer& site, int64_t unixMillis) {
  std::vector<const CatalogueEntry*> entries;
  std::vector<CataloguePlace> places;
  for (const CatalogueEntry& e : Catalogue()) {
    if (std::string_view(e.kind) != "star") continue;
    NamedTarget t;
    t.entry = &e;
    entries.push_back(&e);
    places.push_back(t.PlaceAt(unixMillis));
  }
  const std::vector<LocalPlace> local = LocalOfAll(places, site, unixMillis);
  std::vector<DemoStar> stars;
  for (size_t i = 0; i < entries.size(); ++i) stars.push_back({entries[i], local[i]});
  return stars;
}

std::optional<DemoChoice> ChooseDemoStars(const std::vector<DemoStar>& stars, double latitude,
                                          bool equatorial) {
  const Limits alignment{equatorial ? kHighest : kHighestAltAzAlignment, kPolarAlignment};
  const Limits tour{kHighest, kPolarTour};
  std::vector<Followed> followed;
  std::vector<const Followed*> pairable;
  followed.reserve(stars.size());  // `pairable` points into it
  for (const DemoStar& s : stars) {
    const Followed f = Follow(s, latitude);
    const bool forAlignment = Usable(f, equatorial, alignment);
    if (!forAlignment && !Usable(f, equatorial, tour)) continue;
    followed.push_back(f);
    followed.back().azimuth =
        HorizontalOf(s.place.hourAngle, s.place.declination, latitude).azimuth;
    if (forAlignment) pairable.push_back(&followed.back());
  }
  // The pair nearest a right angle apart, brighter stars first: a magnitude
  // counts as much as 30 degrees of separation.
  const Followed* first = nullptr;
  const Followed* second = nullptr;
  double best = 0;
  for (size_t i = 0; i < pairable.size(); ++i) {
    const Followed& a = *pairable[i];
    for (size_t j = i + 1; j < pairable.size(); ++j) {
      const Followed& b = *pairable[j];
      if (!SoundPair(a, b, equatorial)) continue;
      const double score = -std::fabs(Degrees(std::acos(CosApart(a, b))) - 90) / 30 -
                           (a.star->entry->magnitude + b.star->entry->magnitude) / 2;
      if (first == nullptr || score > best) {
        best = score;
        first = &a;
        second = &b;
      }
    }
  }
  if (first == nullptr) return std::nullopt;

  // The brightest other stars, spread over the sky while enough are up.
  std::vector<const Followed*> tourStars;
  for (const bool spread : {true, false}) {
    for (const Followed& f : followed) {
      if (tourStars.size() == kTourLength) break;
      if (&f == first || &f == second || !Usable(f, equatorial, tour)) continue;
      bool taken = false;
      bool crowded = false;
      for (const Followed* t : tourStars) {
        taken = taken || t == &f;
        crowded = crowded || CosApart(*t, f) > std::cos(Radians(kTourSpread));
      }
      if (!taken && !(spread && crowded)) tourStars.push_back(&f);
    }
  }
  std::sort(tourStars.begin(), tourStars.end(), [](const Followed* a, const Followed* b) {
    return WrapTwoPi(a->azimuth) < WrapTwoPi(b->azimuth);
  });
  DemoChoice choice{*first->star, *second->star, {}};
  for (const Followed* f : tourStars) choice.tour.push_back(*f->star);
  return choice;
}

}  // namespace sidera::tool
