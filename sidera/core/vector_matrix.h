// 3-vectors, row-major 3x3 matrices and the helpers the pointing model uses.
#pragma once

#include "sidera/core/types.h"

namespace sidera {

struct Vector3 {
  double x;
  double y;
  double z;
};

// Row-major: m[0..2] is row 0.
struct Matrix3 {
  double m[9];
  double& At(int row, int col) { return m[row * 3 + col]; }
  double At(int row, int col) const { return m[row * 3 + col]; }
};

// (cos a cos b, sin a cos b, sin b) of the two angles of a record.
Vector3 SphericalToVector(const SkyPoint& p);
Vector3 SphericalToVector(double first, double second);
// Normalises `v` in place and returns (atan2(y, x), asin(z)).
SkyPoint VectorToSpherical(Vector3& v);
Vector3 MultiplyMatrixVector(const Matrix3& m, const Vector3& v);
Vector3 CrossProduct(const Vector3& a, const Vector3& b);
double Length(const Vector3& v);
// All zero except the diagonal, which is `d`.
void SetDiagonal(Matrix3& m, double d);
// a = a x b.
void MultiplyMatrixInPlace(Matrix3& a, const Matrix3& b);
// Column j of m = v.
void SetMatrixColumn(Matrix3& m, int j, const Vector3& v);
void SwapRows(Matrix3& m, int i, int j);
void ScaleRow(Matrix3& m, int i, double factor);
// Gauss-Jordan inversion with partial pivoting. `a` is working storage; `b`
// holds the identity on entry and the inverse on a nonzero return. Returns
// the product of the pivots, 0.0 when a pivot is 1e-6 or less in magnitude.
double InvertMatrix(Matrix3 a, Matrix3& b);
// 0 after replacing m by its inverse; 1 (m unchanged) when it is singular.
int InvertInPlace(Matrix3& m);

}  // namespace sidera
