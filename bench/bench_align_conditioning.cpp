// How well a star alignment points across the sky, as its stars close up and
// as the mount's own errors grow.
//
// A mount with a random misalignment (up to 5 degrees) and mount errors is
// "observed" on two stars a given angle apart, on three stars of which the
// third lies a given angle off the great circle through the other two, or
// on three random stars (every pair and the third star's distance from the
// circle at least 20 degrees). Each configuration is run under four sets of
// errors: index error up to 0.5 degrees with a centring error of 2
// arc-minutes in a random direction; the same without centring error (exact
// measurements); index and collimation errors up to 0.3 degrees each, with
// the 2' centring error and without. For each row: the median and 90th percentile over
// 300 random configurations of the fitted model's worst pointing error over
// the sky (every direction whose true axis-1 angle lies within 70 degrees),
// how many fits were refused, and how many fits were accepted with a worst
// error above 1 degree (a wrong solution). Every row draws its own random
// numbers, so rows can be compared between versions of the library. The
// alignment's refusal limit was chosen from these figures.
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
    Matrix3 identity;
    sidera::SetDiagonal(identity, 1.0);
    return Model().SetNominal(identity);
  }
};

struct Errors {
  const char* name;
  double index;        // largest index error
  double collimation;  // largest collimation error
  double centring;     // centring error, in a random direction
};

const Errors kErrorSets[] = {
    {"index up to 0.5 deg, 2' centring error", Deg(0.5), 0.0, 2 * kArcMinute},
    {"index up to 0.5 deg, exact measurements", Deg(0.5), 0.0, 0.0},
    {"index and collimation up to 0.3 deg, 2' centring error", Deg(0.3), Deg(0.3), 2 * kArcMinute},
    {"index and collimation up to 0.3 deg, exact measurements", Deg(0.3), Deg(0.3), 0.0},
};

class Trials {
 public:
  explicit Trials(unsigned seed) : rng_(seed) {}
  double Uniform() { return std::uniform_real_distribution<double>(-1.0, 1.0)(rng_); }
  Matrix3 RandomRotation(double maxAngle) {
    return Rotation(Uniform(), Uniform(), Uniform(), maxAngle * Uniform());
  }

 private:
  std::mt19937 rng_;
};

// The mount's own errors for one configuration.
struct Mount {
  Matrix3 r;
  double index;
  double collimation;
};

// Readings of the star at `sky`, centred `centring` off in a random direction.
AlignStar Observe(Trials& t, const Mount& m, double centring, const Vector3& sky) {
  const Vector3 a = Apply(m.r, sky);
  const double angle = kPi * t.Uniform();
  return AlignStar{
      Lon(sky), Lat(sky),
      Lon(a) - m.collimation / std::cos(Lat(a)) + centring * std::cos(angle) / std::cos(Lat(a)),
      Lat(a) - m.index + centring * std::sin(angle)};
}

// Worst angle (radians) between where the fitted model sends the mount and
// where the sky position really is.
double WorstError(BareMount& fitted, const Mount& m) {
  double w = 0.0;
  for (double h = -kPi; h < kPi; h += Deg(10)) {
    for (double d = -Deg(80); d <= Deg(80); d += Deg(10)) {
      const Vector3 a = Apply(m.r, Dir(h, d));
      if (std::fabs(Lat(a)) > Deg(70)) continue;
      SkyPoint sky{h, d};
      AxisPair reading{};
      (void)fitted.SkyToAxes(sky, reading, 1);
      const double lat = reading.axis1 + m.index;
      const Vector3 got = Dir(reading.axis0 + m.collimation / std::cos(lat), lat);
      w = std::max(w, std::acos(std::clamp(got.x * a.x + got.y * a.y + got.z * a.z, -1.0, 1.0)));
    }
  }
  return w;
}

// One row: 300 configurations. `place(t, q, stars)` fills the stars' sky
// directions, turned by the random rotation q; it returns the star count.
template <typename Place>
void Row(unsigned seed, const char* label, const Errors& e, Place place) {
  Trials t(seed);
  std::vector<double> worst;
  int refused = 0;
  int wrong = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const Mount m{t.RandomRotation(Deg(5)), e.index * t.Uniform(), e.collimation * t.Uniform()};
    const Matrix3 q = t.RandomRotation(kPi);
    Vector3 sky[3];
    const int stars = place(t, q, sky);
    AlignStar s[3];
    for (int i = 0; i < stars; ++i) s[i] = Observe(t, m, e.centring, sky[i]);
    BareMount mount;
    if ((stars == 2 ? mount.AlignTwoStars(s[0], s[1]) : mount.AlignThreeStars(s[0], s[1], s[2])) !=
        0) {
      ++refused;
      continue;
    }
    worst.push_back(WorstError(mount, m) * 180.0 / kPi);
    if (worst.back() > 1.0) ++wrong;
  }
  std::sort(worst.begin(), worst.end());
  const auto at = [&worst](double f) {
    return worst.empty() ? NAN : worst[static_cast<size_t>(f * (worst.size() - 1))];
  };
  std::printf("%12s %10.3f %8.3f %8d %8d\n", label, at(0.5), at(0.9), refused, wrong);
}

// Three random directions: every pair at least 20 degrees apart and from
// being opposite, each at least 20 degrees off the circle of the other two.
void RandomSoundTriple(Trials& t, Vector3* v) {
  const double limit = std::sin(Deg(20));
  for (;;) {
    for (int i = 0; i < 3; ++i) v[i] = Apply(t.RandomRotation(kPi), Dir(0, 0));
    bool sound = true;
    for (int i = 0; i < 3; ++i) {
      const Vector3 &a = v[i], &b = v[(i + 1) % 3], &c = v[(i + 2) % 3];
      const Vector3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
      const double base = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
      const double volume = std::fabs(n.x * c.x + n.y * c.y + n.z * c.z);
      sound = sound && base >= limit && volume >= limit * base;
    }
    if (sound) return;
  }
}

}  // namespace

int main() {
  const char* header = "   median worst  p90 (deg)  refused  worst>1deg\n";
  unsigned set = 0;
  for (const Errors& e : kErrorSets) {
    ++set;
    std::printf("\n== %s ==\nTwo stars\n  separation%s", e.name, header);
    unsigned row = 0;
    for (double sep : {0.05, 0.2, 1.0, 2.0, 3.0, 4.9, 5.1, 10.0, 20.0, 30.0, 60.0, 90.0, 150.0,
                       170.0, 174.9, 175.1, 178.0}) {
      char label[32];
      std::snprintf(label, sizeof label, "%.2f", sep);
      Row(set * 1000 + ++row, label, e, [&](Trials&, const Matrix3& q, Vector3* v) {
        for (int i = 0; i < 2; ++i) v[i] = Apply(q, Dir(i * Deg(sep), 0));
        return 2;
      });
    }
    std::printf("Three stars (1 and 2 90 deg apart)\n  star 3 off%s", header);
    for (double off : {0.2, 1.0, 2.0, 4.9, 5.1, 10.0, 20.0, 45.0}) {
      char label[32];
      std::snprintf(label, sizeof label, "%.2f", off);
      Row(set * 1000 + ++row, label, e, [&](Trials&, const Matrix3& q, Vector3* v) {
        for (int i = 0; i < 3; ++i)
          v[i] = Apply(q, i < 2 ? Dir(i * Deg(90), 0) : Dir(Deg(45), Deg(off)));
        return 3;
      });
    }
    Row(set * 1000 + ++row, "random", e, [](Trials& t, const Matrix3&, Vector3* v) {
      RandomSoundTriple(t, v);
      return 3;
    });
  }
  return 0;
}
