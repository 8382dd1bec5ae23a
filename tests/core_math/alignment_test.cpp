// Star alignment on a mount whose nominal model is the identity and whose
// hardware always answers: the fitted model, failures, the floating-point
// guard and the saved record.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "sidera/core/telescope_mount.h"
#include "tests/core_math/geometry.h"

namespace {

using sidera::Matrix3;
using namespace core_math_test;

// A mount whose nominal model is the identity.
class TestMount : public sidera::TelescopeMount {
 public:
  TestMount() { mountType = 6; }
  int ResetAlignment() override {
    std::lock_guard<std::recursive_mutex> lock(modelMutex);
    sidera::SetDiagonal(skyToAxesMatrix, 1.0);
    sidera::SetDiagonal(axesToSkyMatrix, 1.0);
    return 0;
  }
};

void ExpectMatrixNear(const Matrix3& got, const Matrix3& want, double tol) {
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(got.m[i], want.m[i], tol) << "element " << i;
}

// The readings of a mount with true rotation `r`, axis-1 index error `index`
// and collimation error `collimation` for a sky position.
AlignStar Observe(const Matrix3& r, double h, double d, double index = 0.0,
                  double collimation = 0.0) {
  const sidera::Vector3 a = Apply(r, Dir(h, d));
  return AlignStar{h, d, Lon(a) - collimation / std::cos(Lat(a)), Lat(a) - index};
}

TEST(AlignTwoStars, RecoversRotationAndIndexError) {
  const Matrix3 r = Rotation(0.2, -0.3, 1.0, 0.7);
  TestMount mount;
  ASSERT_EQ(mount.AlignTwoStars(Observe(r, -0.8, 0.5, 0.01), Observe(r, 0.9, 0.3, 0.01)), 0);
  EXPECT_NEAR(mount.axis1IndexError, 0.01, 1e-12);
  ExpectMatrixNear(mount.skyToAxesMatrix, r, 1e-12);
  ExpectMatrixNear(mount.axesToSkyMatrix, Rotation(0.2, -0.3, 1.0, -0.7), 1e-12);
  EXPECT_EQ(mount.isAligned.load(), 1);
  EXPECT_EQ(mount.alignmentQuality, 100);
}

// The fit reproduces the three readings exactly; elsewhere it is as good as
// the iteration allows: it stops once a step is below one arc-minute, and the
// three-point matrix fit carries what is left across the sky.
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
  auto axesFor = [&mount](double h, double d) {
    SkyPoint p{h, d};
    AxisPair a{};
    mount.SkyToAxes(p, a, 1);
    return a;
  };
  for (const AlignStar& s : stars) {
    EXPECT_NEAR(axesFor(s.hourAngle, s.declination).axis0, s.axis0, 1e-12);
    EXPECT_NEAR(axesFor(s.hourAngle, s.declination).axis1, s.axis1, 1e-12);
  }
  for (double h = -3.0; h <= 3.0; h += 0.25) {
    for (double d = -1.0; d <= 1.0; d += 0.25) {
      const AlignStar truth = Observe(r, h, d, index, collimation);
      if (std::fabs(truth.axis1) > 1.05) continue;  // 1/cos lever too long
      const AxisPair got = axesFor(h, d);
      const double e0 = AngleDiff(got.axis0, truth.axis0) * std::cos(truth.axis1);
      EXPECT_LT(std::hypot(e0, got.axis1 - truth.axis1), 2 * kArcMinute) << h << " " << d;
    }
  }
}

// The whole model as a record, to compare before and after a call.
std::vector<unsigned char> ModelBytes(TestMount& mount) {
  AlignmentRecord record;
  std::memset(&record, 0, sizeof record);
  EXPECT_EQ(mount.SaveAlignment(&record), 200);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  return std::vector<unsigned char>(bytes, bytes + sizeof record);
}

