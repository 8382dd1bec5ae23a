// The many-star least-squares fit (see the header).
#include "sidera/core/many_star_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sidera {

namespace {

constexpr double kDerivativeStep = 1e-6;  // radians; central differences
constexpr int kMaxIterations = 30;
constexpr double kDone = 1e-12;  // a step this small ends the iteration (radians)
constexpr int kJacobiSweeps = 50;
// Equations a fit leaves over its terms at least; a fit that judges a star
// leaves more, so that the others' spread means something.
constexpr int kSpare = 2;
constexpr int kJudgeSpare = 4;

// The residual vector (two entries a star) of the used stars under `p`.
void Residuals(const StarFitProblem& pr, const double* p, const std::vector<int>& used,
               std::vector<double>& out) {
  pr.setModel(p);
  out.clear();
  for (int i = 0; i < static_cast<int>(used.size()); ++i) {
    if (!used[i]) continue;
    const AxisPair r = pr.residual(i);
    out.push_back(r.axis0);
    out.push_back(r.axis1);
  }
}

double SumOfSquares(const std::vector<double>& r) {
  double s = 0.0;
  for (double x : r) s += x * x;
  return s;
}

// Columns of the Jacobian (derivative of the residuals by each term) at p,
// for the terms in `terms`.
std::vector<std::vector<double>> Jacobian(const StarFitProblem& pr, const double* p,
                                          const std::vector<int>& used,
                                          const std::vector<int>& terms) {
  std::vector<std::vector<double>> columns;
  std::vector<double> plus, minus;
  double q[kMaxTerms];
  for (int t : terms) {
    std::copy(p, p + pr.termCount, q);
    q[t] = p[t] + kDerivativeStep;
    Residuals(pr, q, used, plus);
    q[t] = p[t] - kDerivativeStep;
    Residuals(pr, q, used, minus);
    std::vector<double> c(plus.size());
    for (size_t k = 0; k < c.size(); ++k) c[k] = (plus[k] - minus[k]) / (2.0 * kDerivativeStep);
    columns.push_back(std::move(c));
  }
  return columns;
}

// Solves the symmetric positive definite system a x = b (n x n) by
// Cholesky; false when it is not positive definite.
bool SolveSymmetric(std::vector<double> a, std::vector<double>& b, int n) {
  for (int j = 0; j < n; ++j) {
    double d = a[j * n + j];
    for (int k = 0; k < j; ++k) d -= a[j * n + k] * a[j * n + k];
    if (!(d > 0.0)) return false;
    d = std::sqrt(d);
    a[j * n + j] = d;
    for (int i = j + 1; i < n; ++i) {
      double s = a[i * n + j];
      for (int k = 0; k < j; ++k) s -= a[i * n + k] * a[j * n + k];
      a[i * n + j] = s / d;
    }
  }
  for (int i = 0; i < n; ++i) {
    double s = b[i];
    for (int k = 0; k < i; ++k) s -= a[i * n + k] * b[k];
    b[i] = s / a[i * n + i];
  }
  for (int i = n - 1; i >= 0; --i) {
    double s = b[i];
    for (int k = i + 1; k < n; ++k) s -= a[k * n + i] * b[k];
    b[i] = s / a[i * n + i];
  }
  return true;
}

// The normal matrix of `columns`, each scaled to unit length.
std::vector<double> ScaledNormal(const std::vector<std::vector<double>>& columns) {
  const int n = static_cast<int>(columns.size());
  std::vector<double> norm(n);
  for (int i = 0; i < n; ++i) norm[i] = std::sqrt(SumOfSquares(columns[i]));
  std::vector<double> a(n * n);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      double s = 0.0;
      for (size_t k = 0; k < columns[i].size(); ++k) s += columns[i][k] * columns[j][k];
      const double scale = norm[i] * norm[j];
      a[i * n + j] = scale > 0.0 ? s / scale : 0.0;
    }
  }
  return a;
}

// The terms the used stars can fix, in order, leaving at least `spare`
// equations over them; empty when even the required ones cannot be fixed.
std::vector<int> ChooseTerms(const StarFitProblem& pr, const std::vector<int>& used, int spare) {
  const int equations = 2 * static_cast<int>(std::count(used.begin(), used.end(), 1));
  double zero[kMaxTerms] = {};
  std::vector<int> all(pr.termCount);
  for (int t = 0; t < pr.termCount; ++t) all[t] = t;
  const auto columns = Jacobian(pr, zero, used, all);
  std::vector<int> chosen;
  std::vector<std::vector<double>> chosenColumns;
  for (int t = 0; t < pr.termCount; ++t) {
    if (static_cast<int>(chosen.size()) + 1 > equations - spare) {
      if (t < pr.requiredTerms) return {};
      break;
    }
    chosenColumns.push_back(columns[t]);
    const auto a = ScaledNormal(chosenColumns);
    if (ConditionNumber(a.data(), static_cast<int>(chosenColumns.size())) <= kMaxCondition) {
      chosen.push_back(t);
    } else {
      if (t < pr.requiredTerms) return {};
      chosenColumns.pop_back();
    }
  }
  return chosen;
}

