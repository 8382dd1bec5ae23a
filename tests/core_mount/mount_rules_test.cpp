// The root mount's setters, ratings and state derivation.
#include <cmath>
#include <limits>

#include "scripted_mount.h"
#include "tests/support/claims_access.h"
#include "tests/support/model_edit.h"
#include "tests/support/published_state_access.h"

namespace sidera::testing {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// What each setter refuses, and what a refused call has stored all the same.
TEST(MountSetters, RangesAndCheckOrder) {
  // The site: latitude first (stored, and on an equatorial mount the sign of
  // the tracking rate follows the hemisphere), then elevation; a model that is
  // not aligned is reset to the new site.
  const struct {
    double lat, elev;
    int equatorial, aligned;
    double rateIn;
    MountResult result;
    double latOut, rateOut;
    int resets;
  } sites[] = {
      {2.0, 0, 1, 0, 1.0, kInvalidParameter, Deg(30), 1.0, 0},
      {kNaN, 0, 1, 0, 1.0, kInvalidParameter, Deg(30), 1.0, 0},
      {-0.5, 100, 1, 0, 1.0, kOk, -0.5, -1.0, 1},
      {-0.5, 100, 0, 0, 1.0, kOk, -0.5, 1.0, 1},
      {0.5, 0, 1, 0, -1.0, kOk, 0.5, 1.0, 1},
      {0.4, 9000, 1, 0, 1.0, kInvalidParameter, 0.4, 1.0, 0},  // latitude stays
      {0.4, -1000, 0, 1, 1.0, kOk, 0.4, 1.0, 0},               // aligned: model kept
  };
  for (const auto& c : sites) {
    ScriptedMount m(c.equatorial);
    sidera::EditModel(m, [&](sidera::PointingValues& v) { v.aligned = c.aligned != 0; });
    m.Rates().UseTrackingRate(c.rateIn);
    EXPECT_EQ(m.SetSite(c.lat, c.elev), c.result) << c.lat << " " << c.elev;
    EXPECT_DOUBLE_EQ(m.Latitude(), c.latOut);
    EXPECT_EQ(m.Rates().TrackingRate(), c.rateOut);
    EXPECT_EQ(m.Trace(), c.resets ? "R0" : "");
  }
  // Altitude limits: the upper one (capped at 90 deg) is stored before the
  // lower one is checked.
  const struct {
    double lower, upper;
    MountResult result;
    double lowerOut, upperOut;
  } limits[] = {
      {0.1, 2.0, kOk, 0.1, kPi / 2},
      {0.9, 1.2, kInvalidParameter, 0.0, 1.2},
      {-0.6, 1.0, kInvalidParameter, 0.0, 1.0},
      {-0.5, 1.0, kOk, -0.5, 1.0},
      {0.1, 0.7, kInvalidParameter, 0.0, Deg(75)},
  };
  for (const auto& c : limits) {
    ScriptedMount m;
    EXPECT_EQ(m.SetAltitudeLimits(c.lower, c.upper), c.result) << c.lower << " " << c.upper;
    EXPECT_DOUBLE_EQ(m.LowerAltitudeLimit(), c.lowerOut);
    EXPECT_DOUBLE_EQ(m.UpperAltitudeLimit(), c.upperOut);
  }
  // Backlash up to 2 deg, as the ms of take-up at 64 x sidereal:
  // 1 deg = 86164090.65 / 23040 ms. Guide rates up to sidereal either way.
  ScriptedMount m;
  EXPECT_EQ(m.SetBacklash(0, Deg(1)), kOk);
  EXPECT_EQ(m.SetBacklash(1, Deg(2)), kOk);
  EXPECT_EQ(m.SetBacklash(1, -1e-9), kInvalidParameter);
  EXPECT_EQ(m.SetBacklash(1, Deg(2.001)), kInvalidParameter);
  EXPECT_EQ(m.Rates().TakeUpTicks(0), 3739u);
  EXPECT_EQ(m.Rates().TakeUpTicks(1), 7479u);
  EXPECT_EQ(m.SetGuideRate(0, -kSiderealRate), kOk);
  EXPECT_EQ(m.SetGuideRate(1, 1.001 * kSiderealRate), kInvalidParameter);
}

// At hour angle 0 and latitude 30 deg the altitude is 90 deg - |30 deg - dec|.
// Stars are rated 5 between the limits and above 15 deg; a goto outside the
// limits starts nothing.
TEST(MountAltitudeLimits, RateStarsAndRefuseGotos) {
  const struct {
    double dec;
    int rating;
    MountResult gotoResult;  // kOk: not tried
  } cases[] = {
      {-70, 0, kTargetTooLow}, {-50, 0, kOk}, {-20, 5, kOk}, {50, 5, kOk}, {35, 0, kTargetTooHigh}};
  ScriptedMount m;
  for (const auto& c : cases) {
    const SkyPoint star{0.0, Deg(c.dec)}, other{0.0, Deg(-20)};
    EXPECT_EQ(m.CheckStars1(star), c.rating) << c.dec;
    EXPECT_EQ(m.CheckStars2(other, star, 2), c.rating) << c.dec;
    EXPECT_EQ(m.CheckStars3(other, other, star), c.rating) << c.dec;
    if (c.gotoResult != kOk) {
      EXPECT_EQ(m.GotoSky(star), c.gotoResult) << c.dec;
    }
  }
  EXPECT_EQ(m.GotoHorizontal(0.0, Deg(80)), kTargetTooHigh);
  EXPECT_EQ(m.GotoHorizontal(0.0, Deg(-1)), kTargetTooLow);
  EXPECT_EQ(m.ClaimOn(0) + m.ClaimOn(1), 0);
  EXPECT_TRUE(m.Calls().empty());
}

TEST(MountState, DerivedFromBothAxes) {
  const uint32_t S = AXIS_STOPPED, R = AXIS_RATE_MOTION, G = AXIS_GOTO, P = AXIS_POSITIVE;
  const struct {
    uint32_t s0, s1;
    int gotoActive, moving0, moving1;
    uint32_t before, after;
  } cases[] = {
      {S, S, 1, 0, 0, MOUNT_STOPPED, MOUNT_GOTO},
      {G, S, 0, 0, 0, MOUNT_TRACKING, MOUNT_GOTO},
      {S, G | P, 0, 0, 0, MOUNT_STOPPED, MOUNT_GOTO},
      {S, S, 0, 0, 0, MOUNT_TRACKING, MOUNT_TRACKING},
      {S, S, 0, 0, 0, MOUNT_GOTO, MOUNT_STOPPED},
      {R, S, 0, 0, 1, MOUNT_STOPPED, MOUNT_SLEWING},
      {S, R | P, 0, 0, 0, MOUNT_STOPPED, MOUNT_TRACKING},
      {P, S, 0, 1, 1, MOUNT_SLEWING, MOUNT_SLEWING},
  };
  for (const auto& c : cases) {
    ScriptedMount m;
    m.Axes().NoteState(0, c.s0);
    m.Axes().NoteState(1, c.s1);
    PublishedStateAccess::SetGotoActive(m, c.gotoActive != 0);
    ClaimsAccess::Set(m, 0, c.moving0);
    ClaimsAccess::Set(m, 1, c.moving1);
    PublishedStateAccess::MountState(m) = c.before;
    uint32_t out = 0;
    EXPECT_EQ(m.GetMountState(&out), kOk);
    EXPECT_EQ(out, c.after) << c.s0 << " " << c.s1 << " " << c.before;
  }
  // Bits beyond the four state bits are masked off the axis state word.
  ScriptedMount m;
  uint32_t word = 0;
  m.Axes().NoteState(1, AXIS_STOPPED | 0x20 | 0x100);
  EXPECT_EQ(m.GetAxisState(1, &word), kOk);
  EXPECT_EQ(word, AXIS_STOPPED);
}

// Axis numbers reach the mount unchecked from the host; out of range they
// would write past the per-axis fields.
TEST(MountSetters, AxisNumbersOtherThanZeroOrOneAreRefused) {
  ScriptedMount m;
  for (int axis : {-1, 2, 1000000}) {
    double angle = 0.0;
    uint32_t word = 0;
    EXPECT_EQ(m.MoveAxis(axis, kSiderealRate, 0), kInvalidParameter);
    EXPECT_EQ(m.StopAxis(axis), kInvalidParameter);
    EXPECT_EQ(m.SyncAxis(axis, 0.1), kInvalidParameter);
    EXPECT_EQ(m.WriteAxisPosition(axis, 0.1), kInvalidParameter);
    EXPECT_EQ(m.SetBacklash(axis, 0.01), kInvalidParameter);
    EXPECT_EQ(m.SetGuideRate(axis, 0.0), kInvalidParameter);
    EXPECT_EQ(m.GetAxisPosition(axis, &angle), kInvalidParameter);
    EXPECT_EQ(m.GetAxisState(axis, &word), kInvalidParameter);
  }
  EXPECT_TRUE(m.Calls().empty());
  EXPECT_EQ(m.RunningThreads(), 0);
}

}  // namespace
}  // namespace sidera::testing
