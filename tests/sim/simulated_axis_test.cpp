// The simulated axis drive of models 6 and 7, on a clock stepped by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "sidera/core/telescope_mount.h"
#include "sidera/platform/clock.h"
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
  std::unique_ptr<TelescopeMount> eq_ = std::make_unique<EquatorialSimulator>();
  std::unique_ptr<TelescopeMount> altaz_ = std::make_unique<AltAzSimulator>();

  TelescopeMount& Model(int type) { return type == 6 ? *eq_ : *altaz_; }
};

TEST_F(SimulatedAxisTest, FreshSimulatorsRestAtTheirHomePositions) {
  struct Case {
    int model;
    double axis0, axis1;
    double tolerance;
  };
  for (const Case& c : {Case{6, Deg(-90), Deg(90), Deg(1.0 / 30)}, Case{7, 0.0, 0.0, Deg(0.05)}}) {
    TelescopeMount& m = Model(c.model);
    EXPECT_EQ(m.mountType, c.model);
    double a0 = 1, a1 = 1;
    ASSERT_EQ(m.GetAxisPosition(0, &a0), 0);
    ASSERT_EQ(m.GetAxisPosition(1, &a1), 0);
    EXPECT_DOUBLE_EQ(a0, c.axis0);
    EXPECT_DOUBLE_EQ(a1, c.axis1);
    for (int axis = 0; axis < 2; ++axis) {
      uint32_t state = 0;
      ASSERT_EQ(m.GetAxisState(axis, &state), 0);
      EXPECT_EQ(state, 1u) << "model " << c.model << " axis " << axis;
    }
    EXPECT_NEAR(m.gotoTolerance, c.tolerance, 1e-15);
    EXPECT_NEAR(m.approachOffset, Deg(2.0), 1e-15);
    EXPECT_EQ(m.gotoLeadTime, 2.0);
  }
}

// A goto at the slew speed is seen to arrive only by a refresh that finds
// the position past the target; the position then is the target exactly.
TEST_F(SimulatedAxisTest, GotoArrivesOnlyWhenARefreshPassesTheTarget) {
  struct Case {
    int model;
    int axis;
    double speedDeg;  // slew speed, degrees per second
    double sign;      // direction of the goto
  };
  for (const Case& c : {Case{6, 0, 4, 1}, Case{6, 1, 4, 1}, Case{6, 0, 4, -1}, Case{7, 0, 8, 1},
                        Case{7, 1, 8, 1}, Case{7, 1, 8, -1}}) {
    SCOPED_TRACE(testing::Message()
                 << "model " << c.model << " axis " << c.axis << " sign " << c.sign);
    TelescopeMount& m = Model(c.model);
    clock_.Set(kT);
    const uint32_t moving = c.sign > 0 ? (AXIS_GOTO | AXIS_POSITIVE) : AXIS_GOTO;
    const double start = m.axisPosition[c.axis];
    const double target = start + c.sign * Deg(c.speedDeg);  // one second away
    ASSERT_EQ(m.GotoAxisAngle(c.axis, target), 0);
    EXPECT_EQ(m.axisState[c.axis], moving);

    clock_.Set(kT + 500);
    ASSERT_EQ(m.ReadAxisPosition(c.axis), 0);
    EXPECT_NEAR(m.axisPosition[c.axis], start + c.sign * Deg(c.speedDeg / 2), 1e-12);
    EXPECT_EQ(m.axisState[c.axis], moving);

    clock_.Set(kT + 1100);
    ASSERT_EQ(m.ReadAxisPosition(c.axis), 0);
    EXPECT_EQ(m.axisPosition[c.axis], target);
    EXPECT_EQ(m.axisState[c.axis], AXIS_STOPPED);
  }
}

TEST_F(SimulatedAxisTest, GotoToTheCurrentPositionStopsAtOnceWithoutANewSegment) {
  TelescopeMount& m = *altaz_;
  m.axisStartTick[1] = 7;
  ASSERT_EQ(m.GotoAxisAngle(1, 0.0), 0);
  EXPECT_EQ(m.axisState[1], AXIS_STOPPED);
  EXPECT_EQ(m.axisStartTick[1], 7u);
  clock_.Set(kT + 5000);
  ASSERT_EQ(m.ReadAxisPosition(1), 0);
  EXPECT_EQ(m.axisPosition[1], 0.0);
}

// The goto threads wait for an axis by polling its state only; the state
// read must see the goto end as a position read does.
TEST_F(SimulatedAxisTest, StateReadsSeeAGotoEnd) {
  TelescopeMount& m = *altaz_;
  ASSERT_EQ(m.GotoAxisAngle(0, Deg(8)), 0);
  clock_.Set(kT + 500);
  uint32_t state = 0;
  ASSERT_EQ(m.GetAxisState(0, &state), 0);
  EXPECT_EQ(state, AXIS_GOTO | AXIS_POSITIVE);
  clock_.Set(kT + 1100);
  ASSERT_EQ(m.GetAxisState(0, &state), 0);
  EXPECT_EQ(state, AXIS_STOPPED);
  EXPECT_EQ(m.axisPosition[0], Deg(8));
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
    EXPECT_NEAR(m.axisTarget[c.axis], c.expectedTarget, 1e-12)
        << "model " << c.model << " axis " << c.axis;
  }
}

TEST_F(SimulatedAxisTest, RatesSetTheStateAndTheLastDirection) {
  struct Step {
    double rate;
    uint32_t state;
    int32_t lastPositive;
  };
  TelescopeMount& m = *eq_;
  // Zero keeps the direction of the previous motion, whichever it was.
  for (const Step& s :
       {Step{-0.01, AXIS_RATE_MOTION, 0}, Step{0.0, AXIS_STOPPED, 0},
        Step{0.02, AXIS_RATE_MOTION | AXIS_POSITIVE, 1}, Step{0.0, AXIS_STOPPED, 1}}) {
    ASSERT_EQ(m.SlewAxisAtRate(1, s.rate), 0);
    EXPECT_EQ(m.axisState[1], s.state) << "rate " << s.rate;
    EXPECT_EQ(m.axisLastDirectionPositive[1], s.lastPositive) << "rate " << s.rate;
  }
}

TEST_F(SimulatedAxisTest, SegmentRunsSmoothlyAcrossATickCounterWrap) {
  TelescopeMount& m = *eq_;
  clock_.Set(0xFFFFFF00u);  // 256 ms before the wrap
  const double start = m.axisPosition[0];
  ASSERT_EQ(m.SlewAxisAtRate(0, 0.001), 0);
  clock_.Set(0x00000300u);  // 1024 ms after the start
  ASSERT_EQ(m.ReadAxisPosition(0), 0);
  EXPECT_NEAR(m.axisPosition[0], start + 0.001 * 1.024, 1e-15);
}

TEST_F(SimulatedAxisTest, OnlyTheEquatorialSimulatorAcceptsTheExtensionCommand) {
  EXPECT_EQ(eq_->ExtensionCommand(5), 0);
  EXPECT_EQ(altaz_->ExtensionCommand(5), 300);
}

}  // namespace
}  // namespace sidera
