// How well the many-star pointing model points, on the simulators with
// mechanical errors (SIDERA_SIM_MECHANICS: a few arc-minutes a term, and a
// 3" periodic error the model does not have).
//
// For each kind: stars at random above 20 degrees are centred with a
// centring error in a random direction (3" RMS a coordinate for a plate
// solve, 2' for an eye at an eyepiece), the model is fitted, and the RMS
// of the true pointing error (where the tube points against the target)
// over 100 random targets above 20 degrees is taken; the median over the
// trials is printed. Beside it the three-star alignment on three of the
// same stars (the widest-spread three), and the terms the 20-star fit
// recovered against those injected.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "sidera/core/alignment_stars.h"
#include "sidera/sim/alt_az_simulator.h"
#include "sidera/sim/equatorial_simulator.h"

namespace {

using namespace sidera;

constexpr double kPiHere = 3.141592653589793;
constexpr double kArcsec = kPiHere / 648000.0;
constexpr double kLatitude = 40.0 * kPiHere / 180.0;
constexpr int kTrials = 9;
const char* const kMechanics = "ih=600,id=-300,ch=180,np=-120,ma=240,me=-200,tf=150,daf=90,pe=3";

double Altitude(const SkyPoint& p) {
  return std::asin(std::sin(kLatitude) * std::sin(p.declination) +
                   std::cos(kLatitude) * std::cos(p.declination) * std::cos(p.hourAngle));
}

std::vector<SkyPoint> SkyAbove(std::mt19937& random, int count) {
  std::uniform_real_distribution<double> h(-kPiHere, kPiHere), z(-1.0, 1.0);
  std::vector<SkyPoint> out;
  while (static_cast<int>(out.size()) < count) {
    const SkyPoint p{h(random), std::asin(z(random))};
    const double alt = Altitude(p);
    if (alt < 20.0 * kPiHere / 180.0 || alt > 85.0 * kPiHere / 180.0) continue;
    if (std::fabs(p.declination) > 80.0 * kPiHere / 180.0) continue;
    out.push_back(p);
  }
  return out;
}

double Separation(const SkyPoint& a, const SkyPoint& b) {
  const double c =
      std::sin(a.declination) * std::sin(b.declination) +
      std::cos(a.declination) * std::cos(b.declination) * std::cos(a.hourAngle - b.hourAngle);
  return std::acos(std::max(-1.0, std::min(1.0, c)));
}

// A simulator of either kind with the mechanics, and what it needs here.
struct Rig {
  explicit Rig(bool equatorial) {
    setenv("SIDERA_SIM_MECHANICS", kMechanics, 1);
    if (equatorial) {
      eq = std::make_unique<EquatorialSimulator>();
    } else {
      altaz = std::make_unique<AltAzSimulator>();
    }
    unsetenv("SIDERA_SIM_MECHANICS");
    (void)Mount().SetSite(kLatitude, 0.0);
  }
  ~Rig() { Mount().Shutdown(); }
  TelescopeMount& Mount() { return eq ? static_cast<TelescopeMount&>(*eq) : *altaz; }
  AxisPair Centred(const SkyPoint& s) {
    return eq ? eq->CentredReadings(s) : altaz->CentredReadings(s);
  }
  SkyPoint Truth(const AxisPair& a) {
    return eq ? eq->TruePointing(a.axis0, a.axis1) : altaz->TruePointing(a.axis0, a.axis1);
  }
  // RMS over `targets` of the true pointing error of the current model.
  double Rms(const std::vector<SkyPoint>& targets) {
    double sum = 0.0;
    for (const SkyPoint& t : targets) {
      SkyPoint p = t;
      AxisPair axes{};
      (void)Mount().SkyToAxes(p, axes, 1);
      const double e = Separation(Truth(axes), t);
      sum += e * e;
    }
    return std::sqrt(sum / targets.size());
  }
  std::unique_ptr<EquatorialSimulator> eq;
  std::unique_ptr<AltAzSimulator> altaz;
};

std::vector<AlignStar> Observe(Rig& rig, const std::vector<SkyPoint>& sky, double noise,
                               std::mt19937& random) {
  std::normal_distribution<double> n(0.0, noise);
  std::vector<AlignStar> out;
  for (const SkyPoint& s : sky) {
    const AxisPair r = rig.Centred(s);
    out.push_back(AlignStar{s.hourAngle, s.declination, r.axis0 + n(random) / std::cos(r.axis1),
                            r.axis1 + n(random)});
  }
  return out;
}

// The three of `stars` whose smallest pairwise separation is largest.
std::vector<AlignStar> WidestThree(const std::vector<AlignStar>& stars) {
  double best = -1.0;
  std::vector<AlignStar> out;
  const auto sky = [&](int i) { return SkyPoint{stars[i].hourAngle, stars[i].declination}; };
  const int n = static_cast<int>(stars.size());
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      for (int k = j + 1; k < n; ++k) {
        const double m = std::min(
            {Separation(sky(i), sky(j)), Separation(sky(i), sky(k)), Separation(sky(j), sky(k))});
        if (m > best) {
          best = m;
          out = {stars[i], stars[j], stars[k]};
        }
      }
  return out;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Run(bool equatorial) {
  const char* kind = equatorial ? "equatorial (model 6)" : "alt-azimuth (model 7)";
  std::printf("\n%s, latitude 40, mechanics %s (arc-seconds)\n", kind, kMechanics);
  // Plate-solve centring, 20 stars against three.
  std::vector<double> many, three;
  int refusedThree = 0;
  AlignmentBook book;
  for (int trial = 0; trial < kTrials; ++trial) {
    std::mt19937 random(1000 + trial);
    Rig rig(equatorial);
    const auto targets = SkyAbove(random, 100);
    const auto stars = Observe(rig, SkyAbove(random, 20), 3.0 * kArcsec, random);
    if (rig.Mount().AlignStars(stars.data(), 20) == 0) {
      many.push_back(rig.Rms(targets));
      if (trial == 0) book = rig.Mount().Model().Copy().book;
    }
    const auto t = WidestThree(stars);
    if (rig.Mount().AlignThreeStars(t[0], t[1], t[2]) == 0) {
      three.push_back(rig.Rms(targets));
    } else {
      ++refusedThree;
    }
  }
  std::printf(
      "  3\" centring: RMS over 100 targets, median of %d trials: 20 stars %.2f\" (%zu "
      "fitted), three stars %.1f\" (%d refused)\n",
      kTrials, Median(many) / kArcsec, many.size(), Median(three) / kArcsec, refusedThree);

  std::printf("  recovered (20 stars, 3\", first trial) against injected, arc-seconds:\n");
  const char* names[] = {"axis-0 index (turn)", "pole tilt x", "pole tilt y",
                         "axis-1 index",        "collimation", "non-perpendicularity",
                         "tube flexure",        "axis flexure"};
  Rig probe(equatorial);
  const Mechanics m = equatorial ? probe.eq->MechanicsNow() : probe.altaz->MechanicsNow();
  const double injected[] = {m.axis0Index,  m.poleTiltX,           m.poleTiltY,   m.axis1Index,
                             m.collimation, m.nonPerpendicularity, m.tubeFlexure, m.axisFlexure};
  for (int t = 0; t < (equatorial ? kTermCount : kTermCount - 1); ++t) {
    std::printf("    %-22s %9.1f %s   injected %8.1f\n", names[t], book.terms[t] / kArcsec,
                book.fitted[t] ? "fitted" : "left  ", injected[t] / kArcsec);
  }

  // Eyepiece centring: the curve.
  std::printf("  2' centring: RMS (median of %d trials) by number of stars\n", kTrials);
  for (int count : {3, 4, 5, 6, 8, 10, 15, 20, 30, 40, 50}) {
    std::vector<double> rms;
    for (int trial = 0; trial < kTrials; ++trial) {
      std::mt19937 random(5000 + trial);
      Rig rig(equatorial);
      const auto targets = SkyAbove(random, 100);
      const auto stars = Observe(rig, SkyAbove(random, count), 120.0 * kArcsec, random);
      if (rig.Mount().AlignStars(stars.data(), count) == 0) rms.push_back(rig.Rms(targets));
    }
    if (rms.empty()) {
      std::printf("    %2d stars: every fit refused\n", count);
    } else {
      std::printf("    %2d stars: %7.1f\"  (%zu of %d fitted)\n", count, Median(rms) / kArcsec,
                  rms.size(), kTrials);
    }
  }
}

}  // namespace

int main() {
  Run(true);
  Run(false);
  return 0;
}
