// The commands that need no mount (models, message, sidereal) and the two
// that drive one (run: a plan given on the command line, read whole before
// anything moves; shell: steps typed one by one).
#include "tools/sidera/commands.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "host/civil_time.h"
#include "host/library_text.h"
#include "host/model_facts.h"
#include "host/sky_clock.h"
#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"
#include "tools/sidera/interrupt.h"
#include "tools/sidera/library.h"
#include "tools/sidera/line_input.h"
#include "tools/sidera/output.h"
#include "tools/sidera/plan.h"
#include "tools/sidera/session.h"
#include "tools/sidera/session_setup.h"

namespace sidera::tool {
namespace {

bool LoadOrReport(Library& library, Output& out) {
  if (library.Load(DefaultLibraryPath())) return true;
  out.Failure("library", "library", "sidera: " + library.error());
  return false;
}

int UsageFailure(Output& out, const std::string& text) {
  out.Failure("usage", "usage", "usage: " + text);
  return kExitUsage;
}

std::string IsoText(const CivilDateTime& c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", c.year, c.month, c.day,
                c.hour, c.minute, c.second, c.millisecond);
  return buf;
}

const char* FamilyText(host::WireFamily family) {
  switch (family) {
    case host::kPacketBus:
      return "family 1 (packet bus)";
    case host::kByteCommand:
      return "family 2 (byte commands)";
    case host::kHexCommand:
      return "family 3 (hex commands)";
    case host::kSimulatorFamily:
      break;
  }
  return "simulator";
}

// Whether this build's library has a class for `type`: CreateMount answers
// 300 for a model without one before it opens anything. The probe points
// the serial pattern at a path that cannot exist, so a hardware model fails
// its connect at once instead of reaching for a real device. The pattern is
// the library's own setting, not the environment, which the library's
// threads may be reading.
bool LibraryDrives(int type) {
  ::SetSerialPattern("/nonexistent/sidera-model-probe");
  const int code = ::CreateMount(type, 0.5, 0.0);
  if (code == 0) (void)::DestroyMount();  // always 0
  ::SetSerialPattern(nullptr);            // SIDERA_SERIAL_PATTERN again
  return code != SIDERA_NOT_IMPLEMENTED;
}

// The session options and library of run and shell; false after reporting
// why the session cannot start (the exit status in `status`).
struct Prepared {
  SetupOptions setup;
  SessionOptions session;
  size_t next = 0;
};

bool Prepare(const Words& args, Output& out, Prepared* p, int* status) {
  std::string error;
  if (!ParseSetupOptions(args, &p->next, &p->setup, &error)) {
    out.Failure("usage", "usage", "sidera: " + error);
    *status = kExitUsage;
    return false;
  }
  return true;
}

bool PrepareDevice(Output& out, Prepared* p, int* status) {
  SetupError error;
  if (!PrepareSession(p->setup, &p->session, &error)) {
    out.Failure("connect", error.exitStatus == kExitUsage ? "usage" : "device",
                "sidera: " + error.message);
    *status = error.exitStatus;
    return false;
  }
  return true;
}

}  // namespace

int CommandModels(const Words& args, bool json) {
  Output out(json);
  if (!args.empty()) return UsageFailure(out, "sidera models");
  Library library;
  if (!LoadOrReport(library, out)) return kExitFailure;
  std::string list = "[";
  for (int type = 0; type < host::ModelCount(); ++type) {
    const host::ModelFacts& facts = *host::FactsOf(type);
    const std::string name = host::LibraryModelName(type);
    const bool driven = LibraryDrives(type);
    char line[200];
    std::snprintf(line, sizeof line, "%3d  %-9s  %-11s  %-24s  %s", type,
                  driven ? "driven" : "not built", facts.equatorial ? "equatorial" : "alt-azimuth",
                  FamilyText(facts.family), name.c_str());
    out.Text(line);
    if (type > 0) list += ",";
    list += JsonObject()
                .Add("id", type)
                .Add("name", name)
                .Add("driven", driven)
                .Add("equatorial", facts.equatorial)
                .Add("family", static_cast<int>(facts.family))
                .str();
  }
  out.Json(JsonObject().AddRaw("models", list + "]"));
  return 0;
}

int CommandMessage(const Words& args, bool json) {
  Output out(json);
  std::optional<double> code = args.size() == 1 ? ParseNumber(args[0]) : std::nullopt;
  if (!code || *code != std::floor(*code) || std::fabs(*code) > 2147483647.0) {
    return UsageFailure(out, "sidera message CODE");
  }
  Library library;
  if (!LoadOrReport(library, out)) return kExitFailure;
  const int value = static_cast<int>(*code);
  // Code 0 is success; the library has no text of its own for it.
  const std::string text = value == 0 ? "success" : host::LibraryMessage(value);
  out.Text(std::to_string(value) + ": " + text);
  out.Json(JsonObject().Add("code", value).Add("message", text));
  return 0;
}

