// The driver's use of the C API, run against the library's simulator: a
// sync whose fit fails keeps the alignment in use. (Connections and their
// failures are driven through the INDI server, indi_server_test.py.)
#include "indi/mount_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

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
  EXPECT_EQ(first.alignment.record.size(), 400u);

  // A second star 30 degrees away read at the same axis angles: the two
  // observations cannot both hold, and the fit fails.
  const SyncResult second = session.Sync(clock, -118.0, 7.0, 30.0);
  EXPECT_EQ(second.outcome.code, SIDERA_ALIGN_FAILED) << second.outcome.text;
  EXPECT_NE(second.outcome.text.find("Align failed"), std::string::npos);
  EXPECT_EQ(second.alignment.stars, 1);
  EXPECT_EQ(second.alignment.record, first.alignment.record);

  AlignmentState cleared;
  EXPECT_TRUE(session.ClearAlignment(&cleared).ok());
  EXPECT_EQ(cleared.stars, 0);
  EXPECT_EQ(cleared.record, "");
  session.Disconnect();
}

// The driver's threads run while it connects, so connecting changes no
// environment: the debug choice and the device reach the library through
// its setters.
TEST(MountSession, ConnectingChangesNoEnvironment) {
  unsetenv("SIDERA_DEBUG");
  unsetenv("SIDERA_SERIAL_PATTERN");
  MountSession session;
  ConnectRequest request;
  request.model = 1;
  request.devicePath = "/nonexistent/sidera-port0";
  request.debug = true;
  EXPECT_EQ(session.Connect(request).outcome.code, SIDERA_NO_RESPONSE_AXIS0);
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
