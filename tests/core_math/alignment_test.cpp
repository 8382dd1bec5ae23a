#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "sidera/core/telescope_mount.h"
#include "tests/core_math/geometry.h"

namespace {

using sidera::Matrix3;
using namespace core_math_test;

// A mount whose nominal model is the identity and whose hardware always
// answers at once.
class TestMount : public sidera::TelescopeMount {
 public:
  TestMount() {
    mountType = 6;
    ResetAlignment();
    resets = 0;
  }
  int ResetAlignment() override {
    std::lock_guard<std::recursive_mutex> lock(modelMutex);
    sidera::SetDiagonal(skyToAxesMatrix, 1.0);
    sidera::SetDiagonal(axesToSkyMatrix, 1.0);
    ++resets;
    return 0;
  }
  sidera::MountResult ReadAxisPosition(int) override { return 0; }
  sidera::MountResult ReadAxisState(int) override { return 0; }
  sidera::MountResult HaltAxis(int) override { return 0; }
  sidera::MountResult WriteAxisPosition(int axis, double angle) override {
    writes.push_back({axis, angle});
    return writeResult;
  }
  sidera::MountResult StartTracking() override {
    ++trackingStarts;
    // Tracking threads need the model: another thread must be able to lock it.
    std::thread([this] {
      modelFreeAtTrackingStart = modelMutex.try_lock();
      if (modelFreeAtTrackingStart) modelMutex.unlock();
    }).join();
    return 300;
  }

