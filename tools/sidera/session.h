// Running a plan on one mount: connect, then carry out typed steps (see
// plan.h) one after the other in this process, since the mount lives inside
// the library loaded here. Every code the library returns is checked: a
// mount that stops answering ends the step at once with the library's
// message and the axis named, and a goto counts as arrived only when the
// mount ends it within its tolerance of the target.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/model_facts.h"
#include "host/sky_clock.h"
#include "tools/sidera/astro.h"
#include "tools/sidera/output.h"
#include "tools/sidera/plan.h"
#include "tools/sidera/site.h"

namespace sidera::tool {

// How a step ended. Library codes stay library codes; the program's own
// outcomes (a goto that ended off target, a time-out, an interrupt) are
// kinds of their own and never pose as library codes.
struct Outcome {
  enum class Kind {
    kOk,
    kLibrary,      // the library refused or failed: `code` is its code
    kNoResponse,   // the mount stopped answering: `code` is 100 or 101
    kNotArrived,   // the mount ended a goto away from the target
    kTimedOut,     // a motion did not end in the time allowed
    kInterrupted,  // Ctrl-C
    kRefused,      // the program will not do it (parked) or the mount did not follow
    kFile,         // a file could not be written
    kLeftUnknown,  // at the end the controller did not answer: what the mount does is unknown
  };
  Kind kind = Kind::kOk;
  int code = 0;
  std::string message;

