// How well a star alignment points across the sky as its stars close up.
//
// A mount with a random misalignment (up to 5 degrees) and axis-1 index
// error (up to 0.5 degrees) is "observed" on two stars a given angle apart,
// or on three stars of which the third lies a given angle off the great
// circle through the other two, each with a centring error of 2 arc-minutes
// in a random direction. The fitted model's worst pointing error over the sky
// (every direction whose true axis-1 angle lies within 70 degrees) is
// printed as the median over random configurations, with how many fits were
// refused. The alignment's refusal limit is chosen from these figures.
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

class BareMount : public sidera::TelescopeMount {  // nominal model: identity
 public:
  int ResetAlignment() override {
    std::lock_guard<std::recursive_mutex> lock(modelMutex);
    sidera::SetDiagonal(skyToAxesMatrix, 1.0);
    sidera::SetDiagonal(axesToSkyMatrix, 1.0);
    return 0;
  }
};

std::mt19937 g_rng(20240501);
double Uniform() { return std::uniform_real_distribution<double>(-1.0, 1.0)(g_rng); }
Matrix3 RandomRotation(double maxAngle) {
  return Rotation(Uniform(), Uniform(), Uniform(), maxAngle * Uniform());
}

// Readings of the star at `sky` on a mount with rotation `r` and index
// error `index`, centred 2 arc-minutes off in a random direction.
AlignStar Observe(const Matrix3& r, double index, const Vector3& sky) {
  const Vector3 a = Apply(r, sky);
  const double error = 2 * kArcMinute, angle = kPi * Uniform();
  return AlignStar{Lon(sky), Lat(sky), Lon(a) + error * std::cos(angle) / std::cos(Lat(a)),
                   Lat(a) - index + error * std::sin(angle)};
}

// Median over 300 configurations of the worst pointing error (degrees), and
// the number of refused fits. `place(q, i)` gives star i of a configuration
// turned by the random rotation q.
template <typename Place>
void Row(double parameter, int stars, Place place) {
  std::vector<double> worst;
  int refused = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const Matrix3 r = RandomRotation(Deg(5)), q = RandomRotation(kPi);
    const double index = Deg(0.5) * Uniform();
    AlignStar s[3];
    for (int i = 0; i < stars; ++i) s[i] = Observe(r, index, place(q, i));
    BareMount mount;
    if ((stars == 2 ? mount.AlignTwoStars(s[0], s[1]) : mount.AlignThreeStars(s[0], s[1], s[2])) !=
        0) {
      ++refused;
      continue;
    }
    double w = 0.0;
    for (double h = -kPi; h < kPi; h += Deg(10)) {
      for (double d = -Deg(80); d <= Deg(80); d += Deg(10)) {
        const Vector3 a = Apply(r, Dir(h, d));
        if (std::fabs(Lat(a)) > Deg(70)) continue;
        SkyPoint sky{h, d};
        AxisPair m{};
        (void)mount.SkyToAxes(sky, m, 1);
        const Vector3 got = Dir(m.axis0, m.axis1 + index);
        w = std::max(w, std::acos(std::clamp(got.x * a.x + got.y * a.y + got.z * a.z, -1.0, 1.0)));
      }
    }
    worst.push_back(w * 180.0 / kPi);
  }
  std::sort(worst.begin(), worst.end());
  std::printf("%10.2f %12.3f %9d\n", parameter, worst.empty() ? NAN : worst[worst.size() / 2],
              refused);
}

}  // namespace

int main() {
  std::printf("Two stars, 2' centring error\nseparation  median worst error (deg)  refused\n");
  for (double sep : {0.05, 0.2, 1.0, 2.0, 3.0, 4.9, 5.1, 10.0, 20.0, 30.0, 60.0, 90.0, 150.0, 170.0,
                     174.9, 175.1, 178.0}) {
    Row(sep, 2, [&](const Matrix3& q, int i) { return Apply(q, Dir(i * Deg(sep), 0)); });
  }
  std::printf(
      "\nThree stars (1 and 2 90 deg apart), 2' centring error\n"
      "star 3 off their circle (deg)  median worst error (deg)  refused\n");
  for (double off : {0.2, 1.0, 2.0, 4.9, 5.1, 10.0, 20.0, 45.0}) {
    Row(off, 3, [&](const Matrix3& q, int i) {
      return Apply(q, i < 2 ? Dir(i * Deg(90), 0) : Dir(Deg(45), Deg(off)));
    });
  }
  return 0;
}
