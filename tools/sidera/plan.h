// Reading a plan: the steps of `sidera run` (or one typed line of the shell)
// parsed, checked against the ranges the mount accepts and resolved (names to
// targets, files read) into typed steps, before anything moves. Running them
// is the session's job.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "host/model_facts.h"
#include "sidera.h"
#include "tools/sidera/steps.h"
#include "tools/sidera/targets.h"

namespace sidera::tool {

// Where to point: a named target, catalogue coordinates, a horizontal
// position or axis angles (radians).
struct TargetSpec {
  enum class Kind { kNamed, kCatalogue, kHorizontal, kAxes } kind = Kind::kNamed;
  NamedTarget named;  // kNamed
  double a = 0;       // RA (J2000), azimuth [0, 2 pi) or axis 0
  double b = 0;       // Dec, altitude or axis 1
  std::string label;  // how the target is shown
  bool IsSky() const { return kind == Kind::kNamed || kind == Kind::kCatalogue; }
};

struct GotoStep {
  TargetSpec target;
  bool wait = true;
};
struct AlignStep {
  std::vector<TargetSpec> stars;  // one to three
  double offset0 = 0;             // radians added to the centred axis readings
  double offset1 = 0;
};
// `align add STAR`: the star, centred, at the axes' readings now.
struct AlignAddStep {
  TargetSpec star;
  double offset0 = 0;  // radians added to the axis readings, as AlignStep's
  double offset1 = 0;
};
struct AlignSaveStep {
  std::string path;
};
// A pointing model file (SaveAlignmentModel's bytes), or the 200-byte
// alignment record that `align save` wrote before.
struct AlignLoadStep {
  std::string path;
  bool isRecord = false;  // `record` holds the file, else `model` does
  AlignmentRecord record{};
  std::vector<uint8_t> model;
};
struct SlewStep {
  int axis = 0;
  double rate = 0;            // radians per second, signed
  std::string speed;          // the speed as given ("find", "-2.5 x sidereal")
  double seconds = 0;         // 0: no duration (stopped when the program ends)
  bool leaveRunning = false;  // --leave-running: not stopped when the program ends
};
struct StopStep {
  int axis = -1;     // -1: both
  bool all = false;  // also tracking
};
struct TrackStep {
  enum class Mode { kOn, kOff, kSidereal, kLunar, kSolar, kWatch } mode = Mode::kOn;
  double seconds = 0;  // kWatch
};
struct SyncStep {
  enum class Kind { kHome, kAxis, kTarget } kind = Kind::kTarget;
  int axis = 0;
  double angle = 0;
  TargetSpec target;
};
struct StatusStep {
  double seconds = 0;
};
struct WaitStep {
  double seconds = 0;
};
struct LimitsStep {
  double lower = 0;  // radians
  double upper = 0;
};
// The altitude limits a goto keeps to until a limits step changes them (the
// library's own).
LimitsStep DefaultLimits();
// Why an altitude lies outside `limits` ("above the upper altitude limit of
// 75.0°..."), or "" when it lies within them.
std::string OutsideLimitsText(double altitude, const LimitsStep& limits);
// The same for the upper or the lower limit.
std::string LimitText(bool upper, const LimitsStep& limits);
struct TargetsStep {
  std::string which;  // "", "stars", "messier", "planets", "up"
};
struct ParkStep {};
struct UnparkStep {};

using Step = std::variant<GotoStep, AlignStep, AlignSaveStep, AlignLoadStep, SlewStep, StopStep,
                          TrackStep, SyncStep, StatusStep, WaitStep, LimitsStep, TargetsStep,
                          ParkStep, UnparkStep, AlignAddStep>;

struct PlannedStep {
  std::string name;  // the step's word: "goto", "align"...
  Step step;
};

// What a plan is checked against.
struct PlanContext {
  const host::ModelFacts* model = nullptr;
};

// One row of the step table: the word, its reader and its usage line.
struct StepSyntax {
  const char* name;
  bool (*parse)(const Words& args, const PlanContext& context, Step* step, std::string* error);
  const char* usage;
};
std::span<const StepSyntax> StepTable();

// Reads one step (its words, the step's name first). On failure returns
// false with the reason in `error` and the step's usage in `usage` (empty for
// an unknown step).
bool ParseStep(const Words& words, const PlanContext& context, PlannedStep* step,
               std::string* error, std::string* usage);

struct PlanError {
  size_t index = 0;  // 1-based step number
  std::string step;  // the step's word
  std::string message;
  std::string usage;
};

// Reads every step and checks the plan as a whole: no motion while parked,
// and no horizontal goto outside the altitude limits in force at its step.
std::optional<std::vector<PlannedStep>> ParsePlan(const std::vector<Words>& steps,
                                                  const PlanContext& context, PlanError* error);

// Whether a step moves the mount (refused while it is parked).
bool StepMoves(const Step& step);

// The fixed slew speeds by name, in multiples of the sidereal rate; "max" is
// the model's fastest and is not listed here.
struct NamedSpeed {
  const char* name;
  double timesSidereal;
};
std::span<const NamedSpeed> NamedSpeeds();

}  // namespace sidera::tool