int CommandSidereal(const Words& args, bool json) {
  Output out(json);
  const std::string usage =
      "sidera sidereal [--longitude DEG] [--utc YYYY-MM-DDTHH:MM:SS] [--zone H [--daylight]]";
  double longitude = 0;
  std::optional<double> zone;
  bool daylight = false;
  std::optional<int64_t> utc;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--daylight") {
      daylight = true;
      continue;
    }
    if (i + 1 >= args.size()) return UsageFailure(out, usage);
    const std::string& v = args[++i];
    if (a == "--longitude" || a == "--lon") {
      std::optional<double> lon = ParseDegrees(v);
      if (const std::string problem = SexagesimalProblem(v); !problem.empty()) {
        return UsageFailure(out, usage + "   (longitude " + v + ": " + problem + ")");
      }
      if (!lon || std::fabs(Degrees(*lon)) > 180) {
        return UsageFailure(out, usage + "   (longitude within -180..180 degrees)");
      }
      longitude = *lon;
    } else if (a == "--utc") {
      utc = host::ParseUtc(v);
      if (!utc) return UsageFailure(out, usage);
    } else if (a == "--zone") {
      std::optional<double> z = ParseNumber(v);
      if (!z || std::fabs(*z) > 14) return UsageFailure(out, usage + "   (zone within -14..14 h)");
      zone = *z;
    } else {
      return UsageFailure(out, usage);
    }
  }
  // Daylight saving sets a zone's clock forward: it means nothing without one.
  if (daylight && !zone) {
    return UsageFailure(out, usage + "   (--daylight needs the --zone it applies to)");
  }
  const double zoneHours = zone.value_or(0.0);
  Library library;
  if (!LoadOrReport(library, out)) return kExitFailure;
  const int64_t instant = utc ? *utc : host::SkyClock(1.0).NowUnixMillis();
  // The clock on the wall of the zone: UTC plus the zone, plus one hour of
  // daylight saving; the library takes the zone back off.
  const double offsetHours = zoneHours + (daylight ? 1.0 : 0.0);
  const CivilDateTime clock =
      host::CivilOf(instant + static_cast<int64_t>(std::llround(offsetHours * 3600000.0)));
  const double raw = ::ComputeSiderealTime(clock, zoneHours, daylight ? 1 : 0);
  const double gst = WrapTwoPi(raw);
  const double lst = WrapTwoPi(raw + longitude);
  const double apparent = LocalApparentSiderealTime({0.0, longitude, 0.0}, instant);
  out.Text("UTC        " + IsoText(host::CivilOf(instant)));
  if (zone) {
    out.Text("Clock      " + IsoText(clock) + " (zone " + FormatFixed(zoneHours, 2) +
             (daylight ? ", daylight saving" : "") + ")");
  }
  out.Text("Greenwich  " + FormatHours(gst) + "  " + FormatFixed(Degrees(gst), 4) + "\xC2\xB0");
  out.Text("Local      " + FormatHours(lst) + "  " + FormatFixed(Degrees(lst), 4) +
           "\xC2\xB0  (longitude " + FormatFixed(Degrees(longitude), 4) + "\xC2\xB0)");
  out.Text("Apparent   " + FormatHours(apparent) + "  " + FormatFixed(Degrees(apparent), 4) +
           "\xC2\xB0  (local apparent sidereal time, ERFA)");
  out.Json(JsonObject()
               .Add("utc", IsoText(host::CivilOf(instant)))
               .Add("zone", zoneHours)
               .Add("daylight", daylight)
               .Add("greenwichRadians", gst)
               .Add("greenwichHours", gst / kPi * 12.0)
               .Add("greenwichDegrees", Degrees(gst))
               .Add("longitude", Degrees(longitude))
               .Add("localHours", lst / kPi * 12.0)
               .Add("localDegrees", Degrees(lst))
               .Add("localApparentDegrees", Degrees(apparent)));
  return 0;
}

