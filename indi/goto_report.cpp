// The reason given for a goto that ended without arriving.
#include "indi/goto_report.h"

#include <cstdio>

#include "indi/host_names.h"
#include "indi/mount_session.h"

namespace sidera::indi {

std::string WhyGotoEnded(const host::GotoWatch& watch) {
  const MotionOutcome& end = watch.outcome();
  char distance[64];
  std::snprintf(distance, sizeof distance, "%.2f\u00b0 from the target", Degrees(end.error));
  switch (watch.end()) {
    case host::GotoWatch::End::kNotArrived:
      return std::string("the mount ended it ") + distance;
    case host::GotoWatch::End::kStopped:
      return std::string("it was stopped ") + distance;
    case host::GotoWatch::End::kReplaced:
      return "a newer command replaced it";
    case host::GotoWatch::End::kTimedOut:
      return "the mount did not finish within the time a goto can take";
    default:
      return MountSession::Fail(end.code, "the mount").text;
  }
}

}  // namespace sidera::indi