// Gauss-Newton with Levenberg-Marquardt damping over the terms in `terms`,
// from p = 0. False when it cannot make a step (a singular system).
bool Solve(const StarFitProblem& pr, const std::vector<int>& used, const std::vector<int>& terms,
           double* p) {
  std::fill(p, p + kMaxTerms, 0.0);
  const int n = static_cast<int>(terms.size());
  std::vector<double> r;
  Residuals(pr, p, used, r);
  double cost = SumOfSquares(r);
  double damping = 1e-6;
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    const auto columns = Jacobian(pr, p, used, terms);
    std::vector<double> normal(n * n), gradient(n);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        double s = 0.0;
        for (size_t k = 0; k < r.size(); ++k) s += columns[i][k] * columns[j][k];
        normal[i * n + j] = s;
      }
      double g = 0.0;
      for (size_t k = 0; k < r.size(); ++k) g += columns[i][k] * r[k];
      gradient[i] = -g;
    }
    bool improved = false;
    double largest = 0.0;
    while (!improved && damping < 1e6) {
      std::vector<double> a = normal;
      for (int i = 0; i < n; ++i) a[i * n + i] *= 1.0 + damping;
      std::vector<double> step = gradient;
      if (!SolveSymmetric(a, step, n)) return false;
      double q[kMaxTerms];
      std::copy(p, p + kMaxTerms, q);
      largest = 0.0;
      for (int i = 0; i < n; ++i) {
        q[terms[i]] += step[i];
        largest = std::max(largest, std::fabs(step[i]));
      }
      std::vector<double> trial;
      Residuals(pr, q, used, trial);
      const double trialCost = SumOfSquares(trial);
      if (std::isfinite(trialCost) && trialCost <= cost) {
        improved = true;
        std::copy(q, q + kMaxTerms, p);
        r = std::move(trial);
        cost = trialCost;
        damping = std::max(damping / 10.0, 1e-12);
      } else {
        damping *= 10.0;
      }
    }
    if (!improved || largest < kDone) break;
  }
  pr.setModel(p);
  return std::isfinite(cost);
}

// One fit of the used stars: terms, parameters, and every star's residual
// (used or not) on the sky.
struct Pass {
  bool ok = false;
  std::vector<int> terms;
  double p[kMaxTerms] = {};
  std::vector<double> residuals;
};

Pass FitUsed(const StarFitProblem& pr, const std::vector<int>& used, int spare = kSpare) {
  Pass pass;
  pass.terms = ChooseTerms(pr, used, spare);
  if (pass.terms.empty()) return pass;
  if (!Solve(pr, used, pass.terms, pass.p)) return pass;
  pr.setModel(pass.p);
  for (int i = 0; i < static_cast<int>(used.size()); ++i) {
    const AxisPair r = pr.residual(i);
    pass.residuals.push_back(std::hypot(r.axis0, r.axis1));
  }
  pass.ok = true;
  return pass;
}

int CountUsed(const std::vector<int>& used) {
  return static_cast<int>(std::count(used.begin(), used.end(), 1));
}

// A star judged by the others: the fit without it, its residual under that
// fit, the others' star RMS there (their residual sum of squares over their
// stars less half the terms, two equations a star), and the factor for
// their number.
struct Doubt {
  int star = -1;
  Pass without;
  double error = 0.0;
  double spread = 0.0;
  double factor = kOutlierFactor;  // how far above the spread it must lie
};

// The factor over the others' star RMS that a good star's residual exceeds
// only once in 1/kOutlierChance, for `freedom` equations less terms: the
// squared ratio follows Fisher's F with 2 and `freedom` degrees of freedom,
// whose quantile has a closed form; never below kOutlierFactor. Few stars
// judge a star loosely, so the factor grows (7.8 for 4, 5.2 for 6).
double OutlierFactor(double freedom) {
  const double f = freedom / 2.0 * (std::pow(kOutlierChance, -2.0 / freedom) - 1.0);
  return std::max(kOutlierFactor, std::sqrt(f));
}

Doubt Judge(const StarFitProblem& pr, const std::vector<int>& used, int star) {
  Doubt d;
  std::vector<int> rest = used;
  rest[star] = 0;
  // Judged by a fit with equations to spare; where the others are too few
  // for one, by the usual fit and the wrong-object rule alone.
  d.without = FitUsed(pr, rest, kJudgeSpare);
  const bool strict = d.without.ok;
  if (!strict) d.without = FitUsed(pr, rest);
  if (!d.without.ok) return d;  // the others cannot judge it
  double sum = 0.0;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i]) sum += d.without.residuals[i] * d.without.residuals[i];
  }
  const int freedom = 2 * CountUsed(rest) - static_cast<int>(d.without.terms.size());
  if (freedom <= 0) return d;
  d.star = star;
  d.error = d.without.residuals[star];
  d.spread = std::sqrt(2.0 * sum / freedom);
  d.factor = strict ? OutlierFactor(freedom) : std::numeric_limits<double>::infinity();
  return d;
}

