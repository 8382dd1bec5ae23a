#include "tools/sidera/commands.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"
#include "tools/sidera/interrupt.h"
#include "tools/sidera/library.h"
#include "tools/sidera/output.h"
#include "tools/sidera/session.h"
#include "tools/sidera/session_setup.h"
#include "tools/sidera/sky_clock.h"

namespace sidera::tool {
namespace {

bool LoadOrReport(Library& library, Output& out) {
  if (library.Load(DefaultLibraryPath())) return true;
  out.Error("sidera: " + library.error());
  return false;
}

int UsageFailure(Output& out, const std::string& text) {
  out.Error("usage: " + text);
  return 2;
}

std::string IsoText(const CivilDateTime& c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", c.year, c.month, c.day,
                c.hour, c.minute, c.second, c.millisecond);
  return buf;
}

// Opens a session from the options at the front of `args`; the rest of the
// words are left at `*next`.
struct SessionStart {
  SetupOptions setup;
  size_t next = 0;
};

bool ParseSessionStart(const Words& args, Output& out, SessionStart* start) {
  std::string error;
  if (!ParseSetupOptions(args, &start->next, &start->setup, &error)) {
    out.Error("sidera: " + error);
    return false;
  }
  return true;
}

}  // namespace

int CommandModels(const Words& args, bool json) {
  Output out(json);
  if (!args.empty()) return UsageFailure(out, "sidera models");
  Library library;
  if (!LoadOrReport(library, out)) return 1;
  std::string list = "[";
  for (int type = 0; type < 12; ++type) {
    const std::string name = library.MountName(type);
    char line[160];
    std::snprintf(line, sizeof line, "%3d  %s", type, name.c_str());
    out.Text(line);
    if (type > 0) list += ",";
    list += JsonObject().Add("id", type).Add("name", name).str();
  }
  out.Json(JsonObject().AddRaw("models", list + "]"));
  return 0;
}

int CommandMessage(const Words& args, bool json) {
  Output out(json);
  std::optional<double> code = args.size() == 1 ? ParseNumber(args[0]) : std::nullopt;
  if (!code || *code != static_cast<int>(*code)) return UsageFailure(out, "sidera message CODE");
  Library library;
  if (!LoadOrReport(library, out)) return 1;
  const int value = static_cast<int>(*code);
  const std::string text = library.ErrorText(value);
  out.Text(std::to_string(value) + ": " + text);
  out.Json(JsonObject().Add("code", value).Add("message", text));
  return 0;
}

int CommandSidereal(const Words& args, bool json) {
  Output out(json);
  const std::string usage =
      "sidera sidereal [--longitude DEG] [--utc YYYY-MM-DDTHH:MM:SS] [--zone H [--daylight]]";
  double longitude = 0;
  double zone = 0;
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
      if (!lon) return UsageFailure(out, usage);
      longitude = *lon;
    } else if (a == "--utc") {
      utc = ParseUtc(v);
      if (!utc) return UsageFailure(out, usage);
    } else if (a == "--zone") {
      std::optional<double> z = ParseNumber(v);
      if (!z || std::abs(*z) > 14) return UsageFailure(out, usage);
      zone = *z;
    } else {
      return UsageFailure(out, usage);
    }
  }
  Library library;
  if (!LoadOrReport(library, out)) return 1;
  const int64_t instant = utc ? *utc : SkyClock(1.0).NowUnixMillis();
  // The clock on the wall of the zone: UTC plus the zone, plus one hour of
  // daylight saving; the library takes the zone back off.
  const double offsetHours = zone + (daylight ? 1.0 : 0.0);
  const CivilDateTime clock =
      CivilOf(instant + static_cast<int64_t>(std::llround(offsetHours * 3600000.0)));
  const double raw = library.api().ComputeSiderealTime(clock, zone, daylight ? 1 : 0);
  const double gst = WrapTwoPi(raw);
  const double lst = LocalSiderealTime(raw, longitude);
  out.Text("UTC        " + IsoText(CivilOf(instant)));
  if (zone != 0 || daylight) {
    out.Text("Clock      " + IsoText(clock) + " (zone " + FormatFixed(zone, 2) +
             (daylight ? ", daylight saving" : "") + ")");
  }
  out.Text("Greenwich  " + FormatHours(gst) + "  " + FormatFixed(Degrees(gst), 4) + "\xC2\xB0");
  out.Text("Local      " + FormatHours(lst) + "  " + FormatFixed(Degrees(lst), 4) +
           "\xC2\xB0  (longitude " + FormatFixed(Degrees(longitude), 4) + "\xC2\xB0)");
  out.Json(JsonObject()
               .Add("utc", IsoText(CivilOf(instant)))
               .Add("zone", zone)
               .Add("daylight", daylight)
               .Add("greenwichRadians", gst)
               .Add("greenwichHours", gst / kPi * 12.0)
               .Add("greenwichDegrees", Degrees(gst))
               .Add("longitude", Degrees(longitude))
               .Add("localHours", lst / kPi * 12.0)
               .Add("localDegrees", Degrees(lst)));
  return 0;
}

int CommandRun(const Words& args, bool json) {
  Output out(json);
  SessionStart start;
  if (!ParseSessionStart(args, out, &start)) return 2;
  const Words rest(args.begin() + static_cast<long>(start.next), args.end());
  const std::vector<Words> steps = SplitSteps(rest);
  ExportLibraryEnvironment(start.setup);
  Library library;
  if (!LoadOrReport(library, out)) return 1;
  SkyClock clock(ClockScaleFromEnvironment(), start.setup.startUtc);
  InstallInterruptHandler();
  Session session(library, out, clock, start.setup.session);
  if (session.Connect() != 0) return 1;
  for (const Words& step : steps) {
    const int code = session.RunStep(step);
    if (code == kUsageError) return 2;
    if (code != 0) return 1;
  }
  return 0;
}

int CommandShell(const Words& args, bool json) {
  Output out(json);
  SessionStart start;
  if (!ParseSessionStart(args, out, &start)) return 2;
  if (start.next != args.size()) return UsageFailure(out, "sidera shell [OPTIONS]");
  ExportLibraryEnvironment(start.setup);
  Library library;
  if (!LoadOrReport(library, out)) return 1;
  SkyClock clock(ClockScaleFromEnvironment(), start.setup.startUtc);
  InstallInterruptHandler();
  Session session(library, out, clock, start.setup.session);
  if (session.Connect() != 0) return 1;
  const bool prompt = isatty(STDIN_FILENO) != 0 && !json;
  int status = 0;
  std::string line;
  for (;;) {
    if (prompt) {
      std::fputs("sidera> ", stdout);
      std::fflush(stdout);
    }
    if (!std::getline(std::cin, line)) break;
    Words words;
    if (!SplitLine(line, &words)) {
      out.Error("unterminated quote");
      status = 1;
      continue;
    }
    if (words.empty()) continue;
    if (words[0] == "quit" || words[0] == "exit") break;
    if (words[0] == "help") words = {"?"};  // the unknown-step answer lists every step
    // A failed step is reported and the shell goes on; the exit status
    // remembers that something failed.
    if (session.RunStep(words) != 0) status = 1;
  }
  if (prompt) std::fputc('\n', stdout);
  return status;
}

}  // namespace sidera::tool
