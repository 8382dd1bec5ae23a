// The end of a plan or shell: nothing is left running that the program did
// not say it leaves, and the last line says what the mount is left doing.
//
// What outlives the program: a hardware controller keeps a rate it was
// given, so equatorial tracking (the controller turns the right ascension
// axis) and a slew left running with --leave-running go on. Gotos and
// alt-azimuth tracking are driven by the library in this process and end
// with it, so a goto still under way is watched to its end first. A slew
// started without a duration is stopped. A simulator ends with the program.
#include <chrono>
#include <string>
#include <thread>

#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"
#include "tools/sidera/interrupt.h"
#include "tools/sidera/session.h"

namespace sidera::tool {
namespace {

// How long axes told to stop may take to read back standing still (a
// controller decelerates first), real time.
constexpr double kSettleSeconds = 10.0;

}  // namespace

Outcome Session::Finish(bool afterFailure) {
  if (!connected_) return Outcome::Ok();
  if (Interrupted()) return Interrupt("end");
  // A failure here is reported at once; the last line still follows.
  Outcome failed = Outcome::Ok();
  if (!afterFailure) {
    uint32_t state = 0;
    if (Outcome o = ReadState(&state); !o.ok()) {
      failed = StopAfter(o);
      ReportFailure("end", "end", failed);
    } else if ((unwatchedGoto_ || state == SIDERA_MOUNT_GOTO) && target_) {
      unwatchedGoto_ = false;
      // The library drives the goto: it would end with the program.
      out_.Text("Waiting for the goto to " + target_->label + " to end before leaving");
      MotionReport report;
      if (Outcome o = WatchGoto(*target_, &report); !o.ok()) {
        failed = o;
        ReportFailure("goto " + target_->label, "goto " + target_->label, o);
      } else {
        // How the goto ended: nothing else says so when it was the last step.
        Done("goto", ArrivalText(*target_, report),
             JsonObject()
                 .Add("target", target_->label)
                 .Add("waited", true)
                 .Add("seconds", report.seconds)
                 .Add("errorArcsec", report.errorArcsec)
                 .Add("tracking", report.tracking));
      }
    }
  }
  for (int axis = 0; axis < 2; ++axis) {
    if (slewRate_[axis] == 0 || slewLeftRunning_[axis]) continue;
    ForgetSlews(axis);
    if (const int code = ::StopAxis(axis); code != 0) {
      const Outcome o = FromCode(code);
      ReportFailure("end", "stopping the slew of axis " + std::to_string(axis), o);
      if (failed.ok()) failed = o;
    }
  }
  if (Outcome left = SayWhatIsLeft(); !left.ok()) return left;
  return failed;
}

Outcome Session::ReadBack(uint32_t* state, uint32_t axisStates[2]) {
  if (Outcome o = ReadState(state); !o.ok()) return o;
  for (int axis = 0; axis < 2; ++axis) {
    double angle = 0;
    // The position read goes to the controller: a state kept from before
    // would not prove that it still answers.
    int code = ::GetAxisState(axis, &axisStates[axis]);
    if (code == 0) code = ::GetAxisPosition(axis, &angle);
    if (code != 0) return FromCode(code);
  }
  return Outcome::Ok();
}

Outcome Session::SayWhatIsLeft() {
  const bool simulator = host::IsSimulator(*facts_);
  uint32_t state = 0;
  uint32_t axisStates[2] = {0, 0};
  Outcome read = ReadBack(&state, axisStates);
  // Alt-azimuth tracking is computed in this process: it ends here, and
  // the axes it drives are stopped so that "stopped" can be read back.
  const bool programTracks =
      read.ok() && state == SIDERA_MOUNT_TRACKING && (!facts_->equatorial || simulator);
  if (programTracks && !simulator) {
    (void)::SetTracking(0);  // a silent axis shows in the read-back below
  }
  const bool controllerTracks =
      read.ok() && state == SIDERA_MOUNT_TRACKING && facts_->equatorial && !simulator;
  // The axes meant to be still: all but the slews left running and the
  // right ascension axis the controller tracks with.
  const auto meantToMove = [&](int axis) {
    return slewRate_[axis] != 0 || (controllerTracks && axis == 0);
  };
  const auto start = std::chrono::steady_clock::now();
  int moving = -1;
  while (read.ok() && !simulator) {
    moving = -1;
    for (int axis = 1; axis >= 0; --axis) {
      if (!meantToMove(axis) && (axisStates[axis] & SIDERA_AXIS_STOPPED) == 0) moving = axis;
    }
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (moving < 0 || waited > kSettleSeconds || Interrupted()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    read = ReadBack(&state, axisStates);
  }
  if (!read.ok()) {
    const std::string text =
        "Left: unknown \xE2\x80\x94 the controller stopped answering; the mount may still be "
        "moving: check it";
    out_.Text(text);
    out_.Json(JsonObject()
                  .Add("step", "end")
                  .Add("ok", false)
                  .Add("error", OutcomeKindName(Outcome::Kind::kLeftUnknown))
                  .Add("code", read.code)
                  .Add("message", text)
                  .AddRaw("data", JsonObject()
                                      .Add("left", "unknown")
                                      .AddRaw("slewingAxes", "[]")
                                      .Add("tracking", false)
                                      .str()));
    return {Outcome::Kind::kLeftUnknown, read.code, read.message};
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
  if (controllerTracks) text += std::string(text.empty() ? "" : "; ") + "tracking";
  std::string left;
  Outcome outcome = Outcome::Ok();
  if (simulator) {
    left = "nothing";
    text = "Left: nothing; the simulator ends with the program";
  } else if (moving >= 0) {
    // The controller answers, but an axis told to stop reads back moving.
    left = "moving";
    text = "Left running: axis " + std::to_string(moving) + " (" + AxisName(moving) +
           ") still moving after it was told to stop: check it";
    outcome = {Outcome::Kind::kRefused, 0, text};
  } else if (!text.empty()) {
    left = controllerTracks && slewing.size() == 1 ? "tracking" : "moving";
    text = "Left running: " + text + " (the controller keeps it up; 'stop all' stops it)";
  } else {
    left = "stopped";
    text = "Left: the mount stopped";
    if (programTracks) text += " (alt-azimuth tracking is done by this program and ends with it)";
  }
  Done("end", text,
       JsonObject()
           .Add("left", left)
           .AddRaw("slewingAxes", slewing + "]")
           .Add("tracking", controllerTracks));
  return outcome;
}

}  // namespace sidera::tool
