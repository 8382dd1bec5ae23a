// The driver's use of the C API, run against the library's simulators: the
// connection failures a user can meet, and a sync whose fit fails.
#include "indi/mount_session.h"

#include <gtest/gtest.h>

#include <chrono>

#include "indi/sky_coordinates.h"

namespace sidera::indi {
namespace {

TEST(MountSession, ConnectionsAndTheirFailures) {
  const struct {
    int model;
    const char* device;
    int code;          // -1: whatever the library answers for a missing device
    const char* says;  // part of the text shown to the user
  } cases[] = {
      {6, "", 0, ""},
      {7, "", 0, ""},
      {1, "", SIDERA_INVALID_PARAMETER, "no serial device chosen"},
      {1, "/dev/sidera-no-such-device", -1,
       "/dev/sidera-no-such-device: No such file or directory"},
      {12, "", SIDERA_INVALID_MOUNT_ID, "Invalid mount ID (code 1)"},
  };
  for (const auto& c : cases) {
    MountSession session;
    ConnectRequest request;
    request.model = c.model;
    request.devicePath = c.device;
    request.site = Site{34.2, -118.0, 1700};
    const ConnectResult r = session.Connect(request);
    if (c.code >= 0) {
      EXPECT_EQ(r.outcome.code, c.code) << c.model << " " << r.outcome.text;
    } else {
      EXPECT_NE(r.outcome.code, 0);
    }
    EXPECT_NE(r.outcome.text.find(c.says), std::string::npos) << r.outcome.text;
    if (r.outcome.ok()) {
      EXPECT_EQ(r.equatorial, c.model == 6);
    }
    session.Disconnect();
  }
}

TEST(MountSession, AFailedFitKeepsThePreviousAlignment) {
  MountSession session;
  ConnectRequest request;
  request.site = Site{34.2, -118.0, 1700};
  ASSERT_TRUE(session.Connect(request).outcome.ok());
  const SkyClock clock(1.0, 1781500000000, SkyClock::Steady::now());

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

}  // namespace
}  // namespace sidera::indi
