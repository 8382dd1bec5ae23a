// The outcome a host reads with GetMotionOutcome for each way a goto ends
// (arrived, stopped, replaced by a newer command, the line lost), on the
// simulators and on each hardware family's controller emulator; and the
// outcome of a rate move. The host learns its goto's number from the record
// right after the goto answered 0, as a host program does.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "sidera/include/sidera.h"
#include "tests/line_safety/line_family.h"
#include "tests/support/emulated_mount_test.h"

namespace sidera::testing {
namespace {

MotionOutcome Read(int axis = SIDERA_OUTCOME_MOUNT) {
  MotionOutcome o{};
  EXPECT_EQ(GetMotionOutcome(axis, &o), 0);
  return o;
}

// Starts an axis goto `offset` degrees from where the axes stand (axis 1
// toward the middle of its range) and returns its number.
uint32_t GotoBy(double offset) {
  AxisPair at{};
  EXPECT_EQ(GetAxisPositions(&at), 0);
  const double down = at.axis1 > 0 ? -1.0 : 1.0;
  EXPECT_EQ(GotoAxes(at.axis0 + Deg(offset), at.axis1 + down * Deg(offset / 2)), 0);
  return Read().started;
}

// The axes as they stand now.
AxisPair AxesNow() {
  AxisPair at{};
  EXPECT_EQ(GetAxisPositions(&at), 0);
  return at;
}

// Waits until the axes have left `from` by half a degree: the goto's thread
// has them (the mount reads "goto" from the command on, before that).
bool UnderWay(const AxisPair& from) {
  return WaitFor(
      [&] {
        const AxisPair now = AxesNow();
        return std::fabs(now.axis0 - from.axis0) > Deg(0.5) ||
               std::fabs(now.axis1 - from.axis1) > Deg(0.5);
      },
      10000);
}

// The mount's record once goto `command` has ended (or the last one read).
MotionOutcome EndOf(uint32_t command, int limitMs = 60000) {
  MotionOutcome o{};
  (void)WaitFor([&] { return (o = Read()).command == command; }, limitMs);
  return o;
}

// A mount under test: a simulator (family 0, model 6 or 7) or a family's
// model on its emulator.
struct Mount {
  std::unique_ptr<MountOnLine> line;
  int created = -1;
  Mount(int family, int simulator) {
    if (family == 0) {
      created = CreateMount(simulator, 0.6, 100.0);
    } else {
      line = std::make_unique<MountOnLine>(family, false);
      created = line->created;
    }
  }
  ~Mount() {
    if (!line) (void)DestroyMount();
  }
};

TEST(MotionOutcome, EveryWayAGotoEndsOnEveryFamily) {
  const struct {
    int family;  // 0: simulator
    int simulator;
    const char* name;
  } mounts[] = {{0, 6, "equatorial simulator"},
                {0, 7, "alt-azimuth simulator"},
                {1, 0, "packet bus"},
                {2, 0, "byte commands"},
                {3, 0, "hex commands"}};
  for (const auto& m : mounts) {
    SCOPED_TRACE(m.name);
    Mount mount(m.family, m.simulator);
    ASSERT_EQ(mount.created, 0);

    // Arrived: the final error is within the tolerance; the axes have the
    // same record. A sky goto to where the mount points arrives at once.
    uint32_t mine = GotoBy(3.0);
    MotionOutcome o = EndOf(mine);
    EXPECT_EQ(o.command, mine);
    EXPECT_EQ(o.outcome, SIDERA_OUTCOME_ARRIVED);
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.motion, SIDERA_MOTION_AXES_GOTO);
    EXPECT_LE(o.error, Deg(1.0 / 30));
    EXPECT_EQ(Read(0).command, mine);
    EXPECT_EQ(Read(1).outcome, SIDERA_OUTCOME_ARRIVED);
    SkyPoint sky{};
    ASSERT_EQ(GetSkyPosition(&sky), 0);
    ASSERT_EQ(GotoSky(sky.hourAngle, sky.declination), 0);
    mine = Read().started;
    o = EndOf(mine);
    EXPECT_EQ(o.outcome, SIDERA_OUTCOME_ARRIVED);
    EXPECT_EQ(o.motion, SIDERA_MOTION_SKY_GOTO);
    EXPECT_EQ(SetTracking(0), 0);

    // Stopped by a caller.
    AxisPair from = AxesNow();
    mine = GotoBy(40.0);
    ASSERT_TRUE(UnderWay(from));
    EXPECT_EQ(StopAxis(1), 0);
    o = EndOf(mine);
    EXPECT_EQ(o.outcome, SIDERA_OUTCOME_STOPPED);
    EXPECT_EQ(o.code, SIDERA_USER_INTERRUPT);
    EXPECT_GT(o.error, Deg(1.0)) << "it was stopped on its way";
    ASSERT_TRUE(WaitFor(MotionFinished, 10000));

    // Replaced by a newer goto: the older one's record comes first, and
    // the newer one's number is the one started.
    from = AxesNow();
    const uint32_t older = GotoBy(40.0);
    ASSERT_TRUE(UnderWay(from));
    const uint32_t newer = GotoBy(-20.0);
    EXPECT_NE(newer, older);
    o = EndOf(older, 10000);
    EXPECT_EQ(o.outcome, SIDERA_OUTCOME_REPLACED) << "code " << o.code << " axis " << o.axis;
    EXPECT_EQ(o.code, SIDERA_USER_INTERRUPT);
    EXPECT_EQ(o.started, newer);

    // A rate move records that it started; a stop during the newer goto
    // records the goto as stopped and the axis's record follows.
    ASSERT_EQ(MoveAxis(0, Deg(0.5)), 0);
    const uint32_t move = Read(0).started;
    ASSERT_TRUE(WaitFor([&] { return Read(0).command == move; }, 10000));
    EXPECT_EQ(Read(0).outcome, SIDERA_OUTCOME_STARTED);
    EXPECT_EQ(Read(0).motion, SIDERA_MOTION_RATE);
    o = EndOf(newer, 10000);
    EXPECT_EQ(o.outcome, SIDERA_OUTCOME_REPLACED) << "the hand move took axis 0";
    EXPECT_EQ(StopAxis(0), 0);
    EXPECT_EQ(StopAxis(1), 0);
    ASSERT_TRUE(WaitFor(MotionFinished, 10000));

    if (!mount.line) continue;
    // The line lost: the goto fails with the silent axis's code.
    LineFamily& line = *mount.line->line;
    mine = GotoBy(40.0);
    ASSERT_TRUE(WaitFor([&] { return line.Moving(0) || line.Moving(1); }, 5000));
    line.SetSilent(true);
    o = EndOf(mine, 10000);
    EXPECT_EQ(o.outcome, SIDERA_OUTCOME_FAILED);
    EXPECT_TRUE(o.code == 100 + o.axis && (o.axis == 0 || o.axis == 1))
        << "code " << o.code << " axis " << o.axis;
    line.SetSilent(false);
  }
}

}  // namespace
}  // namespace sidera::testing
