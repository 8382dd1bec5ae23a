// The simulated axis drive of models 6 and 7, on a clock stepped by hand.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/clock.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/sim/alt_az_simulator.h"
#include "sidera/sim/equatorial_simulator.h"

namespace sidera {
namespace {

constexpr double kPiValue = 3.141592653589793;
double Deg(double d) { return d / 180.0 * kPiValue; }

class SimulatedAxisTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kT = 100000;
  platform::ManualTickSource clock_{kT};
  platform::ScopedTickSource scoped_{clock_};
  EquatorialSimulator eq_;
  AltAzSimulator altaz_;

  TelescopeMount& Model(int type) { return type == 6 ? static_cast<TelescopeMount&>(eq_) : altaz_; }
};

// A goto at the slew speed is seen to arrive only by a refresh that finds
// the position past the target; the position then is the target exactly.
// The goto threads poll only the state while they wait for an axis, so a
// state read must see the end as a position read does.
TEST_F(SimulatedAxisTest, GotoArrivesOnlyWhenARefreshPassesTheTarget) {
  struct Case {
    int model;
    int axis;
    double speedDeg;  // slew speed, degrees per second
    double sign;      // direction of the goto
    bool stateRead;   // refresh by a state read instead of a position read
  };
  for (const Case& c : {Case{6, 0, 4, 1, false}, Case{6, 1, 4, -1, true}, Case{7, 0, 8, -1, true},
                        Case{7, 1, 8, 1, false}}) {
    SCOPED_TRACE(testing::Message() << "model " << c.model << " axis " << c.axis << " sign "
                                    << c.sign << " state read " << c.stateRead);
    TelescopeMount& m = Model(c.model);
    const auto refresh = [&] {
      uint32_t state = 0;
      ASSERT_EQ(c.stateRead ? m.GetAxisState(c.axis, &state) : m.ReadAxisPosition(c.axis), 0);
    };
    clock_.Set(kT);
    const uint32_t moving = c.sign > 0 ? (AXIS_GOTO | AXIS_POSITIVE) : AXIS_GOTO;
    const double start = m.Axes().Position(c.axis);
    const double target = start + c.sign * Deg(c.speedDeg);  // one second away
    ASSERT_EQ(m.GotoAxisAngle(c.axis, target), 0);
    EXPECT_EQ(m.Axes().State(c.axis), moving);

    clock_.Set(kT + 500);
    refresh();
    EXPECT_NEAR(m.Axes().Position(c.axis), start + c.sign * Deg(c.speedDeg / 2), 1e-12);
    EXPECT_EQ(m.Axes().State(c.axis), moving);

    clock_.Set(kT + 1100);
    refresh();
    EXPECT_EQ(m.Axes().Position(c.axis), target);
    EXPECT_EQ(m.Axes().State(c.axis), AXIS_STOPPED);
  }
}

// Only the equatorial declination axis takes targets one turn up: it reads
// -90 .. +270 degrees.
TEST_F(SimulatedAxisTest, LowAxis1TargetsFoldUpOnTheEquatorialModelOnly) {
  struct Case {
    int model;
    int axis;
    double expectedTarget;
  };
  for (const Case& c : {Case{6, 1, Deg(260)}, Case{6, 0, Deg(-100)}, Case{7, 1, Deg(-100)},
                        Case{7, 0, Deg(-100)}}) {
    TelescopeMount& m = Model(c.model);
    ASSERT_EQ(m.GotoAxisAngle(c.axis, Deg(-100)), 0);
    EXPECT_NEAR(m.Axes().CommandedAngle(c.axis), c.expectedTarget, 1e-12)
        << "model " << c.model << " axis " << c.axis;
  }
}

// Backlash take-up depends on the last direction: a stop keeps the
// direction of the previous motion, whichever it was.
TEST_F(SimulatedAxisTest, RatesSetTheStateAndTheLastDirection) {
  struct Step {
    double rate;
    uint32_t state;
    int32_t lastPositive;
  };
  for (const Step& s :
       {Step{-0.01, AXIS_RATE_MOTION, 0}, Step{0.0, AXIS_STOPPED, 0},
        Step{0.02, AXIS_RATE_MOTION | AXIS_POSITIVE, 1}, Step{0.0, AXIS_STOPPED, 1}}) {
    ASSERT_EQ(eq_.SlewAxisAtRate(1, s.rate), 0);
    EXPECT_EQ(eq_.Axes().State(1), s.state) << "rate " << s.rate;
    EXPECT_EQ(eq_.Axes().LastDirectionPositive(1), s.lastPositive) << "rate " << s.rate;
  }
}

TEST_F(SimulatedAxisTest, SegmentRunsSmoothlyAcrossATickCounterWrap) {
  clock_.Set(0xFFFFFF00u);  // 256 ms before the wrap
  const double start = eq_.Axes().Position(0);
  ASSERT_EQ(eq_.SlewAxisAtRate(0, 0.001), 0);
  clock_.Set(0x00000300u);  // 1024 ms after the start
  ASSERT_EQ(eq_.ReadAxisPosition(0), 0);
  EXPECT_NEAR(eq_.Axes().Position(0), start + 0.001 * 1.024, 1e-15);
}

// A rate motion read every ten days keeps its course for 60 days, longer
// than the tick counter's signed (25 days) and unsigned (49 days) range.
TEST_F(SimulatedAxisTest, ASegmentRunsOnForLongerThanTheTickCounterRange) {
  const double rate = 1e-7;  // rad/s
  const double start = eq_.Axes().Position(0);
  ASSERT_EQ(eq_.SlewAxisAtRate(0, rate), 0);
  constexpr uint32_t kDay = 24u * 3600u * 1000u;
  for (uint32_t day = 10; day <= 60; day += 10) {
    clock_.Set(kT + day * kDay);
    ASSERT_EQ(eq_.ReadAxisPosition(0), 0);
    EXPECT_NEAR(eq_.Axes().Position(0), start + rate * day * 86400.0, 1e-9) << "day " << day;
  }
}

}  // namespace
}  // namespace sidera
