// Least-squares fit of a pointing model to many centred stars, with the
// choice of the terms the stars can fix and the rejection of a star centred
// on the wrong object.
//
// The fit knows nothing of mounts: the caller describes the model by its
// parameters (all 0 at the starting model) and gives a function that sets
// them and one that answers a star's residual under the model set. The
// mount side (alignment_stars.cpp) maps the parameters onto the rotation
// and the mechanical terms.
//
// Terms. The first `requiredTerms` parameters are always fitted (the
// rotation and the axis-1 index); each further one, in order, joins only
// while the fit stays well conditioned with it: the normal matrix of the
// linearised problem, its columns scaled to unit length, keeps a condition
// number of at most kMaxCondition, and the stars leave at least two
// equations over the parameters. A term left out stays 0.
//
// Outliers. A star is judged by the others: their fit without it, leaving
// at least four equations over its terms (fewer terms than the final fit
// may have), gives the star's residual e there and the others' star RMS s
// (their residual sum of squares over their stars less half the terms). It
// is dropped when e is above kOutlierFloor and either above F times s, where
// F is the larger of kOutlierFactor and the factor a good star exceeds once
// in 1/kOutlierChance given the others' equations less terms (F is 7.8
// with 4 to spare, 5 from about 8), or above kWrongObject and
// kOutlierFactor times s. Others too few for such a fit judge by the
// wrong-object rule alone, through the usual fit. The star judged: up to
// kJudgeEveryStar used stars, the one without which the others fit best
// (least s), since a wrong star pulls a fit of many terms on few stars
// towards itself and a good one may then show the largest residual; beyond,
// the one with the largest residual under the fit of all. After a drop the
// rest are fitted and judged again. A fit needs kMinimumStars used stars;
// with fewer it fails.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "sidera/core/types.h"

namespace sidera {

inline constexpr double kMaxCondition = 1e4;
inline constexpr double kOutlierFactor = 5.0;
inline constexpr double kOutlierChance = 1e-3;
// A star this far off the others' fit is on the wrong object, however
// loosely few stars judge it.
inline constexpr double kWrongObject = 3.141592653589793 / 180.0;             // 1 degree
inline constexpr double kOutlierFloor = 30.0 * 3.141592653589793 / 648000.0;  // 30 arc-seconds
inline constexpr int kMinimumStars = 4;
inline constexpr int kJudgeEveryStar = 20;
inline constexpr int kMaxTerms = 10;

struct StarFitProblem {
  int termCount = 0;      // at most kMaxTerms
  int requiredTerms = 0;  // always fitted
  // Sets the model to `p` (termCount values).
  std::function<void(const double* p)> setModel;
  // Residual of star `i` under the model last set: the reading minus the
  // prediction, axis 0 times the cosine of axis 1 (an angle on the sky) and
  // axis 1, radians.
  std::function<AxisPair(int i)> residual;
};

struct StarFitResult {
  bool ok = false;
  double p[kMaxTerms] = {};
  bool fitted[kMaxTerms] = {};
  std::vector<double> residuals;  // per star, on the sky, radians
  std::vector<int> used;          // per star, 1 or 0
  double rms = 0.0;               // over the used stars, radians
};

// Fits `starCount` stars. On success the model is left set to the result;
// on failure it is left set to the starting model (all parameters 0).
StarFitResult FitStars(const StarFitProblem& problem, int starCount);

// The condition number of the symmetric positive semi-definite n x n matrix
// `a` (row-major) from its eigenvalues; infinite when singular.
double ConditionNumber(const double* a, int n);

}  // namespace sidera
