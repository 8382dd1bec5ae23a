// What the serial line of every hardware family guarantees a host, through
// the exported operations against each family's controller emulator: a stop
// is never kept waiting behind another thread's exchange; a controller that
// falls silent ends every motion and is reported, whether the host polls or
// not; and no finite angle overflows or is cut short on its way to the wire.
// The figures (how soon) are in bench_line_safety; the tests here learn what
// happened on the wire from the emulators' request logs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "tests/line_safety/line_family.h"
#include "tests/support/emulated_mount_test.h"

namespace sidera::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using Session = MountOnLine;

bool AnAxisSilent() {
  TelescopeMount* m = g_mount;
  return m != nullptr && (m->AxisSilent(0) || m->AxisSilent(1));
}

// A read waits for a reply the controller sends 400 ms late; a stop from
// another thread meanwhile reaches the controller while that read still
// waits (the read is cut short, which counts as no failure of the line, and
// is sent again once the stop has had its turn). The stop gets its own
// reply and the read its own, not each other's or the late one.
TEST(LineSafety, AStopGoesOutWhileAnotherThreadWaitsForASlowReply) {
  for (int family = 1; family <= 3; ++family) {
    const NewMountSettings readOnLine({.readOutWindowMs = 0});  // the read-out goes to the line
    Session s(family, false);
    SCOPED_TRACE(s.line->Name());
    ASSERT_EQ(s.created, 0);
    s.line->SetReplyDelay(400);
    s.line->ClearRequests();
    int read = -1;
    std::thread reader([&] {
      double angle = 0;
      read = GetAxisPosition(0, &angle);
    });
    const auto asked = s.line->Arrival(Wire::kRead, 0, 3000);
    ASSERT_TRUE(asked.has_value());
    const int stopped = StopAxis(1);
    const auto halted = s.line->Arrival(Wire::kHalt, 1, 3000);
    reader.join();
    ASSERT_TRUE(halted.has_value());
    EXPECT_LT(*halted - *asked, milliseconds(400)) << "before the read's reply was due";
    EXPECT_EQ(stopped, 0) << "the stop's own reply, not the read's";
    EXPECT_EQ(read, 0) << "the read cut short read again";
    EXPECT_FALSE(AnAxisSilent());
    s.line->SetReplyDelay(0);
  }
}

// A controller falls silent, the port staying open, while the mount moves:
// the library finds it by itself, without a host that polls, and every
// motion ends; read-outs and commands report the axis; once the controller
// answers again, the first command works. The host polls at 0, 25 or 100 Hz
// (faster than the read-out window: most of its read-outs are answered from
// readings kept, which a silent axis never is).
TEST(LineSafety, ASilentControllerEndsEveryMotionAtAnyPollingRate) {
  const struct {
    int family;
    const char* motion;
    int hz;
  } cases[] = {
      {1, "goto", 25},  {1, "slew", 0},   {1, "tracking", 100},
      {2, "goto", 0},   {2, "slew", 100}, {2, "tracking", 25},
      {3, "goto", 100}, {3, "slew", 25},  {3, "tracking", 0},
  };
  for (const auto& c : cases) {
    const bool tracking = std::string(c.motion) == "tracking";
    Session s(c.family, tracking && c.family != 2);
    SCOPED_TRACE(s.line->Name() + ", " + c.motion + ", polled at " + std::to_string(c.hz) + " Hz");
    ASSERT_EQ(s.created, 0);
    double at = 0;
    ASSERT_EQ(GetAxisPosition(0, &at), 0);
    if (tracking) {
      ASSERT_EQ(SetTracking(1), 0);
    } else if (std::string(c.motion) == "slew") {
      ASSERT_EQ(MoveAxis(0, Deg(1.0)), 0);
    } else {
      ASSERT_EQ(GotoAxis(0, at + Deg(40)), 0);
    }
    ASSERT_TRUE(WaitFor([&] { return s.line->Moving(0); }, 5000)) << "the motion runs";
    StatePoller poller(c.hz);
    s.line->SetSilent(true);
    ASSERT_TRUE(WaitFor(AnAxisSilent, 6000)) << "the library finds the silence itself";
    ASSERT_TRUE(WaitFor(
        [] { return MotionFinished() && g_mount->Published().MountState() != MOUNT_TRACKING; },
        6000))
        << "every motion ends";
    EXPECT_FALSE(g_mount->TrackingRequested());
    uint32_t word = 0;
    const int reported = GetMountState(&word);
    EXPECT_TRUE(reported == 100 || reported == 101) << reported;
    const int silent = g_mount->AxisSilent(0) ? 0 : 1;
    EXPECT_EQ(MoveAxis(silent, Deg(0.5)), 100 + silent) << "a command to it fails";
    if (c.hz != 0) {
      EXPECT_TRUE(WaitFor([&] { return poller.Seen() != 0; }, 3000)) << "the polling host is told";
    }
    poller.Stop();
    s.line->SetSilent(false);
    EXPECT_EQ(MoveAxis(silent, Deg(0.5)), 0) << "the first command after the line answers works";
    EXPECT_EQ(StopAxis(silent), 0);
  }
}

// Gotos and syncs to angles far beyond a turn (the controllers count one
// turn in 24 bits): nothing overflows (the sanitizer builds would stop at
// it), and a goto goes out and can be stopped.
TEST(LineSafety, ExtremeFiniteAnglesGoOutWithinOneTurn) {
  const double angles[] = {-1e4, 100.0, 1e300};
  for (int family = 1; family <= 3; ++family) {
    for (bool equatorial : {false, true}) {
      if (equatorial && MakeLineFamily(family)->EquatorialModel() < 0) continue;
      Session s(family, equatorial);
      SCOPED_TRACE(s.line->Name() + (equatorial ? ", equatorial" : ", alt-azimuth"));
      ASSERT_EQ(s.created, 0);
      for (double angle : angles) {
        SCOPED_TRACE(angle);
        ASSERT_TRUE(WaitFor([&] { return !s.line->Moving(0) && !s.line->Moving(1); }, 5000));
        EXPECT_EQ(SyncAxis(1, angle), 0);
        s.line->ClearRequests();
        EXPECT_EQ(GotoAxes(angle, -angle), 0);
        EXPECT_TRUE(s.line->Arrival(Wire::kStart, 0, 3000) || s.line->Arrival(Wire::kStart, 1, 100))
            << "a goto went out";
        EXPECT_EQ(StopAxis(0), 0);
        EXPECT_EQ(StopAxis(1), 0);
        ASSERT_TRUE(WaitFor(MotionFinished, 5000));
      }
    }
  }
}

}  // namespace
}  // namespace sidera::testing
