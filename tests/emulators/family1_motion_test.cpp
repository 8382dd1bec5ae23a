// How an emulated controller moves its axis, with motion time passed in.
#include <gtest/gtest.h>

#include "emulators/family1/axis_motion.h"

namespace sidera::emulator::family1 {
namespace {

constexpr double kCountsPerDegree = 16777216.0 / 360.0;
constexpr double kFast = 4.0 * kCountsPerDegree;  // counts per second
constexpr int32_t kMinus90 = -4194304;
constexpr int32_t kSiderealWire = 0x003C00;  // 15 arc-seconds per second

TEST(Family1Motion, AGotoMovesInAStraightLineAtItsSpeedAndStopsOnTheTarget) {
  AxisMotion axis(0, 0.0);
  axis.StartGoto(kMinus90, kFast, true, 0.0);
  // 90 degrees at 4 degrees per second: 22.5 seconds.
  EXPECT_NEAR(axis.Counts(10.0), -40.0 * kCountsPerDegree, 1.0);
  EXPECT_TRUE(axis.GotoRunning(22.4));
  EXPECT_FALSE(axis.GotoRunning(22.6));
  EXPECT_EQ(axis.Counts(30.0), kMinus90);
  EXPECT_TRUE(axis.LastGotoWasFast());

  axis.StartGoto(kMinus90 + 1000, 0.5 * kCountsPerDegree, false, 30.0);
  EXPECT_FALSE(axis.LastGotoWasFast());
  EXPECT_EQ(axis.Counts(40.0), kMinus90 + 1000);
}

TEST(Family1Motion, AGotoNeverCutsAcrossTheHalfTurnSeam) {
  // From just below +180 degrees to just above -180 degrees is the long way
  // round, through 0, even though the short way is 0.01 degree.
  AxisMotion axis(8388000, 0.0);
  axis.StartGoto(-8388000, kFast, true, 0.0);
  EXPECT_NEAR(axis.Counts(20.0), 8388000 - 20.0 * kFast, 1.0);
  EXPECT_TRUE(axis.GotoRunning(60.0));
  EXPECT_EQ(axis.Counts(100.0), -8388000);
}

TEST(Family1Motion, RateMotionRunsAtTheWireRateInBothDirectionsAndWrapsAtHalfATurn) {
  // 15 arc-seconds per second for 100 s is 1500 arc-seconds.
  const double sidereal100s = 1500.0 / 3600.0 * kCountsPerDegree;
  // 65536 / 1024 = 64 arc-seconds per second.
  const double fastRate1s = 64.0 / 3600.0 * kCountsPerDegree;
  struct Case {
    const char* behaviour;
    int32_t start;
    int32_t wire;
    double seconds;
    double expected;
  };
  const Case cases[] = {
      {"sidereal, positive", 0, kSiderealWire, 100.0, sidereal100s},
      {"sidereal, negative", 0, -kSiderealWire, 100.0, -sidereal100s},
      {"past +180 degrees comes back at -180", 8388508, 65536, 1.0,
       8388508 + fastRate1s - 16777216.0},
      {"past -180 degrees comes back at +180", -8388508, -65536, 1.0,
       -8388508 - fastRate1s + 16777216.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour);
    AxisMotion axis(c.start, 0.0);
    axis.StartRate(c.wire, 0.0);
    EXPECT_NEAR(axis.Counts(c.seconds), c.expected, 1.0);
    EXPECT_EQ(axis.RateWireValue(), c.wire);
    EXPECT_FALSE(axis.GotoRunning(c.seconds));
  }
}

TEST(Family1Motion, TheLatestCommandOwnsTheAxis) {
  AxisMotion axis(0, 0.0);
  axis.StartGoto(kMinus90, kFast, true, 0.0);
  axis.StartRate(kSiderealWire, 1.0);  // a rate cancels the goto where it is
  EXPECT_FALSE(axis.GotoRunning(1.0));
  const double afterGoto = -kFast;
  EXPECT_NEAR(axis.Counts(11.0), afterGoto + 150.0 / 3600.0 * kCountsPerDegree, 1.0);

  axis.StartGoto(0, kFast, true, 11.0);  // a goto ends the rate motion
  EXPECT_EQ(axis.RateWireValue(), 0);
  EXPECT_EQ(axis.Counts(20.0), 0);

  axis.StartRate(-kSiderealWire, 20.0);
  axis.StartRate(0, 30.0);  // a zero rate stops the axis
  const int32_t stopped = axis.Counts(30.0);
  EXPECT_EQ(axis.Counts(1000.0), stopped);

  axis.StartRate(kSiderealWire, 1000.0);
  axis.SetCounts(4194304, 1000.0);  // a new position, the rate goes on from it
  EXPECT_NEAR(axis.Counts(1100.0), 4194304 + 1500.0 / 3600.0 * kCountsPerDegree, 1.0);
}

TEST(Family1Motion, PositionsOutsideTwentyFourBitsAreTakenAsTheSameAngle) {
  EXPECT_EQ(AxisMotion(16777216 + 5, 0.0).Counts(0.0), 5);
  EXPECT_EQ(AxisMotion(8388608, 0.0).Counts(0.0), -8388608);
  EXPECT_EQ(AxisMotion(-8388609, 0.0).Counts(0.0), 8388607);
}

}  // namespace
}  // namespace sidera::emulator::family1
