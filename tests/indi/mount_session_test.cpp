// The driver's use of the C API, run against the library's simulator: a
// sync whose fit fails keeps the alignment in use. (Connections and their
// failures are driven through the INDI server, indi_server_test.py.)
#include "indi/mount_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

#include "host/sky_frame.h"
#include "indi/host_names.h"
#include "platform/debug_log.h"

namespace sidera::indi {
namespace {

TEST(MountSession, AFailedFitKeepsThePreviousAlignment) {
  MountSession session;
  ConnectRequest request;
  request.site = Site{34.2, -118.0, 1700};
  ASSERT_TRUE(session.Connect(request).outcome.ok());
  const host::SkyClock clock(1.0, 1781500000000, host::SkyClock::Steady::now());

  const SyncResult first = session.Sync(clock, -118.0, 5.0, 30.0);
  ASSERT_TRUE(first.outcome.ok()) << first.outcome.text;
  EXPECT_EQ(first.alignment.stars, 1);
  EXPECT_EQ(first.alignment.quality, 100);
  EXPECT_FALSE(first.alignment.saved.empty());

  // A second star 30 degrees away read at the same axis angles: the two
  // observations cannot both hold, and the fit fails.
  const SyncResult second = session.Sync(clock, -118.0, 7.0, 30.0);
  EXPECT_EQ(second.outcome.code, SIDERA_ALIGN_FAILED) << second.outcome.text;
  EXPECT_NE(second.outcome.text.find("Align failed"), std::string::npos);
  EXPECT_EQ(second.alignment.stars, 1);
  EXPECT_EQ(second.alignment.saved, first.alignment.saved);

  AlignmentState cleared;
  EXPECT_TRUE(session.ClearAlignment(&cleared).ok());
  EXPECT_EQ(cleared.stars, 0);
  EXPECT_EQ(cleared.saved, "");
  session.Disconnect();
}

// What the driver keeps in its configuration brings a many-point model back
// after a reconnect with its points: it points as before, and the
// next sync adds to them (a sync near a point replaces it). A damaged text
// is refused; an earlier version's 200-byte record still loads.
TEST(MountSession, TheSavedModelComesBackWithItsPoints) {
  MountSession session;
  ConnectRequest request;
  request.site = Site{34.2, -118.0, 1700};
  ASSERT_TRUE(session.Connect(request).outcome.ok());
  const host::SkyClock clock(1.0, 1781500000000, host::SkyClock::Steady::now());
  // A star `hoursEast` of the meridian (east of the pier, so the axes read
  // hour angle and declination), centred by a mount whose axes read 1'
  // and 0.5' more than the nominal angles: the axes are set there, then
  // synced on the star.
  const auto syncNear = [&](double hoursEast, double decDegrees) {
    const double lst =
        host::LocalApparentSiderealTimeAt(-118.0, clock.UtcMillis(host::SkyClock::Steady::now()));
    const double ra = std::remainder(lst + hoursEast / 12.0 * kPi, 2 * kPi);
    const double arcmin = kPi / 180.0 / 60.0;
    EXPECT_EQ(SetTracking(0), 0);  // a one-star alignment starts it
    EXPECT_EQ(SyncAxis(0, -hoursEast / 12.0 * kPi + arcmin), 0);
    EXPECT_EQ(SyncAxis(1, decDegrees / 180.0 * kPi + 0.5 * arcmin), 0);
    return session.Sync(clock, -118.0, (ra < 0 ? ra + 2 * kPi : ra) / kPi * 12.0, decDegrees);
  };
  SyncResult last;
  const double places[][2] = {{1.0, 20.0}, {3.0, 50.0}, {5.0, 10.0}, {2.0, 60.0}, {4.0, 30.0}};
  for (const auto& p : places) {
    last = syncNear(p[0], p[1]);
    ASSERT_TRUE(last.outcome.ok()) << last.outcome.text;
  }
  ASSERT_EQ(last.alignment.stars, 5);
  const SkyPoint somewhere{-0.4, 0.6};
  AxisPair before{};
  ASSERT_EQ(SkyToAxes(somewhere, &before), 0);
  const auto saved = SavedAlignmentFromText(last.alignment.saved);
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->places.size(), 5u);
  session.Disconnect();

