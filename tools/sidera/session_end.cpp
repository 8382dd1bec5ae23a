// The end of a plan or shell: nothing is left running that the program did
// not say it leaves, and the last line says what the mount is left doing.
//
// What outlives the program: a hardware controller keeps a rate it was
// given, so equatorial tracking (the controller turns the right ascension
// axis) and a slew left running with --leave-running go on. Gotos and
// alt-azimuth tracking are driven by the library in this process and end
// with it, so a goto still under way is watched to its end first. A slew
// started without a duration is stopped. A simulator ends with the program.
#include <string>

#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"
#include "tools/sidera/interrupt.h"
#include "tools/sidera/session.h"

namespace sidera::tool {

Outcome Session::Finish(bool afterFailure) {
  if (!connected_) return Outcome::Ok();
  if (Interrupted()) return Interrupt("end");
  uint32_t state = 0;
  if (!afterFailure) {
    if (Outcome o = ReadState(&state); !o.ok()) {
      o = StopAfter(o);
      ReportFailure("end", "end", o);
      return o;
    }
    if ((unwatchedGoto_ || state == SIDERA_MOUNT_GOTO) && target_) {
      unwatchedGoto_ = false;
      // The library drives the goto: it would end with the program.
      out_.Text("Waiting for the goto to " + target_->label + " to end before leaving");
      MotionReport report;
      if (Outcome o = WatchGoto(*target_, &report); !o.ok()) {
        ReportFailure("goto " + target_->label, "goto " + target_->label, o);
        return o;
      }
    }
  }
  for (int axis = 0; axis < 2; ++axis) {
    if (slewRate_[axis] == 0 || slewLeftRunning_[axis]) continue;
    ForgetSlews(axis);
    if (const int code = api().StopAxis(axis); code != 0) {
      const Outcome o = FromCode(code);
      ReportFailure("end", "stopping the slew of axis " + std::to_string(axis), o);
      return o;
    }
  }
  Outcome o = ReadState(&state);
  if (!o.ok()) {
    ReportFailure("end", "end", o);
    return o;
  }

  std::string text;
  std::string slewing = "[";
  for (int axis = 0; axis < 2; ++axis) {
    if (slewRate_[axis] == 0) continue;
    if (!text.empty()) text += "; ";
    text += "axis " + std::to_string(axis) + " (" + AxisName(axis) + ") slewing at " +
            FormatFixed(Degrees(slewRate_[axis]), 4) + "\xC2\xB0/s";
    if (slewing.size() > 1) slewing += ",";
    slewing += std::to_string(axis);
  }
  const bool tracking = state == SIDERA_MOUNT_TRACKING;
  const bool simulator = host::IsSimulator(*facts_);
  const bool controllerTracks = tracking && facts_->equatorial && !simulator;
  if (controllerTracks) text += std::string(text.empty() ? "" : "; ") + "tracking";
  std::string left;
  if (simulator) {
    left = "nothing";
    text = "Left: nothing; the simulator ends with the program";
  } else if (!text.empty()) {
    left = controllerTracks && slewing.size() == 1 ? "tracking" : "moving";
    text = "Left running: " + text + " (the controller keeps it up; 'stop all' stops it)";
  } else {
    left = "stopped";
    text = "Left: the mount stopped";
    if (tracking) text += " (alt-azimuth tracking is done by this program and ends with it)";
  }
  Done("end", text,
       JsonObject()
           .Add("left", left)
           .AddRaw("slewingAxes", slewing + "]")
           .Add("tracking", controllerTracks));
  return Outcome::Ok();
}

}  // namespace sidera::tool
