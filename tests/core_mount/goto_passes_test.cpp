// The goto passes, run directly on the test thread against the scripted
// axes: which angle each pass commands, when a goto counts as arrived, and
// how the sky target moves with the clock.
#include <cmath>

#include "scripted_mount.h"

namespace sidera::testing {
namespace {

class GotoPasses : public ::testing::Test {
 protected:
  platform::ManualTickSource clock_{1000, 1000.0};
  platform::ScopedTickSource installed_{clock_};

  // Runs an axis goto from `from` to `to` (degrees) and returns its result.
  MountResult AxisGoto(ScriptedMount& m, double from0, double from1, double to0, double to1) {
    m.ClearCalls();
    m.axisPosition[0] = Deg(from0);
    m.axisPosition[1] = Deg(from1);
    m.axisTarget[0] = Deg(to0);
    m.axisTarget[1] = Deg(to1);
    m.axisMoving[0] = m.axisMoving[1] = 1;
    return m.GotoAxesThread();
  }
};

// The angles (degrees) commanded to `axis`, in order.
std::vector<double> Commanded(const ScriptedMount& m, int axis) {
  std::vector<double> angles;
  for (const Call& c : m.CallsOf(Op::kGoto)) {
    if (c.axis == axis) angles.push_back(c.value / kPi * 180.0);
  }
  return angles;
}

void ExpectAngles(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << i;
}

TEST_F(GotoPasses, LongPositiveMovesStopShortAndNegativeMovesOvershoot) {
  ScriptedMount m;
  m.approachDistance = Deg(1);
  m.approachOffset = Deg(0.5);
  m.pollsPerGoto = 2;
  EXPECT_EQ(AxisGoto(m, 0, 0, 10, -5), kOk);
  // Axis 0: +10 deg stops 1 deg short, then the 1 deg rest (not > 1.2 deg)
  // goes straight. Axis 1: -5 deg overshoots to -5.5, then +0.5 deg back.
  ExpectAngles(Commanded(m, 0), {9, 10});
  ExpectAngles(Commanded(m, 1), {-5.5, -5});
  EXPECT_EQ(m.Calls().front().axis, 1) << "axis 1 is commanded first";
  EXPECT_EQ(m.axisMoving[0], 0);
  EXPECT_EQ(m.axisMoving[1], 0);
  EXPECT_TRUE(m.idleEvent.IsSet());
  EXPECT_EQ(m.gotoActive, 0);
}

TEST_F(GotoPasses, ArrivalWithinToleranceCommandsNothingAndResetsDirections) {
  ScriptedMount m;
  m.axisLastDirectionPositive[0] = m.axisLastDirectionPositive[1] = 0;
  EXPECT_EQ(AxisGoto(m, 0.01, 0, 0, 0.02), kOk);  // 0.022 deg apart, tolerance 2'
  EXPECT_TRUE(m.Calls().empty());
  EXPECT_EQ(m.axisLastDirectionPositive[0], 1);
  EXPECT_EQ(m.axisLastDirectionPositive[1], 1);
  // One axis already there: only the other is commanded.
  EXPECT_EQ(AxisGoto(m, 0, 0, 5, 0.01), kOk);
  ExpectAngles(Commanded(m, 0), {5});
  ExpectAngles(Commanded(m, 1), {});
}

TEST_F(GotoPasses, DeclinationNeverTurnsMoreThanJustUnderAHalfTurn) {
  const struct {
    int equatorial, refinement, axis;
    double from, to;
    std::vector<double> commanded;
  } cases[] = {
      {1, 1, 1, 170, -170, {-9, -170}},  // -340 deg: -179 deg first
      {1, 1, 1, -170, 175, {9, 175}},    // +345 deg: +179 deg first
      {1, 0, 1, 170, -170, {-170}},     {0, 1, 1, 170, -170, {-170}},
      {1, 1, 0, 170, -170, {-170}},  // never on axis 0
  };
  for (const auto& c : cases) {
    ScriptedMount m(c.equatorial);
    m.equatorialGotoRefinement = c.refinement;
    if (c.axis == 1) {
      EXPECT_EQ(AxisGoto(m, 0, c.from, 0, c.to), kOk);
    } else {
      EXPECT_EQ(AxisGoto(m, c.from, 0, c.to, 0), kOk);
    }
    SCOPED_TRACE(c.from);
    ExpectAngles(Commanded(m, c.axis), c.commanded);
    ExpectAngles(Commanded(m, 1 - c.axis), {});
  }
}

TEST_F(GotoPasses, AtMostSixPassesThenTreatedAsArrived) {
  ScriptedMount m;
  m.gotoError = Deg(1);  // the axes always stop 1 deg past the command
  m.axisLastDirectionPositive[0] = 0;
  EXPECT_EQ(AxisGoto(m, 0, 0, 20, 20), kOk);
  EXPECT_EQ(Commanded(m, 0).size(), 6u);
  EXPECT_EQ(Commanded(m, 1).size(), 6u);
  EXPECT_EQ(m.axisLastDirectionPositive[0], 1);
}

TEST_F(GotoPasses, SkyTargetMovesWithTheClockAcrossATickWrap) {
  ScriptedMount m;
  m.gotoLeadTime = 2.0;
  // Given 36 s ago, with the counter wrapping in between.
  m.gotoTarget.Store(SkyPoint{0.3, 0.1});
  m.gotoStartTick = 0xFFFFFFFFu - 999u;
  clock_.Set(35000);
  m.axisMoving[0] = m.axisMoving[1] = 1;
  EXPECT_EQ(m.GotoSkyThread(), kOk);
  const std::vector<Call> gotos = m.CallsOf(Op::kGoto);
  ASSERT_EQ(gotos.size(), 2u);
  EXPECT_NEAR(gotos[0].value, 0.1, 1e-12);
  EXPECT_NEAR(gotos[1].value, 0.3 + 38.0 * kTwoPi / 86164.09065, 1e-12);
  // Arrived: tracking was started and is wanted again.
  EXPECT_EQ(m.CallsOf(Op::kStartTracking).size(), 1u);
  EXPECT_EQ(m.trackingRequested, 1);
  EXPECT_EQ(m.mountState, MOUNT_STOPPED);
}

}  // namespace
}  // namespace sidera::testing