  request.savedAlignment = saved;
  const ConnectResult again = session.Connect(request);
  ASSERT_TRUE(again.outcome.ok());
  ASSERT_TRUE(again.alignmentLoaded) << again.alignmentLoad.text;
  const AlignmentState state = session.Alignment();
  EXPECT_EQ(state.stars, 5);
  EXPECT_EQ(state.saved, last.alignment.saved);
  AxisPair after{};
  ASSERT_EQ(SkyToAxes(somewhere, &after), 0);
  EXPECT_EQ(after.axis0, before.axis0);
  EXPECT_EQ(after.axis1, before.axis1);
  EXPECT_EQ(syncNear(1.5, 45.0).alignment.stars, 6);
  EXPECT_EQ(syncNear(4.0, 30.1).alignment.stars, 6) << "replaces the point near it";
  session.Disconnect();

  // Damaged: refused at once or by the library's check.
  std::string damaged = last.alignment.saved;
  damaged[40] = damaged[40] == '0' ? '1' : '0';
  const auto broken = SavedAlignmentFromText(damaged);
  ASSERT_TRUE(broken.has_value());
  request.savedAlignment = broken;
  const ConnectResult refused = session.Connect(request);
  ASSERT_TRUE(refused.outcome.ok());
  EXPECT_EQ(refused.alignmentLoad.code, SIDERA_BAD_ALIGNMENT_DATA);
  EXPECT_EQ(session.Alignment().stars, 0);
  EXPECT_FALSE(SavedAlignmentFromText("12/x"));
  EXPECT_FALSE(SavedAlignmentFromText("123/"));
  EXPECT_FALSE(SavedAlignmentFromText("1234"));
  session.Disconnect();

  AlignmentRecord record{};
  request.savedAlignment.reset();
  ASSERT_TRUE(session.Connect(request).outcome.ok());
  ASSERT_TRUE(syncNear(2.0, 40.0).outcome.ok());
  (void)SaveAlignment(&record);
  session.Disconnect();
  request.savedAlignment = SavedAlignmentFromText(RecordToText(record));
  ASSERT_TRUE(request.savedAlignment.has_value());
  ASSERT_TRUE(session.Connect(request).alignmentLoaded);
  EXPECT_EQ(session.Alignment().quality, 100);
  session.Disconnect();
}

// The driver's threads run while it connects, so connecting changes no
// environment: the debug choice and the device reach the library through
// its setters.
TEST(MountSession, ConnectingChangesNoEnvironment) {
  unsetenv("SIDERA_DEBUG");
  unsetenv("SIDERA_SERIAL_PATTERN");
  // A terminal nobody answers on: the connect gets as far as the library.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
  MountSession session;
  ConnectRequest request;
  request.model = 1;
  request.devicePath = ptsname(master);
  request.debug = true;
  EXPECT_EQ(session.Connect(request).outcome.code, SIDERA_NO_RESPONSE_AXIS0);
  close(master);
  EXPECT_EQ(getenv("SIDERA_DEBUG"), nullptr);
  EXPECT_EQ(getenv("SIDERA_SERIAL_PATTERN"), nullptr);
  EXPECT_TRUE(platform::DebugEnabled(platform::DebugTopic::kIo)) << "the log is on";
  request.model = 6;
  request.debug = false;
  ASSERT_TRUE(session.Connect(request).outcome.ok());
  EXPECT_FALSE(platform::DebugEnabled(platform::DebugTopic::kIo));
  session.Disconnect();
  SetSerialPattern(nullptr);
  SetDebugTopics(nullptr);
}

}  // namespace
}  // namespace sidera::indi
