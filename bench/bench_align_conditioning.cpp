// How well a star alignment points across the sky as its stars close up.
//
// A mount with a known misalignment and axis-1 index error is "observed" on
// two (or three) stars with a centring error of kCentringArcmin in a random
// direction, the model is fitted, and the pointing error of the fitted
// model is measured over the sky (every direction whose true axis-1 angle
// lies within 70 degrees). For each separation of the stars the program
// prints the median and the 95th percentile, over many random pairs, of the
// worst pointing error on the sky, and how often the fit refused the pair.
// The refusal limit of the fits is chosen from these figures.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <random>
#include <vector>

#include "sidera/core/telescope_mount.h"
#include "tests/core_math/geometry.h"

namespace {

using namespace core_math_test;
using sidera::Matrix3;
using sidera::Vector3;

constexpr double kCentringArcmin = 2.0;
constexpr int kTrials = 300;

// A mount whose nominal model is the identity.
class BareMount : public sidera::TelescopeMount {
 public:
  BareMount() { mountType = 6; }
  int ResetAlignment() override {
    std::lock_guard<std::recursive_mutex> lock(modelMutex);
    sidera::SetDiagonal(skyToAxesMatrix, 1.0);
    sidera::SetDiagonal(axesToSkyMatrix, 1.0);
    return 0;
  }
};

struct Truth {
  Matrix3 rotation;
  double index;
};

// The readings of a star at sky direction `sky`, displaced on the sky by
// `errorRad` towards position angle `angle`.
AlignStar Observe(const Truth& t, const Vector3& sky, double errorRad, double angle) {
  const Vector3 a = Apply(t.rotation, sky);
  const double axis1 = Lat(a);
  return AlignStar{Lon(sky), Lat(sky), Lon(a) + errorRad * std::cos(angle) / std::cos(axis1),
                   axis1 - t.index + errorRad * std::sin(angle)};
}

// The direction at `distance` from `from` towards position angle `angle`.
Vector3 Offset(const Vector3& from, double distance, double angle) {
  const double lon = Lon(from), lat = Lat(from);
  const Vector3 east{-std::sin(lon), std::cos(lon), 0.0};
  const Vector3 north{-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon),
                      std::cos(lat)};
  const double c = std::cos(distance), s = std::sin(distance);
  return {c * from.x + s * (std::cos(angle) * east.x + std::sin(angle) * north.x),
          c * from.y + s * (std::cos(angle) * east.y + std::sin(angle) * north.y),
          c * from.z + s * (std::cos(angle) * east.z + std::sin(angle) * north.z)};
}

double Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Worst angle on the sky between where the model points and where the
// mount's axes really are, over a grid of directions.
double WorstPointingError(BareMount& mount, const Truth& t) {
  double worst = 0.0;
  for (double h = -kPi; h < kPi; h += Deg(10)) {
    for (double d = -Deg(80); d <= Deg(80); d += Deg(10)) {
      const Vector3 a = Apply(t.rotation, Dir(h, d));
      if (std::fabs(Lat(a)) > Deg(70)) continue;
      SkyPoint sky{h, d};
      AxisPair model{};
      (void)mount.SkyToAxes(sky, model, 1);
      const double error =
          std::acos(std::clamp(Dot(Dir(model.axis0, model.axis1 + t.index), a), -1.0, 1.0));
      worst = std::max(worst, error);
    }
  }
  return worst;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

struct Row {
  double median, p95;
  int refused;
};

template <typename Fit>
Row Measure(std::mt19937& rng, Fit fit) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::vector<double> errors;
  int refused = 0;
  for (int i = 0; i < kTrials; ++i) {
    const Truth t{Rotation(unit(rng), unit(rng), unit(rng), Deg(5) * unit(rng)),
                  Deg(0.5) * unit(rng)};
    BareMount mount;
    if (!fit(mount, t, rng)) {
      ++refused;
      continue;
    }
    errors.push_back(WorstPointingError(mount, t) * 180.0 / kPi);
  }
  return {Percentile(errors, 0.5), Percentile(errors, 0.95), refused};
}

}  // namespace

int main() {
  std::mt19937 rng(20240501);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const double centring = kCentringArcmin * kArcMinute;

  std::printf("Two-star fit, centring error %.1f arc-minutes, %d random pairs per row\n",
              kCentringArcmin, kTrials);
  std::printf("separation(deg)  worst error on the sky (deg): median    95%%   refused\n");
  for (double sep : {0.05, 0.2,  0.5,  1.0,  2.0,   3.0,   5.0,   8.0,   10.0,  15.0,
                     20.0, 30.0, 60.0, 90.0, 120.0, 150.0, 165.0, 172.0, 175.0, 178.0}) {
    const Row row = Measure(rng, [&](BareMount& mount, const Truth& t, std::mt19937& r) {
      const Vector3 v1 = Dir(kPi * unit(r), Deg(50) * unit(r));
      const Vector3 v2 = Offset(v1, Deg(sep), kPi * unit(r));
      return mount.AlignTwoStars(Observe(t, v1, centring, kPi * unit(r)),
                                 Observe(t, v2, centring, kPi * unit(r))) == 0;
    });
    std::printf("%10.2f %38.3f %7.3f %7d\n", sep, row.median, row.p95, row.refused);
  }

  std::printf(
      "\nThree-star fit: stars 1 and 2 are 90 deg apart, star 3 lies off their great\n"
      "circle by the angle below (centring error %.1f arc-minutes)\n",
      kCentringArcmin);
  std::printf("off the circle(deg)  worst error on the sky (deg): median    95%%   refused\n");
  for (double off : {0.05, 0.2, 0.5, 1.0, 2.0, 3.0, 5.0, 8.0, 10.0, 20.0, 45.0}) {
    const Row row = Measure(rng, [&](BareMount& mount, const Truth& t, std::mt19937& r) {
      const Vector3 v1 = Dir(kPi * unit(r), Deg(40) * unit(r));
      const double heading = kPi * unit(r);
      const Vector3 v2 = Offset(v1, Deg(90), heading);
      const Vector3 mid = Offset(v1, Deg(45), heading);
      const Vector3 v3 = Offset(mid, Deg(off), heading + kPi / 2);
      return mount.AlignThreeStars(Observe(t, v1, centring, kPi * unit(r)),
                                   Observe(t, v2, centring, kPi * unit(r)),
                                   Observe(t, v3, centring, kPi * unit(r))) == 0;
    });
    std::printf("%12.2f %41.3f %7.3f %7d\n", off, row.median, row.p95, row.refused);
  }
  return 0;
}
