// The driver's rules without a server: coordinates, time, rates, guide plans,
// goto judgement, text conversions and the worker.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "host/mount_worker.h"
#include "indi/goto_report.h"
#include "indi/host_names.h"
#include "indi/library_text.h"
#include "indi/loop_replies.h"
#include "indi/mount_session.h"

namespace sidera::indi {
namespace {

// The rates themselves are the host's (host_kit_tests).
TEST(MotionRates, TrackingModesMapToTheLibrary) {
  const int modes[][2] = {{0, 0}, {1, 2}, {2, 1}, {7, 0}};
  for (const auto& m : modes) EXPECT_EQ(LibraryTrackingMode(m[0]), m[1]);
}

// The reason the driver gives for a goto that ended without arriving comes
// from the library's record of that goto.
TEST(GotoReport, SaysWhyAGotoEndedFromItsRecord) {
  const struct {
    int32_t outcome;
    int32_t code;
    const char* text;
  } cases[] = {
      {SIDERA_OUTCOME_NOT_ARRIVED, 0, "the mount ended it 0.50\u00b0 from the target"},
      {SIDERA_OUTCOME_STOPPED, 105, "it was stopped 0.50\u00b0 from the target"},
      {SIDERA_OUTCOME_REPLACED, 105, "a newer command replaced it"},
      {SIDERA_OUTCOME_FAILED, 101, "the mount: No response from Dec/Alt axis (code 101)"},
  };
  for (const auto& c : cases) {
    MotionOutcome record{};
    record.command = record.started = 4;
    record.outcome = c.outcome;
    record.code = c.code;
    record.error = 0.5 * kPi / 180.0;
    host::GotoWatch watch;
    watch.Start(record, 0.0);
    ASSERT_EQ(watch.Observe(record, 1.0), host::GotoWatch::State::kEnded);
    EXPECT_EQ(WhyGotoEnded(watch), c.text);
  }
}

TEST(LoopReplies, RepliesFromTheWorkerRunOnTheLoopInOrder) {
  std::vector<int> done;  // replies only: touched by this thread alone
  LoopReplies replies;
  host::TaskLane worker;
  for (int i = 0; i < 200; ++i) {
    worker.Post([&replies, &done, i] { replies.Reply([&done, i] { done.push_back(i); }); });
  }
  while (done.size() < 200) {
    pollfd p{replies.notifyFd(), POLLIN, 0};
    ASSERT_GT(poll(&p, 1, 5000), 0) << "no reply within 5 s";
    replies.RunReplies();
  }
  for (int i = 0; i < 200; ++i) EXPECT_EQ(done[static_cast<size_t>(i)], i);
}

}  // namespace
}  // namespace sidera::indi
