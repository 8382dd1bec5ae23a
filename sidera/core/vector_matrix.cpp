// Vector and 3x3 matrix helpers of the pointing model.
#include "sidera/core/vector_matrix.h"

#include <cmath>

namespace sidera {

namespace {

// Pivots at or below this magnitude make a matrix count as singular.
constexpr double kPivotEpsilon = 1e-6;

}  // namespace

Vector3 SphericalToVector(const SkyPoint& p) {
  return SphericalToVector(p.hourAngle, p.declination);
}

Vector3 SphericalToVector(double first, double second) {
  const double c = std::cos(second);
  return Vector3{std::cos(first) * c, std::sin(first) * c, std::sin(second)};
}

SkyPoint VectorToSpherical(Vector3& v) {
  const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  v.x /= length;
  v.y /= length;
  v.z /= length;
  return SkyPoint{std::atan2(v.y, v.x), std::asin(v.z)};
}

Vector3 MultiplyMatrixVector(const Matrix3& m, const Vector3& v) {
  return Vector3{m.At(0, 0) * v.x + m.At(0, 1) * v.y + m.At(0, 2) * v.z,
                 m.At(1, 0) * v.x + m.At(1, 1) * v.y + m.At(1, 2) * v.z,
                 m.At(2, 0) * v.x + m.At(2, 1) * v.y + m.At(2, 2) * v.z};
}

Vector3 CrossProduct(const Vector3& a, const Vector3& b) {
  return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

void SetDiagonal(Matrix3& m, double d) {
  for (double& e : m.m) e = 0.0;
  m.At(0, 0) = d;
  m.At(1, 1) = d;
  m.At(2, 2) = d;
}

void MultiplyMatrixInPlace(Matrix3& a, const Matrix3& b) {
  Matrix3 product;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double sum = 0.0;
      for (int k = 0; k < 3; ++k) sum += a.At(i, k) * b.At(k, j);
      product.At(i, j) = sum;
    }
  }
  a = product;
}

void SetMatrixColumn(Matrix3& m, int j, const Vector3& v) {
  m.At(0, j) = v.x;
  m.At(1, j) = v.y;
  m.At(2, j) = v.z;
}

void SwapRows(Matrix3& m, int i, int j) {
  for (int k = 0; k < 3; ++k) {
    const double t = m.At(i, k);
    m.At(i, k) = m.At(j, k);
    m.At(j, k) = t;
  }
}

void ScaleRow(Matrix3& m, int i, double factor) {
  for (int k = 0; k < 3; ++k) m.At(i, k) *= factor;
}

// Forward elimination with partial pivoting, then back-substitution applied
// to b only: the entries of `a` left of the diagonal are treated as
// eliminated and never read again, and those right of it are read but not
// cleared, since only their values at elimination time matter.
double InvertMatrix(Matrix3 a, Matrix3& b) {
  // Column 0: the largest magnitude wins; on a tie the earlier row stays.
  int p = 0;
  if (std::fabs(a.At(1, 0)) > std::fabs(a.At(0, 0))) p = 1;
  if (std::fabs(a.At(2, 0)) > std::fabs(a.At(p, 0))) p = 2;
  if (p != 0) {
    SwapRows(a, 0, p);
    SwapRows(b, 0, p);
  }
  if (std::fabs(a.At(0, 0)) <= kPivotEpsilon) return 0.0;

  for (int i = 1; i <= 2; ++i) {
    const double f = a.At(i, 0) / a.At(0, 0);
    for (int j = 1; j <= 2; ++j) a.At(i, j) -= a.At(0, j) * f;
    for (int j = 0; j <= 2; ++j) b.At(i, j) -= b.At(0, j) * f;
  }

  // Column 1.
  if (std::fabs(a.At(2, 1)) > std::fabs(a.At(1, 1))) {
    SwapRows(a, 1, 2);
    SwapRows(b, 1, 2);
  }
  if (std::fabs(a.At(1, 1)) <= kPivotEpsilon) return 0.0;

  {
    const double f = a.At(2, 1) / a.At(1, 1);
    a.At(2, 2) -= a.At(1, 2) * f;
    for (int j = 0; j <= 2; ++j) b.At(2, j) -= b.At(1, j) * f;
  }
  if (std::fabs(a.At(2, 2)) <= kPivotEpsilon) return 0.0;

  // Back-substitution: clear column 2 above the diagonal, then column 1.
  for (int i = 0; i <= 1; ++i) {
    const double f = a.At(i, 2) / a.At(2, 2);
    for (int j = 0; j <= 2; ++j) b.At(i, j) -= b.At(2, j) * f;
  }
  {
    const double f = a.At(0, 1) / a.At(1, 1);
    for (int j = 0; j <= 2; ++j) b.At(0, j) -= b.At(1, j) * f;
  }

  // Divide by the pivots. Row swaps are not tracked, so the product's sign
  // is meaningless; callers only compare it with 0.0.
  double det = 1.0;
  for (int i = 0; i <= 2; ++i) {
    det *= a.At(i, i);
    ScaleRow(b, i, 1.0 / a.At(i, i));
  }
  return det;
}

int InvertInPlace(Matrix3& m) {
  Matrix3 work;
  SetDiagonal(work, 1.0);
  if (InvertMatrix(m, work) != 0.0) {
    m = work;
    return 0;
  }
  return 1;
}

}  // namespace sidera
