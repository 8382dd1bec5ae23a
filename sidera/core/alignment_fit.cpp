// The error-term fits of the two- and three-star alignments: the index error
// from the separation of two stars, and the index and collimation errors
// from the three separations of three stars.
#include "sidera/core/alignment_fit.h"

#include <algorithm>
#include <cmath>

#include "sidera/core/angles.h"
#include "sidera/core/fp_guard.h"
#include "sidera/core/vector_matrix.h"

namespace sidera {

namespace {

// Corrected readings whose separations still differ this much from the
// sky's are not these stars (a wrong star centred, or a mount error the
// model does not have): the fit is refused.
constexpr double kMaxMismatch = kPi / 180.0;

// Two stars without an exact fit: how well a star is centred, and how far the
// nominal model's index estimate may be off. Their ratio decides how far the
// fit leaves the estimate for a given improvement of the separation.
constexpr double kCentring = kPi / 10800.0;      // one arc-minute
constexpr double kEstimateSpread = kPi / 180.0;  // one degree
constexpr int kGoldenSteps = 60;                 // narrows the search to 1e-13 of its width

// Iterations end after a step this small (radians), or after this many.
constexpr double kDone = 1e-12;
constexpr int kMaxIterations = 100;

// Three stars: least squares by Levenberg-Marquardt.
constexpr double kDerivativeStep = 1e-7;  // central differences, radians
constexpr double kFirstDamping = 1e-3;
constexpr double kLeastDamping = 1e-12;
constexpr double kMostDamping = 1e10;  // no step lowers the mismatch: at its minimum
// Keeps the damped system solvable when a term does not change any
// separation (the stars' levers are equal): that term then stays at its
// start value.
constexpr double kDampingFloor = 1e-12;
// A term whose squared derivative is below this fraction of the other's
// changes no separation beyond rounding.
constexpr double kNoLever = 1e-12;

// Cosine of the angle between the sky positions of two stars.
double CosSkySeparation(const AlignStar& a, const AlignStar& b) {
  return std::sin(a.declination) * std::sin(b.declination) +
         std::cos(a.declination) * std::cos(b.declination) * std::cos(a.hourAngle - b.hourAngle);
}

// Angle between two directions given as (longitude, latitude), accurate at
// every size (atan2 of the cross and dot products).
double Separation(double lon1, double lat1, double lon2, double lat2) {
  const Vector3 u = SphericalToVector(lon1, lat1);
  const Vector3 v = SphericalToVector(lon2, lat2);
  return std::atan2(Length(CrossProduct(u, v)), u.x * v.x + u.y * v.y + u.z * v.z);
}

double SkySeparation(const AlignStar& a, const AlignStar& b) {
  return Separation(a.hourAngle, a.declination, b.hourAngle, b.declination);
}

double ReadingSeparation(const AxisPair& a, const AxisPair& b) {
  return Separation(a.axis0, a.axis1, b.axis0, b.axis1);
}

// Minimum of `f` between `a` and `b` by golden-section search.
template <typename F>
double GoldenMinimum(double a, double b, const F& f) {
  const double r = (std::sqrt(5.0) - 1.0) / 2.0;
  double lo = std::min(a, b);
  double hi = std::max(a, b);
  for (int i = 0; i < kGoldenSteps; ++i) {
    const double m1 = hi - r * (hi - lo);
    const double m2 = lo + r * (hi - lo);
    if (f(m1) <= f(m2)) {
      hi = m2;
    } else {
      lo = m1;
    }
  }
  return (lo + hi) / 2.0;
}

}  // namespace

AxisPair CorrectedReading(const AlignStar& s, const ErrorTerms& terms) {
  const double axis1 = s.axis1 + terms.index;
  const double axis0 =
      s.axis0 + terms.collimation / std::cos(axis1) + terms.nonPerpendicularity * std::tan(axis1);
  return AxisPair{axis0, axis1};
}

bool FitIndexError(const AlignStar& s1, const AlignStar& s2, ErrorTerms& terms) {
  FpGuard guard;
  // D depends on the index error only through the collimation and
  // non-perpendicularity terms; without them one step is exact.
  const bool dependsOnIndex = terms.collimation != 0.0 || terms.nonPerpendicularity != 0.0;
  const double cosTheta = CosSkySeparation(s1, s2);
  double x = terms.index;
  for (int step = 0;; ++step) {
    const double a = s1.axis1 + x;
    const double b = s2.axis1 + x;
    const double h1 =
        s1.axis0 + terms.collimation / std::cos(a) + terms.nonPerpendicularity * std::tan(a);
    const double h2 =
        s2.axis0 + terms.collimation / std::cos(b) + terms.nonPerpendicularity * std::tan(b);
    const double d = h1 - h2;
    const double cosD = std::cos(d);
    const double sum = NormalizeAngle(a + b);
    if (guard.Faulted({a, b, cosTheta, h1, h2, d, cosD, sum})) return false;

    // With A and B the corrected axis-1 angles and D the axis-0
    // difference, the cosine rule gives the readings' separation as
    //   cos(sep) = (cos(A - B) (1 + cos D) + cos(A + B) (cos D - 1)) / 2.
    // The index error moves A + B, so the separations agree for
    // cos(A + B) = v below; of its two roots the one on the side of the
    // current A + B is the nearer.
    double v = 0.0;
    if (cosD != 1.0) {
      v = (2.0 * cosTheta - (cosD + 1.0) * std::cos(a - b)) / (cosD - 1.0);
      if (guard.Faulted({v})) return false;
      if (std::fabs(v) <= 1.0) {
        const double t = sum >= 0.0 ? std::acos(v) : -std::acos(v);
        const double next = x + (t - sum) / 2.0;
        if (guard.Faulted({t, next})) return false;
        const bool done = !dependsOnIndex || std::fabs(next - x) < kDone || step == kMaxIterations;
        x = next;
        if (!done) continue;
        terms.index = x;
        return true;
      }
    }

    // No index error makes them agree. The closest agreement lies towards
    // the end of cos(A + B) that v points to (A + B = 0 or a half turn),
    // but the pair may barely see the index error (D near 0: the
    // separation hardly changes with it), so the search weighs the
    // remaining mismatch, in centring errors, against the move from the
    // estimate, in its spread.
    const double alpha = std::cos(a - b) * (1.0 + cosD) / 2.0;
    const double beta = (cosD - 1.0) / 2.0;
    const double sinTheta = std::sqrt(std::max(0.0, 1.0 - cosTheta * cosTheta));
    const double end = v > 1.0 ? 0.0 : (sum >= 0.0 ? kPi : -kPi);
    const auto cost = [&](double s) {
      const double mismatch = (alpha + beta * std::cos(s) - cosTheta) / (sinTheta * kCentring);
      const double move = (s - sum) / (2.0 * kEstimateSpread);
      return mismatch * mismatch + move * move;
    };
    const double best = cosD != 1.0 ? GoldenMinimum(sum, end, cost) : sum;
    const ErrorTerms fitted{x + (best - sum) / 2.0, terms.collimation, terms.nonPerpendicularity};
    const double mismatch =
        ReadingSeparation(CorrectedReading(s1, fitted), CorrectedReading(s2, fitted)) -
        SkySeparation(s1, s2);
    if (guard.Faulted({alpha, beta, sinTheta, best, fitted.index, mismatch})) return false;
    if (std::fabs(mismatch) > kMaxMismatch) return false;
    terms.index = fitted.index;
    return true;
  }
}

bool FitIndexAndCollimation(const AlignStar& s1, const AlignStar& s2, const AlignStar& s3,
                            ErrorTerms& terms) {
  FpGuard guard;
  const AlignStar* stars[3] = {&s1, &s2, &s3};
  constexpr int kPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  double sky[3];
  for (int k = 0; k < 3; ++k) sky[k] = SkySeparation(*stars[kPairs[k][0]], *stars[kPairs[k][1]]);

  // The three separation mismatches for index x and collimation y, and the
  // sum of their squares.
  const double np = terms.nonPerpendicularity;
  const auto mismatches = [&](double x, double y, double r[3]) {
    const ErrorTerms t{x, y, np};
    AxisPair c[3];
    for (int i = 0; i < 3; ++i) c[i] = CorrectedReading(*stars[i], t);
    double sum = 0.0;
    for (int k = 0; k < 3; ++k) {
      r[k] = ReadingSeparation(c[kPairs[k][0]], c[kPairs[k][1]]) - sky[k];
      sum += r[k] * r[k];
    }
    return sum;
  };

  double x = terms.index;
  double y = terms.collimation;
  double r[3];
  double cost = mismatches(x, y, r);
  double damping = kFirstDamping;
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    // The mismatches' derivatives by central differences, and the normal
    // equations of the linearised problem.
    double plus[3];
    double minus[3];
    double jx[3];
    double jy[3];
    (void)mismatches(x + kDerivativeStep, y, plus);
    (void)mismatches(x - kDerivativeStep, y, minus);
    for (int k = 0; k < 3; ++k) jx[k] = (plus[k] - minus[k]) / (2.0 * kDerivativeStep);
    (void)mismatches(x, y + kDerivativeStep, plus);
    (void)mismatches(x, y - kDerivativeStep, minus);
    for (int k = 0; k < 3; ++k) jy[k] = (plus[k] - minus[k]) / (2.0 * kDerivativeStep);
    double hxx = 0.0, hxy = 0.0, hyy = 0.0, gx = 0.0, gy = 0.0;
    for (int k = 0; k < 3; ++k) {
      hxx += jx[k] * jx[k];
      hxy += jx[k] * jy[k];
      hyy += jy[k] * jy[k];
      gx += jx[k] * r[k];
      gy += jy[k] * r[k];
    }
    // The damped step; more damping (a shorter step, nearer the gradient)
    // until it lowers the mismatch.
    bool improved = false;
    double dx = 0.0;
    double dy = 0.0;
    while (!improved && damping <= kMostDamping) {
      const double axx = hxx + damping * (hxx + kDampingFloor);
      const double ayy = hyy + damping * (hyy + kDampingFloor);
      if (hyy <= kNoLever * hxx) {
        // The collimation changes no separation (the stars' levers are
        // equal): what its derivative shows is rounding, and a step on it
        // would be as large as it is meaningless. It keeps its value.
        dx = -gx / axx;
        dy = 0.0;
      } else if (hxx <= kNoLever * hyy) {
        dx = 0.0;
        dy = -gy / ayy;
      } else {
        const double det = axx * ayy - hxy * hxy;
        dx = -(ayy * gx - hxy * gy) / det;
        dy = -(axx * gy - hxy * gx) / det;
      }
      double trial[3];
      const double trialCost = mismatches(x + dx, y + dy, trial);
      if (guard.Faulted({dx, dy, trialCost})) return false;
      if (trialCost <= cost) {
        improved = true;
        x += dx;
        y += dy;
        cost = trialCost;
        std::copy(trial, trial + 3, r);
        damping = std::max(damping / 10.0, kLeastDamping);
      } else {
        damping *= 10.0;
      }
    }
    if (!improved) break;  // no step lowers the mismatch: its minimum
    if (std::fabs(dx) < kDone && std::fabs(dy) < kDone) break;
  }
  if (guard.Faulted({x, y, cost})) return false;
  if (std::sqrt(cost / 3.0) > kMaxMismatch) return false;
  terms.index = x;
  terms.collimation = y;
  return true;
}

}  // namespace sidera