// Every failure returns 200 and leaves the model exactly as it was: a mount
// aligned before keeps pointing with its alignment, never with the nominal
// matrices while it still claims to be aligned. Stars too close together or
// too nearly opposite to fix a rotation (5 degrees) are refused; just beyond
// the limit the fit succeeds.
TEST(AlignmentFailure, RefusedFitsLeaveTheModelAsItWas) {
  const Matrix3 r = Rotation(0.3, 0.1, 1.0, 0.4);
  const auto at = [&r](double h, double d) { return Observe(r, h, d); };
  const double tenSeconds = 10.0 * 2 * kPi / 86164.09065;  // sky motion between two sightings
  const AlignStar origin{0, 0, 0, 0}, quarter{kPi / 2, 0, 0.1, 0};
  const struct {
    const char* name;
    std::vector<AlignStar> stars;
    int result;
  } cases[] = {
      {"equal axis-0 readings", {{0.1, 0.2, 0.5, 0.3}, {0.9, 0.6, 0.5, 0.7}}, 200},
      {"no index solution", {origin, quarter}, 200},
      {"same sky position", {{0.5, 0.0, 0.0, 0.3}, {0.5, 0.0, kPi, 0.3}}, 200},
      {"the same star twice", {at(0.4, 0.6), at(0.4 + tenSeconds, 0.6)}, 200},
      {"4.9 degrees apart", {at(0.3, 0), at(0.3 + Deg(4.9), 0)}, 200},
      {"5.1 degrees apart", {at(0.3, 0), at(0.3 + Deg(5.1), 0)}, 0},
      {"174.9 degrees apart", {at(0.3, 0), at(0.3 + Deg(174.9), 0)}, 0},
      {"175.1 degrees apart", {at(0.3, 0), at(0.3 + Deg(175.1), 0)}, 200},
      {"three stars, no index solution", {origin, quarter, {1, 0.5, 1, 0.5}}, 200},
      {"three stars, two the same", {at(0.4, 0.6), at(0.4 + tenSeconds, 0.6), at(-1, 0.2)}, 200},
      {"three, 4.9 degrees off a circle", {at(-0.6, 0), at(0.9, 0), at(0.15, Deg(4.9))}, 200},
      {"three, 5.1 degrees off a circle", {at(-0.6, 0), at(0.9, 0), at(0.15, Deg(5.1))}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestMount mount;
    ASSERT_EQ(mount.AlignTwoStars(Observe(r, -0.8, 0.5, 0.01), Observe(r, 0.9, 0.3, 0.01)), 0);
    mount.alignmentQuality = 42;
    mount.collimationError = 0.002;
    const std::vector<unsigned char> before = ModelBytes(mount);
    const std::vector<AlignStar>& s = c.stars;
    EXPECT_EQ(
        s.size() == 2 ? mount.AlignTwoStars(s[0], s[1]) : mount.AlignThreeStars(s[0], s[1], s[2]),
        c.result);
    if (c.result != 0) {
      EXPECT_EQ(ModelBytes(mount), before);
    }
  }
}

// The caller's rounding mode and flags come back: the alignment's own
// division by zero does not leak, and a flag the caller raised earlier
// neither fails a good alignment nor is lost.
TEST(AlignmentFailure, RestoresCallersFloatingPointEnvironment) {
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

// A record holds the whole model: loading it into another mount and saving
// that again gives the same bytes. Bytes 4..7 keep what the buffer held and
// count in the checksum. Any changed byte, or another model, is refused
// without touching the mount.
TEST(AlignmentRecord, LoadsBackBitForBitAndRefusesAlteredOrForeignRecords) {
  TestMount source, target;
  const Matrix3 r = Rotation(0.1, 0.4, 1.0, 1.1);
  ASSERT_EQ(source.AlignTwoStars(Observe(r, -0.8, 0.5, 0.011), Observe(r, 0.9, 0.3, 0.011)), 0);
  source.collimationError = -0.007;
  source.nonPerpendicularityError = 0.003;
  source.alignmentResidual = 0.0625;
  AlignmentRecord record, again, before, after;
  for (AlignmentRecord* rec : {&record, &again, &before, &after}) std::memset(rec, 0xFF, 200);
  ASSERT_EQ(source.SaveAlignment(&record), 200);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  uint32_t sum = 0;
  for (int i = 0; i < 196; ++i) sum += bytes[i];
  EXPECT_EQ(record.checksum, sum);
  EXPECT_EQ(std::memcmp(record.padding, "\xFF\xFF\xFF\xFF", 4), 0);
  EXPECT_EQ(record.collimationError, -0.007);
  EXPECT_EQ(record.reserved, 0u);
  ASSERT_EQ(target.LoadAlignment(&record), 0);
  ASSERT_EQ(target.SaveAlignment(&again), 200);
  EXPECT_EQ(std::memcmp(&record, &again, 200), 0);

  std::vector<AlignmentRecord> bad(7, record);
  reinterpret_cast<unsigned char*>(&bad[0])[100] ^= 0x01;  // a matrix byte
  bad[1].padding[1] = 0;                                   // padding counts too
  bad[2].checksum += 1;
  bad[3].mountType = 7;
  bad[3].checksum += 1;  // keeps the byte sum right for the changed type
  // Numbers that are not finite, behind a correct checksum.
  bad[4].skyToAxesMatrix[4] = NAN;
  bad[5].collimationError = INFINITY;
  bad[6].alignmentResidual = -INFINITY;
  for (int i = 4; i < 7; ++i) {
    const auto* b = reinterpret_cast<const unsigned char*>(&bad[i]);
    bad[i].checksum = 0;
    for (int k = 0; k < 196; ++k) bad[i].checksum += b[k];
  }
  for (const AlignmentRecord& b : bad) {
    TestMount fresh;
    ASSERT_EQ(fresh.SaveAlignment(&before), 200);
    EXPECT_EQ(fresh.LoadAlignment(&b), 400);
    ASSERT_EQ(fresh.SaveAlignment(&after), 200);
    EXPECT_EQ(std::memcmp(&before, &after, 200), 0);
  }
  EXPECT_EQ(target.LoadAlignment(nullptr), 400);
  EXPECT_EQ(source.SaveAlignment(nullptr), 0);
}

}  // namespace