  bool ok() const { return kind == Kind::kOk; }
  static Outcome Ok() { return {}; }
};

// The JSON name of an outcome kind ("library", "no-response", ...).
const char* OutcomeKindName(Outcome::Kind kind);
// The process exit status for an outcome: 0, 130 for an interrupt, 3 when
// the mount was left in a state nobody could read back, else 1.
int ExitStatusOf(const Outcome& outcome);

struct SessionOptions {
  int model = 6;
  Site site;
  int port = -1;               // serial port number for SetComPort, -1: library default
  std::string device;          // the device the library will open ("" for a simulator)
  double motionTimeout = 900;  // sky seconds a motion may take
};

struct MotionReport {
  double seconds = 0;       // sky seconds from command to the end of the goto
  double errorArcsec = -1;  // target versus the mount's reported position at the end
  bool tracking = false;    // a sky goto: whether tracking followed
};

struct AlignReport {
  std::vector<std::string> stars;
  std::vector<double> beforeArcsec;  // nominal model's axes versus the centred readings
  std::vector<double> afterArcsec;   // aligned model's axes versus the same readings
  int quality = 0;
  double axisOffsetArcsec = 0;  // pole (equatorial) or zenith (alt-azimuth) offset
  // More than three stars: axisOffsetArcsec is the RMS of the residuals,
  // and `dropped` the stars the fit left out.
  bool manyStars = false;
  std::vector<std::string> dropped;
};

struct TrackReport {
  double seconds = 0;
  double driftArcsec = 0;         // sky position at the end versus at driftFromSeconds
  double worstArcsec = 0;         // largest excursion from it seen while watching
  double driftFromSeconds = 0;    // after the closing onto a goto's target, else 0
  std::string target;             // the goto's target tracking follows, if any
  double targetStartArcsec = -1;  // distance to it at the start (-1: no target)
  double targetEndArcsec = -1;    // and at the end
};
// The drift (and the closing and the distance to the target, when tracking
// follows a goto's target) in words: "drift 0.3" (largest 0.5") ...".
std::string TrackText(const TrackReport& report);

class Session {
 public:
  Session(Output& out, const host::SkyClock& clock, SessionOptions options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // CreateMount with the model and site; reports the outcome.
  Outcome Connect();
  void Disconnect();

  // Carries out one step and reports it (text or one JSON line).
  Outcome Run(const PlannedStep& step);

  // Building blocks shared with the demo; they report nothing themselves.
  LocalPlace LocalNow(const TargetSpec& target) const;
  Outcome Goto(const TargetSpec& target, bool wait, MotionReport* report);
  Outcome Align(const std::vector<TargetSpec>& stars, double offset0, double offset1,
                AlignReport* report);
  Outcome Track(double seconds, TrackReport* report);
  // `align add`, `align save`, `align load` (align_points.cpp): they report
  // themselves as step `step`.
  Outcome AlignAdd(const AlignAddStep& add, const std::string& step);
  Outcome AlignSave(const AlignSaveStep& save, const std::string& step);
  Outcome AlignLoad(const AlignLoadStep& load, const std::string& step);
  // Prints `what: message` (or its JSON form) for a failed step.
  void ReportFailure(const std::string& step, const std::string& what, const Outcome& outcome);
  // The end of a plan or shell that went well: lets a goto still under way
  // end, stops the slews started without a duration (unless they are to be
  // left running), and says in the last line what the mount is left doing.
  // After a failed step only the slews are stopped and the line printed.
  // "stopped" is said only once both axes have read back standing still; a
  // controller that does not answer gives "unknown" (kLeftUnknown).
  Outcome Finish(bool afterFailure = false);
  // "Arrived at Vega after 12.3 s; pointing error ..." for a goto that ended.
  std::string ArrivalText(const TargetSpec& target, const MotionReport& report) const;
  // A Ctrl-C came before or after `what` (a step, "connect"): stops both
  // axes, reports it and returns the interrupted outcome.
  Outcome Interrupt(const std::string& what);

  const SessionOptions& options() const { return options_; }
  const host::ModelFacts& facts() const { return *facts_; }
  // The connected mount's goto tolerance (its controller may widen the
  // model's at connect), degrees.
  double GotoToleranceDegrees() const;
  int64_t Now() const { return clock_.NowUnixMillis(); }

 private:
  friend struct StepRunner;

  // A library code as an outcome: 100/101 name the axis that fell silent.
  Outcome FromCode(int code) const;
  std::string AxisName(int axis) const;
  // Readouts with their codes checked.
  Outcome ReadState(uint32_t* state);
  Outcome ReadAxes(AxisPair* axes);
  Outcome ReadSky(SkyPoint* sky);
  Outcome ReadHorizontal(HorizontalPoint* horizontal);
  // Axis angles that point at the target now.
  AxisPair GoalAxes(const TargetSpec& target) const;
  // Target versus the mount's reported position, radians.
  Outcome PointingError(const TargetSpec& target, double* error);
  // Watches the last goto until the library records its outcome.
  Outcome WatchGoto(const TargetSpec& target, MotionReport* report);
  // Waits (real time, bounded) for the mount state to satisfy `want`.
  Outcome AwaitState(bool (*want)(uint32_t), double seconds, uint32_t* state);
  // Watches for `seconds` of sky time, drawing a position line.
  Outcome Watch(double seconds, const std::string& label);
  std::string PositionLine(const AxisPair& axes, const SkyPoint& sky, const HorizontalPoint& hz,
                           uint32_t state);
  // The mount state, then each axis's state and position: an error when the
  // controller does not answer.
  Outcome ReadBack(uint32_t* state, uint32_t axisStates[2]);
  // Reads back what the mount is left doing and prints the last line.
  Outcome SayWhatIsLeft();
  // Stops both axes after a failure or an interrupt and adds to `outcome`
  // what became of the stop.
  Outcome StopAfter(Outcome outcome);
  void Done(const std::string& step, const std::string& text, const JsonObject& data);

  Output& out_;
  const host::SkyClock& clock_;
  SessionOptions options_;
  const host::ModelFacts* facts_;
  bool connected_ = false;
  bool parked_ = false;
  LimitsStep limits_ = DefaultLimits();  // the altitude limits in force
  std::optional<TargetSpec> target_;     // the last goto's target, for status
  MotionOutcome gotoRecord_{};           // the mount's record right after that goto
  // Per axis: the rate of a slew without a duration still running (0: none),
  // and whether it is to be left running at the end.
  double slewRate_[2] = {0, 0};
  bool slewLeftRunning_[2] = {false, false};
  void ForgetSlews(int axis);  // -1: both
  // A goto started with --nowait that nothing has watched, stopped or
  // replaced since.
  bool unwatchedGoto_ = false;
  // The stars of the pointing model in force, in the order fitted, as
  // `align` and `align add` centred them, or as `align load` read them back
  // from a model file (numbered; none from a 200-byte record).
  struct AlignPoint {
    std::string label;
    AlignStar star;
  };
  std::vector<AlignPoint> alignPoints_;
};

}  // namespace sidera::tool
