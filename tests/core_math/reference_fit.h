// A direct least-squares fit of the pointing model to star readings, written
// without the library's alignment code, to check the alignment against.
//
// The model: a rotation from the sky to the mount's frame, an axis-1 index
// error and, for three stars, a collimation error (the non-perpendicularity
// term is known). The fit chooses them so that the readings the model
// predicts differ as little as possible from the measured ones (axis 0
// scaled by the cosine of axis 1, so that both count as angles on the sky),
// by Gauss-Newton with numerical derivatives, turning the rotation by a
// small rotation at each step.
#pragma once

#include <cmath>
#include <utility>
#include <vector>

#include "sidera/include/sidera.h"
#include "tests/core_math/geometry.h"

namespace core_math_test {

struct ReferenceModel {
  sidera::Matrix3 rotation;
  double index = 0.0;
  double collimation = 0.0;
  double nonPerpendicularity = 0.0;
};

// The readings the model predicts for the sky position (h, d).
inline AxisPair PredictedReadings(const ReferenceModel& m, double h, double d) {
  const sidera::Vector3 a = Apply(m.rotation, Dir(h, d));
  return AxisPair{
      Lon(a) - m.collimation / std::cos(Lat(a)) - m.nonPerpendicularity * std::tan(Lat(a)),
      Lat(a) - m.index};
}

inline sidera::Matrix3 Multiply(const sidera::Matrix3& a, const sidera::Matrix3& b) {
  sidera::Matrix3 c{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) c.m[i * 3 + j] += a.m[i * 3 + k] * b.m[k * 3 + j];
    }
  }
  return c;
}

// The model moved by `step`: a small rotation (x, y, z components) before the
// current one, then the index and collimation changes.
inline ReferenceModel Moved(const ReferenceModel& m, const double* step) {
  ReferenceModel out = m;
  const double angle = std::sqrt(step[0] * step[0] + step[1] * step[1] + step[2] * step[2]);
  if (angle > 0.0) out.rotation = Multiply(Rotation(step[0], step[1], step[2], angle), m.rotation);
  out.index += step[3];
  out.collimation += step[4];
  return out;
}

// Solves the n x n system a x = b (Gaussian elimination, partial pivoting).
inline std::vector<double> Solve(std::vector<std::vector<double>> a, std::vector<double> b) {
  const size_t n = b.size();
  for (size_t c = 0; c < n; ++c) {
    size_t p = c;
    for (size_t r = c + 1; r < n; ++r) {
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    }
    std::swap(a[c], a[p]);
    std::swap(b[c], b[p]);
    for (size_t r = c + 1; r < n; ++r) {
      const double f = a[r][c] / a[c][c];
      for (size_t k = c; k < n; ++k) a[r][k] -= f * a[c][k];
      b[r] -= f * b[c];
    }
  }
  std::vector<double> x(n);
  for (size_t c = n; c-- > 0;) {
    double s = b[c];
    for (size_t k = c + 1; k < n; ++k) s -= a[c][k] * x[k];
    x[c] = s / a[c][c];
  }
  return x;
}

// Fits the model to `stars`, starting from the identity rotation and no
// index error. The collimation error is fitted from `collimation` for three
// or more stars and taken as known for two.
inline ReferenceModel FitReference(const std::vector<AlignStar>& stars, double collimation,
                                   double nonPerpendicularity) {
  ReferenceModel m{Rotation(0, 0, 1, 0), 0.0, collimation, nonPerpendicularity};
  const size_t unknowns = stars.size() >= 3 ? 5 : 4;
  const auto residuals = [&stars](const ReferenceModel& model) {
    std::vector<double> r;
    for (const AlignStar& s : stars) {
      const AxisPair p = PredictedReadings(model, s.hourAngle, s.declination);
      r.push_back(AngleDiff(p.axis0, s.axis0) * std::cos(s.axis1));
      r.push_back(p.axis1 - s.axis1);
    }
    return r;
  };
  for (int iteration = 0; iteration < 50; ++iteration) {
    const std::vector<double> r = residuals(m);
    std::vector<std::vector<double>> jacobian(unknowns);  // by unknown
    for (size_t k = 0; k < unknowns; ++k) {
      double plus[5] = {0, 0, 0, 0, 0}, minus[5] = {0, 0, 0, 0, 0};
      plus[k] = 1e-7;
      minus[k] = -1e-7;
      const std::vector<double> rp = residuals(Moved(m, plus)), rm = residuals(Moved(m, minus));
      for (size_t i = 0; i < r.size(); ++i) jacobian[k].push_back((rp[i] - rm[i]) / 2e-7);
    }
    std::vector<std::vector<double>> normal(unknowns, std::vector<double>(unknowns, 0.0));
    std::vector<double> rhs(unknowns, 0.0);
    for (size_t a = 0; a < unknowns; ++a) {
      for (size_t i = 0; i < r.size(); ++i) rhs[a] -= jacobian[a][i] * r[i];
      for (size_t b = 0; b < unknowns; ++b) {
        for (size_t i = 0; i < r.size(); ++i) normal[a][b] += jacobian[a][i] * jacobian[b][i];
      }
    }
    const std::vector<double> step = Solve(normal, rhs);
    double full[5] = {0, 0, 0, 0, 0};
    for (size_t k = 0; k < unknowns; ++k) full[k] = step[k];
    m = Moved(m, full);
  }
  return m;
}

}  // namespace core_math_test