  int resets = 0;
  int trackingStarts = 0;
  bool modelFreeAtTrackingStart = false;
  sidera::MountResult writeResult = 0;
  std::vector<std::pair<int, double>> writes;
};

bool IsIdentity(const Matrix3& m) {
  static const Matrix3 id{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
  return std::memcmp(m.m, id.m, sizeof id.m) == 0;
}

void ExpectMatrixNear(const Matrix3& got, const Matrix3& want, double tol) {
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(got.m[i], want.m[i], tol) << "element " << i;
}

// The reading a mount with true rotation `r`, axis-1 index error `index`
// and collimation error `collimation` gives for a sky position.
AlignStar Observe(const Matrix3& r, double h, double d, double index = 0.0,
                  double collimation = 0.0) {
  const sidera::Vector3 a = Apply(r, Dir(h, d));
  const double a1 = Lat(a);
  return AlignStar{h, d, Lon(a) - collimation / std::cos(a1), a1 - index};
}

// Largest pointing error, in arc-minutes on the sky, of the fitted model
// against the true mount over a grid of the sky with |axis 1| < 60 deg.
double WorstPointingError(TestMount& mount, const Matrix3& r, double index, double collimation) {
  double worst = 0.0;
  for (double h = -3.0; h <= 3.0; h += 0.25) {
    for (double d = -1.0; d <= 1.0; d += 0.25) {
      const AlignStar truth = Observe(r, h, d, index, collimation);
      if (std::fabs(truth.axis1) > 1.05) continue;
      SkyPoint p{h, d};
      AxisPair got{};
      mount.SkyToAxes(p, got, 1);
      const double e0 = AngleDiff(got.axis0, truth.axis0) * std::cos(truth.axis1);
      worst = std::fmax(worst, std::hypot(e0, got.axis1 - truth.axis1) / kArcMinute);
    }
  }
  return worst;
}

TEST(AlignOneStar, MatchingStarKeepsNominalModelAndStartsTrackingUnlocked) {
  TestMount mount;
  EXPECT_EQ(mount.AlignOneStar({0.4, 0.3, 0.4, 0.3}), 0);
  EXPECT_TRUE(IsIdentity(mount.skyToAxesMatrix));
  EXPECT_TRUE(IsIdentity(mount.axesToSkyMatrix));
  EXPECT_EQ(mount.axis1IndexError, 0.0);
  EXPECT_EQ(mount.isAligned.load(), 1);
  EXPECT_EQ(mount.alignmentQuality, 100);
  EXPECT_EQ(mount.trackingStarts, 1);
  EXPECT_TRUE(mount.modelFreeAtTrackingStart);
}

// Readings off by (0.2, 0.05): the model turns about the axis-0 pole by -0.2
// and takes 0.05 as index error, unless the axis is synced to the star.
TEST(AlignOneStar, RotatesAboutPoleOrSyncsTheAxis) {
  struct Case {
    int sync0;
    sidera::MountResult writeResult;
    double turn;
  };
  for (const Case& c : {Case{0, 0, -0.2}, Case{1, 0, 0.0}, Case{1, 100, -0.2}}) {
    TestMount mount;
    mount.syncAxisOnAlign[0] = c.sync0;
    mount.writeResult = c.writeResult;
    ASSERT_EQ(mount.AlignOneStar({1.0, 0.5, 0.8, 0.45}), 0);
    ExpectMatrixNear(mount.skyToAxesMatrix, Rotation(0, 0, 1, c.turn), 1e-15);
    ExpectMatrixNear(mount.axesToSkyMatrix, Rotation(0, 0, 1, -c.turn), 1e-15);
    EXPECT_NEAR(mount.axis1IndexError, 0.05, 1e-15);
    ASSERT_EQ(mount.writes.size(), c.sync0 ? 1u : 0u);
    if (c.sync0) {
      EXPECT_NEAR(mount.writes[0].second, 1.0, 1e-15);
    }
  }
}

TEST(AlignTwoStars, RecoversRotationAndIndexError) {
  const Matrix3 r = Rotation(0.2, -0.3, 1.0, 0.7);
  TestMount mount;
  mount.isAligned = 0;
  ASSERT_EQ(mount.AlignTwoStars(Observe(r, -0.8, 0.5, 0.01), Observe(r, 0.9, 0.3, 0.01)), 0);
  EXPECT_NEAR(mount.axis1IndexError, 0.01, 1e-12);
  ExpectMatrixNear(mount.skyToAxesMatrix, r, 1e-12);
  ExpectMatrixNear(mount.axesToSkyMatrix, Transpose(r), 1e-12);
  EXPECT_EQ(mount.isAligned.load(), 1);
  EXPECT_EQ(mount.alignmentQuality, 100);
  EXPECT_LT(WorstPointingError(mount, r, 0.01, 0.0), 1e-7);
}

// The fit reproduces the three readings exactly; elsewhere it is as good as
// the stopping test allows: the iteration ends once a step is below one
// arc-minute, so each term may still be off by a fraction of that, and the
// three-point matrix fit carries that error across the sky.
TEST(AlignThreeStars, RecoversIndexAndCollimationToAboutAnArcMinute) {
  const Matrix3 r = Rotation(0.2, -0.3, 1.0, 0.7);
  const double index = 0.01, collimation = 0.005;  // 34' and 17'
  const AlignStar stars[] = {Observe(r, -1.2, 0.2, index, collimation),
                             Observe(r, 0.3, 0.7, index, collimation),
                             Observe(r, 1.4, -0.1, index, collimation)};
  TestMount mount;
  ASSERT_EQ(mount.AlignThreeStars(stars[0], stars[1], stars[2]), 0);
  EXPECT_EQ(mount.isAligned.load(), 1);
  EXPECT_NEAR(mount.axis1IndexError, index, kArcMinute);
  EXPECT_NEAR(mount.collimationError, collimation, kArcMinute);
  for (const AlignStar& s : stars) {
    SkyPoint p{s.hourAngle, s.declination};
    AxisPair got{};
    mount.SkyToAxes(p, got, 1);
    EXPECT_NEAR(got.axis0, s.axis0, 1e-12);
    EXPECT_NEAR(got.axis1, s.axis1, 1e-12);
  }
  EXPECT_LT(WorstPointingError(mount, r, index, collimation), 2.0);
}

// Each failure returns 200, leaves the nominal model and keeps the previous
// alignment state. A fault outside the index solver resets a second time.
TEST(AlignTwoStars, FailuresLeaveNominalModelAndOldAlignmentState) {
  struct Case {
    const char* name;
    AlignStar s1, s2;
    int resets;
  };
  const Case cases[] = {
      {"equal axis-0 readings", {0.1, 0.2, 0.5, 0.3}, {0.9, 0.6, 0.5, 0.7}, 1},
      {"no solution", {0.0, 0.0, 0.0, 0.0}, {kPi / 2, 0.0, 0.1, 0.0}, 1},
      {"same sky position", {0.5, 0.0, 0.0, 0.3}, {0.5, 0.0, kPi, 0.3}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestMount mount;
    mount.isAligned = 1;
    mount.alignmentQuality = 42;
    mount.alignmentResidual = 0.125;
    EXPECT_EQ(mount.AlignTwoStars(c.s1, c.s2), 200);
    EXPECT_EQ(mount.resets, c.resets);
    EXPECT_TRUE(IsIdentity(mount.skyToAxesMatrix));
    EXPECT_TRUE(IsIdentity(mount.axesToSkyMatrix));
    EXPECT_EQ(mount.isAligned.load(), 1);
    EXPECT_EQ(mount.alignmentQuality, 42);
    EXPECT_EQ(mount.alignmentResidual, 0.125);
  }
}

TEST(AlignThreeStars, UnsolvableIndexFailsWithTermsZeroed) {
  TestMount mount;
  mount.axis1IndexError = 0.3;
  mount.collimationError = 0.2;
  EXPECT_EQ(mount.AlignThreeStars({0, 0, 0, 0}, {kPi / 2, 0, 0.1, 0}, {1, 0.5, 1, 0.5}), 200);
  EXPECT_EQ(mount.axis1IndexError, 0.0);
  EXPECT_EQ(mount.collimationError, 0.0);
  EXPECT_EQ(mount.isAligned.load(), 0);
}

// The caller's rounding mode and flags come back; the alignment's own
// division by zero does not leak, and a flag the caller raised earlier
// neither fails a good alignment nor is lost.
TEST(AlignmentGuard, RestoresCallersFloatingPointEnvironment) {
  TestMount mount;
  std::feclearexcept(FE_ALL_EXCEPT);
  std::fesetround(FE_UPWARD);
  EXPECT_EQ(mount.AlignTwoStars({0.5, 0.0, 0.0, 0.3}, {0.5, 0.0, kPi, 0.3}), 200);
  EXPECT_EQ(std::fegetround(), FE_UPWARD);
  EXPECT_EQ(std::fetestexcept(FE_DIVBYZERO | FE_INVALID), 0);
  std::fesetround(FE_TONEAREST);

  std::feraiseexcept(FE_OVERFLOW);
  const Matrix3 r = Rotation(0, 0, 1, 0.3);
  EXPECT_EQ(mount.AlignTwoStars(Observe(r, -0.8, 0.5), Observe(r, 0.9, 0.3)), 0);
  EXPECT_NE(std::fetestexcept(FE_OVERFLOW), 0);
  std::feclearexcept(FE_ALL_EXCEPT);
}

class AlignmentRecordTest : public testing::Test {
 protected:
  void SetUp() override {
    const Matrix3 r = Rotation(0.1, 0.4, 1.0, 1.1);
    source.skyToAxesMatrix = r;
    source.axesToSkyMatrix = Transpose(r);
    source.axis1IndexError = 0.011;
    source.collimationError = -0.007;
    source.nonPerpendicularityError = 0.003;
    source.alignmentResidual = 0.0625;
    source.alignmentQuality = 100;
    source.isAligned = 1;
    std::memset(&record, 0xFF, sizeof record);
    ASSERT_EQ(source.SaveAlignment(&record), 200);
  }
  static bool SameModel(const TestMount& a, const TestMount& b) {
    return std::memcmp(a.skyToAxesMatrix.m, b.skyToAxesMatrix.m, 72) == 0 &&
           std::memcmp(a.axesToSkyMatrix.m, b.axesToSkyMatrix.m, 72) == 0 &&
           std::memcmp(&a.axis1IndexError, &b.axis1IndexError, 8) == 0 &&
           std::memcmp(&a.collimationError, &b.collimationError, 8) == 0 &&
           std::memcmp(&a.nonPerpendicularityError, &b.nonPerpendicularityError, 8) == 0 &&
           std::memcmp(&a.alignmentResidual, &b.alignmentResidual, 8) == 0 &&
           a.alignmentQuality == b.alignmentQuality && a.isAligned == b.isAligned;
  }
  TestMount source;
  AlignmentRecord record;
};

// Bytes 4..7 keep what the buffer held and count in the checksum; a load
// restores the model bit for bit.
TEST_F(AlignmentRecordTest, SavesAtFixedOffsetsAndLoadsBackBitForBit) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  EXPECT_EQ(record.mountType, 6);
  for (int i = 4; i < 8; ++i) EXPECT_EQ(bytes[i], 0xFF);
  EXPECT_EQ(record.reserved, 0u);
  double value;
  std::memcpy(&value, bytes + 152, 8);
  EXPECT_EQ(value, 0.011);
  uint32_t sum = 0;
  for (int i = 0; i < 196; ++i) sum += bytes[i];
  EXPECT_EQ(record.checksum, sum);

  TestMount target;
  ASSERT_EQ(target.LoadAlignment(&record), 0);
  EXPECT_TRUE(SameModel(source, target));
}

TEST_F(AlignmentRecordTest, RejectsAlteredOrForeignRecordsWithoutChanges) {
  std::vector<AlignmentRecord> bad(4, record);
  reinterpret_cast<unsigned char*>(&bad[0])[100] ^= 0x01;  // a matrix byte
  reinterpret_cast<unsigned char*>(&bad[1])[5] = 0;        // padding counts too
  bad[2].checksum += 1;
  bad[3].mountType = 7;
  bad[3].checksum += 1;  // keeps the byte sum right for the changed type
  for (const AlignmentRecord& b : bad) {
    TestMount target, untouched;
    EXPECT_EQ(target.LoadAlignment(&b), 400);
    EXPECT_TRUE(SameModel(target, untouched));
  }
  TestMount target;
  EXPECT_EQ(target.LoadAlignment(nullptr), 400);
  EXPECT_EQ(source.SaveAlignment(nullptr), 0);
}

}  // namespace
