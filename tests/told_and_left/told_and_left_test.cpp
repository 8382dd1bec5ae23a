// What a host reads and what the mount is left doing, through the exported
// operations against each family's controller emulator.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "sidera/include/sidera.h"
#include "tests/line_safety/line_family.h"
#include "tests/support/emulated_mount_test.h"

namespace sidera::testing {
namespace {

bool BothAxesStopped() {
  uint32_t s0 = 0, s1 = 0;
  return GetAxisState(0, &s0) == 0 && GetAxisState(1, &s1) == 0 && (s0 & SIDERA_AXIS_STOPPED) &&
         (s1 & SIDERA_AXIS_STOPPED);
}

// Every family's models, and the hex-command one with its slow brakes.
const struct {
  int family;
  bool equatorial;
  int fault;
} kMounts[] = {{1, false, 0}, {1, true, 0}, {2, false, 0},
               {3, false, 0}, {3, true, 0}, {3, true, 7}};

// After SetTracking(0) the host never reads "tracking" again, also while a
// controller still brakes (hex commands, fault 7: over a second from the
// sidereal rate) and while another thread polls; once the axes stand, the
// mount reads stopped and the controllers do not move.
TEST(HostView, TrackingOffIsWhatTheHostReads) {
  for (const auto& c : kMounts) {
    MountOnLine s(c.family, c.equatorial, true);
    SCOPED_TRACE(s.line->Name() + (c.equatorial ? ", equatorial" : ", alt-azimuth") + ", fault " +
                 std::to_string(c.fault));
    ASSERT_EQ(s.created, 0);
    s.line->SetFault(c.fault, 0);
    ASSERT_EQ(SetTracking(1), 0);
    ASSERT_TRUE(Eventually([] { return MountStateNow() == SIDERA_MOUNT_TRACKING; }, 5000));
    ASSERT_TRUE(Eventually([&] { return s.line->Moving(0); }, 5000));
    std::atomic<bool> stop{false};
    std::thread poller([&] {
      uint32_t w = 0;
      while (!stop) (void)GetMountState(&w);
    });
    ASSERT_EQ(SetTracking(0), 0);
    bool tracked = false;
    const bool stood = Eventually(
        [&] {
          tracked = tracked || MountStateNow() == SIDERA_MOUNT_TRACKING;
          return BothAxesStopped() && MountStateNow() == SIDERA_MOUNT_STOPPED;
        },
        8000);
    stop = true;
    poller.join();
    EXPECT_FALSE(tracked);
    EXPECT_TRUE(stood);
    // A command without a reply is done once written: the controller may
    // take it a moment later.
    EXPECT_TRUE(Eventually([&] { return !s.line->Moving(0) && !s.line->Moving(1); }, 2000));
    EXPECT_EQ(MountStateNow(), static_cast<uint32_t>(SIDERA_MOUNT_STOPPED));
    s.line->SetFault(0, 0);
  }
}

// Read right after a rate move or a goto was answered 0, and before its
// thread has put it on the wire, neither the mount nor the axis reads the
// state from before the command: not "stopped".
TEST(HostView, AReadOutRightAfterACommandShowsTheCommand) {
  for (const auto& c : kMounts) {
    if (c.fault != 0) continue;
    MountOnLine s(c.family, c.equatorial, true);
    SCOPED_TRACE(s.line->Name() + (c.equatorial ? ", equatorial" : ", alt-azimuth"));
    ASSERT_EQ(s.created, 0);
    for (int round = 0; round < 5; ++round) {
      ASSERT_EQ(MoveAxis(0, Deg(1.0)), 0);
      uint32_t mount = 0, axis = 0;
      ASSERT_EQ(GetAxisState(0, &axis), 0);
      ASSERT_EQ(GetMountState(&mount), 0);
      EXPECT_EQ(axis & SIDERA_AXIS_STOPPED, 0u) << "after MoveAxis, round " << round;
      EXPECT_EQ(mount, static_cast<uint32_t>(SIDERA_MOUNT_SLEWING)) << "round " << round;
      ASSERT_EQ(StopAxis(0), 0);
      ASSERT_TRUE(Eventually(BothAxesStopped, 8000));
      double at0 = 0, at1 = 0;
      ASSERT_EQ(GetAxisPosition(0, &at0), 0);
      ASSERT_EQ(GetAxisPosition(1, &at1), 0);
      ASSERT_EQ(GotoAxes(at0 + Deg(5), at1 + Deg(5)), 0);
      ASSERT_EQ(GetAxisState(1, &axis), 0);
      ASSERT_EQ(GetMountState(&mount), 0);
      EXPECT_EQ(axis & SIDERA_AXIS_STOPPED, 0u) << "after GotoAxes, round " << round;
      EXPECT_EQ(mount, static_cast<uint32_t>(SIDERA_MOUNT_GOTO)) << "round " << round;
      ASSERT_EQ(StopAxis(0), 0);
      ASSERT_EQ(StopAxis(1), 0);
      ASSERT_TRUE(Eventually(BothAxesStopped, 8000));
    }
  }
}

// A rate move and a tracking start answered 0 are on the wire before
// DestroyMount returns, however soon it follows, and the controller keeps
// them: the host was told they had started.
TEST(HostView, WhatTheHostWasToldHadStartedIsOnTheWireAfterDestroyMount) {
  for (const auto& c : kMounts) {
    if (c.fault != 0) continue;  // the brakes play no part here
    MountOnLine s(c.family, c.equatorial, true);
    SCOPED_TRACE(s.line->Name() + (c.equatorial ? ", equatorial" : ", alt-azimuth"));
    ASSERT_EQ(s.created, 0);
    s.line->ClearRequests();
    const int axis = c.equatorial ? 1 : 0;
    ASSERT_EQ(MoveAxis(axis, Deg(1.0)), 0);
    if (c.equatorial) {
      ASSERT_EQ(SetTracking(1), 0);
    }
    EXPECT_EQ(DestroyMount(), 0);
    EXPECT_TRUE(s.line->Arrival(Wire::kStart, axis, 100).has_value());
    EXPECT_TRUE(s.line->Moving(axis));
    if (c.equatorial) {
      EXPECT_TRUE(s.line->Moving(0)) << "tracking";
    }
  }
}

// A goto whose axes the controllers report in their goto but that do not
// move ends within seconds with the no-response code of the stalled axis,
// on every family, and both axes are halted; it is not left running.
TEST(HostView, AGotoWhoseAxesDoNotMoveEndsWithTheAxisCode) {
  for (int family = 1; family <= 3; ++family) {
    MountOnLine s(family, false, true);
    SCOPED_TRACE(s.line->Name());
    ASSERT_EQ(s.created, 0);
    double at0 = 0, at1 = 0;
    ASSERT_EQ(GetAxisPosition(0, &at0), 0);
    ASSERT_EQ(GetAxisPosition(1, &at1), 0);
    s.line->SetFault(s.line->FaultKinds() - 1, 0);
    ASSERT_EQ(GotoAxes(at0 + Deg(30), at1 + Deg(20)), 0);
    ASSERT_TRUE(Eventually([] { return MountStateNow() == SIDERA_MOUNT_GOTO; }, 5000));
    ASSERT_TRUE(Eventually([] { return MotionFinished(); }, 20000));
    EXPECT_NE(MountStateNow(), static_cast<uint32_t>(SIDERA_MOUNT_GOTO));
    double p0 = 0;
    ASSERT_EQ(GetAxisPosition(0, &p0), 0);
    EXPECT_LT(std::fabs(p0 - at0), Deg(1)) << "it never got anywhere";
    EXPECT_FALSE(s.line->Moving(0));
    EXPECT_FALSE(s.line->Moving(1));
    s.line->SetFault(0, 0);
  }
}

// Every family's driver, each kind of model it has, against every family's
// controller emulator: its own connects; another family's is refused and no
// mount is left: bad data (4) where the driver recognises replies of another
// shape (the byte-command driver always does for a packet-bus controller),
// else no reply it can use from axis 0 (100).
TEST(HostView, AControllerOfAnotherFamilyIsRefusedAtConnect) {
  for (int controller = 1; controller <= 3; ++controller) {
    for (int driver = 1; driver <= 3; ++driver) {
      const std::unique_ptr<LineFamily> family = MakeLineFamily(driver);
      for (const int model : {family->AltAzModel(), family->EquatorialModel()}) {
        if (model < 0) continue;
        std::unique_ptr<LineFamily> line = MakeLineFamily(controller, true);
        SCOPED_TRACE(line->Name() + " controller, model " + std::to_string(model));
        ASSERT_TRUE(line->Start());
        setenv("SIDERA_SERIAL_PATTERN", line->Device().c_str(), 1);
        const int created = CreateMount(model, 0.6, 100.0);
        if (driver == controller) {
          EXPECT_EQ(created, 0);
        } else if (driver == 2 && controller == 1) {
          EXPECT_EQ(created, SIDERA_INVALID_PARAMETER);
        } else {
          EXPECT_TRUE(created == SIDERA_INVALID_PARAMETER || created == SIDERA_NO_RESPONSE_AXIS0)
              << created;
        }
        uint32_t state = 0;
        EXPECT_EQ(GetMountState(&state), driver == controller ? 0 : SIDERA_NO_MOUNT);
        EXPECT_EQ(DestroyMount(), 0);
        line->Stop();
      }
    }
  }
}

}  // namespace
}  // namespace sidera::testing