int CommandRun(const Words& args, bool json) {
  Output out(json);
  Prepared p;
  int status = 0;
  if (!Prepare(args, out, &p, &status)) return status;
  const std::vector<Words> steps =
      SplitSteps(Words(args.begin() + static_cast<long>(p.next), args.end()));
  if (steps.empty()) return UsageFailure(out, "sidera run [OPTIONS] -- STEP [-- STEP ...]");
  // The whole plan is read and resolved before the mount is touched.
  PlanError planError;
  const PlanContext context{host::FactsOf(p.setup.model)};
  std::optional<std::vector<PlannedStep>> plan = ParsePlan(steps, context, &planError);
  if (!plan) {
    out.Failure(
        planError.step, "usage",
        "sidera: step " + std::to_string(planError.index) + " (" + planError.step +
            "): " + planError.message + "; nothing was moved",
        JsonObject().Add("index", static_cast<int>(planError.index)).Add("usage", planError.usage));
    if (!planError.usage.empty()) out.Error("usage: " + planError.usage);
    return kExitUsage;
  }
  if (!PrepareDevice(out, &p, &status)) return status;
  ExportLibraryEnvironment(p.setup);
  Library library;
  if (!LoadOrReport(library, out)) return kExitFailure;
  host::SkyClock clock(host::ClockScaleFromEnvironment(), p.setup.startUtc);
  const InterruptWatch watch(InterruptWatch::Mode::kEnd, json);
  Session session(out, clock, p.session);
  InterruptHereForTest("connect");
  if (Outcome o = session.Connect(); !o.ok()) return ExitStatusOf(o);
  // A Ctrl-C at any moment ends the plan: no step starts after it.
  for (size_t i = 0; i < plan->size(); ++i) {
    const PlannedStep& step = (*plan)[i];
    InterruptHereForTest("step " + std::to_string(i + 1));
    if (Interrupted()) return ExitStatusOf(session.Interrupt(step.name));
    SetInterruptContext(step.name);
    if (Outcome o = session.Run(step); !o.ok()) {
      if (o.kind == Outcome::Kind::kInterrupted) return ExitStatusOf(o);
      // The last line says what the mount is left doing, or that nobody knows.
      const Outcome end = session.Finish(true);
      return ExitStatusOf(end.kind == Outcome::Kind::kLeftUnknown ? end : o);
    }
  }
  if (Interrupted()) return ExitStatusOf(session.Interrupt(plan->back().name));
  return ExitStatusOf(session.Finish());
}

int CommandShell(const Words& args, bool json) {
  Output out(json);
  Prepared p;
  int status = 0;
  if (!Prepare(args, out, &p, &status)) return status;
  if (p.next != args.size()) return UsageFailure(out, "sidera shell [OPTIONS]");
  if (!PrepareDevice(out, &p, &status)) return status;
  ExportLibraryEnvironment(p.setup);
  Library library;
  if (!LoadOrReport(library, out)) return kExitFailure;
  host::SkyClock clock(host::ClockScaleFromEnvironment(), p.setup.startUtc);
  const InterruptWatch watch(InterruptWatch::Mode::kShell, json);
  Session session(out, clock, p.session);
  if (Outcome o = session.Connect(); !o.ok()) return ExitStatusOf(o);
  const PlanContext context{host::FactsOf(p.setup.model)};
  const bool prompt = isatty(STDIN_FILENO) != 0 && !json;
  status = 0;
  LineInput input;
  for (;;) {
    SetPhase(Phase::kPrompt);
    SetInterruptContext("shell");
    if (prompt) {
      std::fputs("sidera> ", stdout);
      std::fflush(stdout);
    }
    std::string line;
    const LineInput::Result got = input.Read(&line);
    if (got == LineInput::Result::kEnd) break;
    if (got == LineInput::Result::kInterrupted) {
      // As at a terminal: the line is dropped; a second Ctrl-C quits.
      // A terminal has echoed the ^C itself.
      if (PendingInterrupts() == 1)
        out.Error(std::string(prompt ? " " : "^C ") + "(Ctrl-C again to quit)");
      continue;
    }
    ClearInterrupt();
    Words words;
    if (!SplitLine(line, &words)) {
      out.Failure("usage", "usage", "unterminated quote");
      status = kExitFailure;
      continue;
    }
    if (words.empty()) continue;
    if (words[0] == "quit" || words[0] == "exit") break;
    if (words[0] == "help") {
      for (const StepSyntax& row : StepTable()) out.Error(std::string("  ") + row.usage);
      continue;
    }
    PlannedStep step;
    std::string error, usage;
    if (!ParseStep(words, context, &step, &error, &usage)) {
      out.Failure(words[0], "usage", words[0] + ": " + error, JsonObject().Add("usage", usage));
      if (!usage.empty()) out.Error("usage: " + usage);
      status = kExitFailure;
      continue;
    }
    // A failed step is reported and the shell goes on; the exit status
    // remembers that something failed. A Ctrl-C cancels the step only.
    SetInterruptContext(step.name);
    SetPhase(Phase::kStep);
    if (Outcome o = session.Run(step); !o.ok()) status = ExitStatusOf(o);
    SetPhase(Phase::kPrompt);
    ClearInterrupt();
  }
  if (prompt) std::fputc('\n', stdout);
  if (Interrupted()) return status;
  if (Outcome o = session.Finish(); !o.ok()) status = ExitStatusOf(o);
  return status;
}

}  // namespace sidera::tool
