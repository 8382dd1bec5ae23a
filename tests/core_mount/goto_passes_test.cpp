// The goto passes, run directly on the test thread against the scripted
// axes: which angle each pass commands, when a goto counts as arrived, and
// how the sky target moves with the clock.
#include <cmath>
#include <cstdlib>

#include "platform/debug_log.h"
#include "scripted_mount.h"

namespace sidera::testing {
namespace {

class GotoPasses : public ::testing::Test {
 protected:
  platform::ManualTickSource clock_{1000, 1000.0};
  platform::ScopedTickSource installed_{clock_};
};

// The angles (degrees) commanded to `axis`, in order.
std::vector<double> Commanded(const ScriptedMount& m, int axis) {
  std::vector<double> angles;
  for (const Call& c : m.Calls()) {
    if (c.op == Op::kGoto && c.axis == axis)
      angles.push_back(std::round(c.value / kPi * 180.0 * 1e9) / 1e9);
  }
  return angles;
}

TEST_F(GotoPasses, CommandedAnglesAndArrival) {
  const struct {
    const char* name;
    int equatorial, refinement;
    double approach, offset, error;  // degrees
    double from0, from1, to0, to1;
    std::vector<double> want0, want1;
  } cases[] = {
      // A long positive move stops 1 deg short, then goes straight (1 deg is
      // not > 1.2 deg); a negative move overshoots by 0.5 deg and comes back.
      {"approach", 0, 0, 1, 0.5, 0, 0, 0, 10, -5, {9, 10}, {-5.5, -5}},
      // Within the goto tolerance a goto has arrived; a short move onto the
      // target ends it within 3", an axis within 1.5" is left alone.
      {"within 2' on both axes", 0, 0, 0, 0, 0, 0.01, 0, 0, 0.02, {0}, {0.02}},
      {"one axis already there", 0, 0, 0, 0, 0, 0, 0, 5, 0.0003, {5}, {}},
      {"within 3\"", 0, 0, 0, 0, 0, 0.0005, 0, 0, 0.0005, {}, {}},
      {"one axis within 1.5\"", 0, 0, 0, 0, 0, 0.0003, 0, 0, 0.001, {}, {0.001}},
      // Declination never turns more than just under a half turn at once.
      {"-340 deg on axis 1", 1, 1, 0, 0, 0, 0, 170, 0, -170, {}, {-9, -170}},
      {"+345 deg on axis 1", 1, 1, 0, 0, 0, 0, -170, 0, 175, {}, {9, 175}},
      {"no refinement", 1, 0, 0, 0, 0, 0, 170, 0, -170, {}, {-170}},
      {"not equatorial", 0, 1, 0, 0, 0, 0, 170, 0, -170, {}, {-170}},
      {"never on axis 0", 1, 1, 0, 0, 0, 170, 0, -170, 0, {-170}, {}},
      // Each axis must arrive, even where the sky does not tell them apart:
      // with the declination axis at the pole, axis 0 still goes, and a
      // move that stopped short is finished.
      {"axis 0 with axis 1 at the pole", 1, 0, 0, 0, 0, -90, 90, 0, 90, {0}, {}},
      {"park from near the pole", 1, 0, 2, 0, 0, -120, 89, -90, 90, {-92, -90}, {90}},
      // A whole turn apart is the same axis position.
      {"axis 0 a turn away", 0, 0, 0, 0, 0, -360, 0, 0, 10, {}, {10}},
      // The declination overshoot ends at the bottom of the axis's range.
      {"overshoot floor at -90", 1, 0, 0, 0.5, 0, 0, 0, 0, -89.8, {}, {-90, -89.8}},
      // The axes always stop 1 deg past the command: six passes, then done.
      {"six passes", 0, 0, 0, 0, 1, 0, 0, 20, 20, std::vector<double>(6, 20),
       std::vector<double>(6, 20)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedMount m(c.equatorial);
    m.RefineEquatorialGotos(c.refinement);
    m.pollsPerGoto = 2;
    GotoParameters p = m.GetGotoParameters();
    p.approachDistance = Deg(c.approach);
    p.approachOffset = Deg(c.offset);
    m.SetGotoParameters(p);
    m.gotoError = Deg(c.error);
    m.Axes().NotePosition(0, Deg(c.from0));
    m.Axes().NotePosition(1, Deg(c.from1));
    m.Axes().NoteDirection(0, false);
    m.Axes().NoteDirection(1, false);
    const uint32_t command = m.BeginMotion(kBothAxes);
    EXPECT_EQ(m.GotoAxesThread(command, AxisPair{Deg(c.to0), Deg(c.to1)}), kOk);
    EXPECT_EQ(Commanded(m, 0), c.want0);
    EXPECT_EQ(Commanded(m, 1), c.want1);
    if (!c.want0.empty() && !c.want1.empty()) {
      EXPECT_EQ(m.Calls().front().axis, 1);
    }
    // Arrived (or treated so): both directions count as positive, the axes
    // are released and nothing is left moving.
    EXPECT_TRUE(m.Axes().LastDirectionPositive(0));
    EXPECT_TRUE(m.Axes().LastDirectionPositive(1));
    EXPECT_EQ(m.ClaimOn(0) + m.ClaimOn(1) + m.Published().GotoActive(), 0);
    EXPECT_TRUE(m.AxesIdle());
  }
}

// A motion asks the owner of the axes to give way with its command's
// number, and only a motion of an older command heeds it: an older goto
// whose thread asks just as a newer command claims the axes leaves the
// newer goto running to its end. Numbers compare across their wrap.
TEST_F(GotoPasses, OnlyANewerCommandsRequestMakesAGotoGiveWay) {
  constexpr uint32_t kLast = 0x7FFFFFFF;
  const struct {
    uint32_t command, than;
    bool newer;
  } order[] = {{5, 3, true}, {3, 5, false}, {5, 5, false}, {1, kLast, true}, {kLast, 1, false}};
  for (const auto& c : order) {
    EXPECT_EQ(TelescopeMount::IsNewerCommand(c.command, c.than), c.newer)
        << c.command << " " << c.than;
  }

  ScriptedMount m;
  const uint32_t older = m.BeginMotion(kBothAxes);
  m.AskToGiveWay(older);
  const uint32_t newer = m.BeginMotion(kBothAxes);
  EXPECT_FALSE(m.MustGiveWay(newer));
  EXPECT_EQ(m.GotoAxesThread(newer, AxisPair{0.2, 0.3}), kOk);
  m.AskToGiveWay(newer);
  m.AskToGiveWay(older);  // late: the newer request stands
  EXPECT_TRUE(m.MustGiveWay(older));
  m.WithdrawGiveWay(older);
  EXPECT_TRUE(m.MustGiveWay(older));
  m.WithdrawGiveWay(newer);
  EXPECT_FALSE(m.MustGiveWay(older));
}

// The sky target given 36 s ago, with the tick counter wrapping in between,
// has moved on by 36 s of sidereal rate plus the lead time; arrived 30"
// ahead of it (the lead time), a short move takes axis 0 back onto it.
TEST_F(GotoPasses, SkyTargetMovesWithTheClockAcrossATickWrap) {
  ScriptedMount m;
  GotoParameters p = m.GetGotoParameters();
  p.leadTime = 2.0;
  m.SetGotoParameters(p);
  clock_.Set(35000);
  const uint32_t command = m.BeginMotion(kBothAxes);
  EXPECT_EQ(m.GotoSkyThread(command, SkyPoint{0.3, 0.1}, 0xFFFFFFFFu - 999u), kOk);
  // Arrived: tracking was started and is wanted again.
  ASSERT_EQ(m.Trace(), "G1 G0 G0 T0");
  EXPECT_NEAR(m.Calls()[0].value, 0.1, 1e-12);
  EXPECT_NEAR(m.Calls()[1].value, 0.3 + 38.0 * kTwoPi / 86164.09065, 1e-12);
  EXPECT_NEAR(m.Calls()[2].value, 0.3 + 36.0 * kTwoPi / 86164.09065, 1e-12);
  EXPECT_TRUE(m.TrackingRequested());
}

// A sky goto still judges arrival on the sky: pointing at the pole, any
// hour angle is already there and only tracking starts.
TEST_F(GotoPasses, ASkyGotoToWhereTheAxesPointCommandsNothing) {
  ScriptedMount m(1);
  m.Axes().NotePosition(0, -1.0);
  m.Axes().NotePosition(1, kPi / 2);
  const uint32_t command = m.BeginMotion(kBothAxes);
  EXPECT_EQ(m.GotoSkyThread(command, SkyPoint{0.5, kPi / 2}, platform::Now()), kOk);
  EXPECT_EQ(m.Trace(), "T0");
}

// With the motion log on, each pass is written with where the axes are,
// how far they still have to go and what each axis is sent to.
TEST_F(GotoPasses, TheMotionLogShowsEachPass) {
  ScriptedMount m;
  setenv("SIDERA_DEBUG", "motion", 1);
  platform::ReloadDebugTopics();
  ::testing::internal::CaptureStderr();
  const uint32_t command = m.BeginMotion(kBothAxes);
  EXPECT_EQ(m.GotoAxesThread(command, AxisPair{Deg(5), 0.0}), kOk);
  const std::string log = ::testing::internal::GetCapturedStderr();
  unsetenv("SIDERA_DEBUG");
  platform::ReloadDebugTopics();
  const std::string number = "axes goto #" + std::to_string(command);
  for (const std::string& line :
       {number + " takes the axes",
        number + " pass 1: at 0.0000 0.0000, 5.0000 deg from 5.0000 0.0000; axis 1 stays at "
                 "0.0000, axis 0 -> 5.0000\n",
        number + " pass 2: at 5.0000 0.0000, 0.0000 deg from 5.0000 0.0000: arrived\n",
        number + " ends (0): arrived\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
  }
}

}  // namespace
}  // namespace sidera::testing