// The used star to judge; star -1 when none can be. With few stars a star
// centred on the wrong object pulls a fit of many terms towards itself, so
// that a good star may show the largest residual and a fit without a good
// star may throw the left-out star far off: up to kJudgeEveryStar used
// stars the one whose absence lets the others fit best (the least spread)
// is judged. Beyond, where the others outweigh it, the one with the largest
// residual under the fit of all.
Doubt MostDoubtful(const StarFitProblem& pr, const std::vector<int>& used, const Pass& all) {
  const int count = static_cast<int>(used.size());
  if (CountUsed(used) > kJudgeEveryStar) {
    int worst = -1;
    for (int i = 0; i < count; ++i) {
      if (used[i] && (worst < 0 || all.residuals[i] > all.residuals[worst])) worst = i;
    }
    return Judge(pr, used, worst);
  }
  Doubt best;
  for (int i = 0; i < count; ++i) {
    if (!used[i]) continue;
    Doubt d = Judge(pr, used, i);
    if (d.star < 0) continue;
    if (best.star < 0 || d.spread < best.spread ||
        (d.spread == best.spread && d.error > best.error)) {
      best = std::move(d);
    }
  }
  return best;
}

}  // namespace

double ConditionNumber(const double* a, int n) {
  // Cyclic Jacobi rotations until the off-diagonal part vanishes.
  std::vector<double> m(a, a + n * n);
  for (int sweep = 0; sweep < kJacobiSweeps; ++sweep) {
    double off = 0.0;
    for (int i = 0; i < n; ++i) {
      for (int j = i + 1; j < n; ++j) off += m[i * n + j] * m[i * n + j];
    }
    if (off < 1e-30) break;
    for (int p = 0; p < n; ++p) {
      for (int q = p + 1; q < n; ++q) {
        const double apq = m[p * n + q];
        if (std::fabs(apq) < 1e-300) continue;
        const double theta = (m[q * n + q] - m[p * n + p]) / (2.0 * apq);
        const double t =
            (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0);
        const double s = t * c;
        for (int k = 0; k < n; ++k) {
          const double mkp = m[k * n + p], mkq = m[k * n + q];
          m[k * n + p] = c * mkp - s * mkq;
          m[k * n + q] = s * mkp + c * mkq;
        }
        for (int k = 0; k < n; ++k) {
          const double mpk = m[p * n + k], mqk = m[q * n + k];
          m[p * n + k] = c * mpk - s * mqk;
          m[q * n + k] = s * mpk + c * mqk;
        }
      }
    }
  }
  double lo = std::numeric_limits<double>::infinity(), hi = 0.0;
  for (int i = 0; i < n; ++i) {
    lo = std::min(lo, m[i * n + i]);
    hi = std::max(hi, m[i * n + i]);
  }
  if (!(lo > 0.0)) return std::numeric_limits<double>::infinity();
  return hi / lo;
}

StarFitResult FitStars(const StarFitProblem& pr, int starCount) {
  StarFitResult result;
  const double zero[kMaxTerms] = {};
  std::vector<int> used(starCount, 1);
  if (starCount < kMinimumStars || pr.termCount > kMaxTerms) {
    pr.setModel(zero);
    return result;
  }
  Pass pass = FitUsed(pr, used);
  while (pass.ok && CountUsed(used) >= kMinimumStars) {
    const Doubt doubt = MostDoubtful(pr, used, pass);
    if (doubt.star < 0) break;
    // Dropped only when far above the others' spread (or a degree off),
    // and above the floor.
    const double e = doubt.error;
    const bool far =
        e > doubt.factor * doubt.spread || (e > kWrongObject && e > kOutlierFactor * doubt.spread);
    if (!far || e <= kOutlierFloor) break;
    used[doubt.star] = 0;
    if (CountUsed(used) < kMinimumStars) {
      pass.ok = false;
      break;
    }
    pass = FitUsed(pr, used);
  }
  if (!pass.ok) {
    pr.setModel(zero);
    return result;
  }
  pr.setModel(pass.p);
  result.ok = true;
  std::copy(pass.p, pass.p + kMaxTerms, result.p);
  for (int t : pass.terms) result.fitted[t] = true;
  result.residuals = pass.residuals;
  result.used = used;
  double sum = 0.0;
  for (int i = 0; i < starCount; ++i) {
    if (used[i]) sum += pass.residuals[i] * pass.residuals[i];
  }
  result.rms = std::sqrt(sum / CountUsed(used));
  return result;
}

}  // namespace sidera
