#include "sidera/core/vector_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "tests/core_math/geometry.h"

namespace {

using sidera::Matrix3;
using sidera::Vector3;
using namespace core_math_test;

Matrix3 Identity() { return Matrix3{{1, 0, 0, 0, 1, 0, 0, 0, 1}}; }

TEST(InvertMatrix, DiagonalInvertsExactlyAndReturnsPivotProduct) {
  Matrix3 b = Identity();
  EXPECT_EQ(sidera::InvertMatrix(Matrix3{{2, 0, 0, 0, 4, 0, 0, 0, 8}}, b), 64.0);
  const Matrix3 expected{{0.5, 0, 0, 0, 0.25, 0, 0, 0, 0.125}};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(b.m[i], expected.m[i]) << i;
}

// A pivot of 1e-6 or less at any of the three stages makes the matrix
// singular; InvertInPlace then keeps the caller's matrix as it was.
TEST(InvertMatrix, SingularAtEachPivotStageIsRejectedAndLeftUnchanged) {
  const Matrix3 cases[] = {
      {{0, 1, 2, 0, 3, 4, 0, 5, 6}},     // first column zero
      {{1, 2, 3, 2, 4, 6, 0, 0, 1}},     // rows 0 and 1 dependent
      {{1, 0, 1, 0, 1, 1, 1, 1, 2}},     // row 2 = row 0 + row 1
      {{1, 0, 0, 0, 1, 0, 0, 0, 1e-7}},  // below the pivot threshold
  };
  for (const Matrix3& a : cases) {
    Matrix3 b = Identity();
    EXPECT_EQ(sidera::InvertMatrix(a, b), 0.0);
    Matrix3 m = a;
    EXPECT_EQ(sidera::InvertInPlace(m), 1);
    EXPECT_EQ(std::memcmp(m.m, a.m, sizeof a.m), 0);
  }
  Matrix3 small{{1, 0, 0, 0, 1, 0, 0, 0, 1e-5}};
  EXPECT_EQ(sidera::InvertInPlace(small), 0);
  EXPECT_NEAR(small.at(2, 2), 1e5, 1e-6);
}

// The pivot product does not track row swaps, so its sign shows which row
// was chosen: a tie keeps the earlier row, a strictly larger one moves it.
TEST(InvertMatrix, PartialPivotingChoosesRowsAndStillInverts) {
  struct Case {
    Matrix3 a;
    double det;
  };
  const Case cases[] = {
      {{{1, 0, 0, -1, 1, 0, 0, 0, 1}}, 1.0},   // tie in column 0: no swap
      {{{1, 0, 0, -2, 1, 0, 0, 0, 1}}, -1.0},  // row 1 larger: swapped
      {{{1, 0, 0, 0, 1, 0, 0, 3, 1}}, -1.0},   // column 1: rows 1, 2 swapped
      {{{0, 1, 0, 0, 0, 1, 1, 0, 0}}, 1.0},    // permutation
  };
  for (const Case& c : cases) {
    Matrix3 b = Identity();
    EXPECT_NEAR(sidera::InvertMatrix(c.a, b), c.det, 1e-15);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        double sum = 0.0;
        for (int k = 0; k < 3; ++k) sum += c.a.at(i, k) * b.at(k, j);
        EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-15);
      }
  }
}

TEST(InvertMatrix, WellConditionedRandomMatrixTimesInverseIsIdentity) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n = 0; n < 50; ++n) {
    Matrix3 a;
    for (double& e : a.m) e = u(rng);
    for (int i = 0; i < 3; ++i) a.at(i, i) += 3.5 * (i % 2 ? -1 : 1);  // diagonally dominant
    Matrix3 inv = a;
    ASSERT_EQ(sidera::InvertInPlace(inv), 0);
    Matrix3 product = a;
    sidera::MultiplyMatrixInPlace(product, inv);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(product.at(i, j), i == j ? 1.0 : 0.0, 1e-12);
  }
}

TEST(VectorToSpherical, NormalisesTheCallersVector) {
  struct Case {
    Vector3 in, normalised;
    double lon, lat;
  };
  const Case cases[] = {
      {{0, 0, 5}, {0, 0, 1}, 0.0, kPi / 2},
      {{-3, -4, 0}, {-0.6, -0.8, 0}, std::atan2(-4.0, -3.0), 0.0},
  };
  for (const Case& c : cases) {
    Vector3 v = c.in;
    const SkyPoint p = sidera::VectorToSpherical(v);
    EXPECT_NEAR(p.hourAngle, c.lon, 1e-15);
    EXPECT_NEAR(p.declination, c.lat, 1e-15);
    EXPECT_NEAR(v.x, c.normalised.x, 1e-15);
    EXPECT_NEAR(v.y, c.normalised.y, 1e-15);
    EXPECT_NEAR(v.z, c.normalised.z, 1e-15);
  }
}

}  // namespace
