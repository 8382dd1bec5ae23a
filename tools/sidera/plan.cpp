// The step table and the readers of each step: every value is checked
// against the range the mount accepts and every name resolved here, so that
// a plan with a mistake in any step is refused before the first one moves.
#include "tools/sidera/plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"

namespace sidera::tool {
namespace {

constexpr double kLongestSeconds = 86400;  // a day of sky time
constexpr double kLargestOffsetArcmin = 600;

constexpr NamedSpeed kSpeeds[] = {
    {"guide", 0.5},       // half the sky's rate, for guiding corrections
    {"centering", 16.0},  // a star crosses a finder's cross-hair slowly
    {"find", 240.0},      // one degree a second
};

std::string Join(const Words& w, size_t begin, size_t end) {
  std::string out;
  for (size_t i = begin; i < end; ++i) out += (i > begin ? " " : "") + w[i];
  return out;
}

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

int ParseAxis(const std::string& word) {
  if (word == "0" || word == "ra" || word == "az") return 0;
  if (word == "1" || word == "dec" || word == "alt") return 1;
  return -1;
}

// An angle in degrees (or d:m:s) within [low, high] degrees, as radians.
bool ParseAngle(const std::string& text, double low, double high, const char* what, double* radians,
                std::string* error) {
  std::optional<double> v = ParseDegrees(text);
  if (!v) {
    const std::string problem = SexagesimalProblem(text);
    return Fail(error, std::string(what) + " '" + text + "' is not an angle" +
                           (problem.empty() ? "" : ": " + problem));
  }
  if (Degrees(*v) < low || Degrees(*v) > high) {
    return Fail(error, std::string(what) + " " + text + " is outside " + FormatFixed(low, 0) +
                           ".." + FormatFixed(high, 0) + " degrees");
  }
  *radians = *v;
  return true;
}

bool ParseSeconds(const std::string& text, double* seconds, std::string* error) {
  std::optional<double> v = ParseNumber(text);
  if (!v || *v < 0 || *v > kLongestSeconds) {
    return Fail(error, "'" + text + "' is not a time of 0 to 86400 seconds");
  }
  *seconds = *v;
  return true;
}

bool ParseArcminutes(const std::string& text, double* value) {
  const std::optional<double> v = ParseNumber(text);
  if (!v || std::fabs(*v) > kLargestOffsetArcmin) return false;
  *value = *v;
  return true;
}

bool ParseName(const std::string& name, TargetSpec* target, std::string* error) {
  if (!FindTarget(name, &target->named)) return Fail(error, UnknownTargetText(name));
  target->kind = TargetSpec::Kind::kNamed;
  target->label = target->named.name;
  return true;
}

// A sky target: a name (of one or more words) or catalogue RA and Dec.
bool ParseSkyTarget(const Words& args, size_t begin, TargetSpec* target, std::string* error) {
  if (args.size() == begin) return Fail(error, "no target given");
  if (args.size() == begin + 2) {
    std::optional<double> ra = ParseRightAscension(args[begin]);
    std::optional<double> dec = ParseDegrees(args[begin + 1]);
    // Two numbers are coordinates, even when one of them is out of range.
    const std::string raProblem = SexagesimalProblem(args[begin]);
    const std::string decProblem = SexagesimalProblem(args[begin + 1]);
    if ((ra || ParseDegrees(args[begin]) || !raProblem.empty()) && (dec || !decProblem.empty())) {
      if (!raProblem.empty())
        return Fail(error, "right ascension " + args[begin] + ": " + raProblem);
      if (!ra) {
        const std::string unit = ParseNumber(args[begin]) ? " h" : "";
        return Fail(error, "right ascension " + args[begin] + unit + " is outside 0..24 h");
      }
      if (!decProblem.empty())
        return Fail(error, "declination " + args[begin + 1] + ": " + decProblem);
    }
    if (ra && dec) {
      if (std::fabs(*dec) > kPi / 2) {
        return Fail(error, "declination " + args[begin + 1] + " is outside -90..90 degrees");
      }
      target->kind = TargetSpec::Kind::kCatalogue;
      target->a = *ra;
      target->b = *dec;
      target->label = "RA " + FormatHours(*ra) + " Dec " + FormatDegrees(*dec);
      return true;
    }
  }
  return ParseName(Join(args, begin, args.size()), target, error);
}

bool ReadGoto(const Words& args, const PlanContext&, Step* step, std::string* error) {
  GotoStep g;
  Words rest;
  for (const std::string& a : args) {
    if (a == "--nowait") {
      g.wait = false;
    } else {
      rest.push_back(a);
    }
  }
  TargetSpec& t = g.target;
  if (!rest.empty() && (rest[0] == "altaz" || rest[0] == "axes")) {
    if (rest.size() != 3) return Fail(error, rest[0] + " takes two angles");
    if (rest[0] == "altaz") {
      t.kind = TargetSpec::Kind::kHorizontal;
      if (!ParseAngle(rest[1], -360, 360, "azimuth", &t.a, error) ||
          !ParseAngle(rest[2], -90, 90, "altitude", &t.b, error)) {
        return false;
      }
      t.a = WrapTwoPi(t.a);
      t.label = "Az " + FormatFixed(Degrees(t.a), 2) + "\xC2\xB0 Alt " +
                FormatFixed(Degrees(t.b), 2) + "\xC2\xB0";
    } else {
      t.kind = TargetSpec::Kind::kAxes;
      if (!ParseAngle(rest[1], -360, 360, "axis 0 angle", &t.a, error) ||
          !ParseAngle(rest[2], -360, 360, "axis 1 angle", &t.b, error)) {
        return false;
      }
      t.label = "axes " + FormatFixed(Degrees(t.a), 3) + "\xC2\xB0 " +
                FormatFixed(Degrees(t.b), 3) + "\xC2\xB0";
    }
  } else if (!ParseSkyTarget(rest, 0, &t, error)) {
    return false;
  }
  *step = g;
  return true;
}

bool ReadAlignFile(const Words& args, Step* step, std::string* error) {
  if (args.size() != 2) return Fail(error, "give one file");
  const std::string& path = args[1];
  struct stat st {};
  const bool exists = stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return Fail(error, path + " is a directory");
  if (args[0] == "save") {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (dir.empty()) dir = ".";
    if (access(dir.c_str(), W_OK) != 0) {
      return Fail(error, "cannot write " + path + ": " + dir.string() +
                             " does not exist or is not writable");
    }
    if (exists && access(path.c_str(), W_OK) != 0) {
      return Fail(error, "cannot write " + path + ": permission denied");
    }
    *step = AlignSaveStep{path};
    return true;
  }
  AlignLoadStep load;
  load.path = path;
  if (!exists) return Fail(error, "cannot read " + path + ": no such file");
  std::ifstream file(path, std::ios::binary);
  if (!file) return Fail(error, "cannot read " + path + ": permission denied");
  // The 200-byte record of the three-star alignment, or a pointing model
  // (at least its header; the library checks the rest when it loads it).
  constexpr off_t kModelHeader = 332, kLargestModel = 1 << 20;
  if (st.st_size == static_cast<off_t>(sizeof(AlignmentRecord))) {
    load.isRecord = true;
    file.read(reinterpret_cast<char*>(&load.record), sizeof load.record);
  } else if (st.st_size < kModelHeader || st.st_size > kLargestModel) {
    return Fail(error, path + " holds " + std::to_string(st.st_size) +
                           " bytes; a saved pointing model holds " + std::to_string(kModelHeader) +
                           " to " + std::to_string(kLargestModel) + ", an alignment record " +
                           std::to_string(sizeof(AlignmentRecord)));
  } else {
    load.model.resize(static_cast<size_t>(st.st_size));
    file.read(reinterpret_cast<char*>(load.model.data()), st.st_size);
  }
  if (!file) return Fail(error, "cannot read " + path);
  *step = load;
  return true;
}

// The library fits the alignment only to stars that fix it: it refuses two
// closer than 5 degrees or within 5 of opposite and, of three, one within 5
// degrees of the great circle through the other two. Checked here from the
// catalogue places (the Moon and planets move, so only their names are
// compared), so that the mount is not sent to centre stars in vain.
bool CheckAlignmentStars(const std::vector<TargetSpec>& stars, std::string* error) {
  constexpr double kLimitDegrees = 5;
  struct Direction {
    double x, y, z;
  };
  std::vector<Direction> v;
  for (const TargetSpec& s : stars) {
    const CatalogueEntry* e = s.named.entry;
    if (e == nullptr) continue;
    const double ra = Radians(e->raDegrees), dec = Radians(e->decDegrees);
    v.push_back({std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)});
  }
  const auto cross = [](const Direction& a, const Direction& b) {
    return Direction{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  };
  const auto length = [](const Direction& a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  };
  for (size_t i = 0; i < stars.size(); ++i) {
    for (size_t j = i + 1; j < stars.size(); ++j) {
      if (stars[i].label == stars[j].label) {
        return Fail(error, stars[i].label + " is given twice; align on different stars");
      }
    }
  }
  if (v.size() != stars.size()) return true;
  for (size_t i = 0; i < v.size(); ++i) {
    for (size_t j = i + 1; j < v.size(); ++j) {
      const double apart = Degrees(std::atan2(length(cross(v[i], v[j])),
                                              v[i].x * v[j].x + v[i].y * v[j].y + v[i].z * v[j].z));
      if (apart < kLimitDegrees || apart > 180 - kLimitDegrees) {
        return Fail(error, stars[i].label + " and " + stars[j].label + " are " +
                               FormatFixed(apart, 1) +
                               "\xC2\xB0 apart; alignment stars must be at least 5\xC2\xB0 apart "
                               "and not within 5\xC2\xB0 of opposite");
      }
    }
  }
  if (v.size() == 3) {
    for (size_t i : {2, 0, 1}) {  // the third star first: it was added to the other two
      const Direction normal = cross(v[(i + 1) % 3], v[(i + 2) % 3]);
      const double off = Degrees(std::asin(
          std::fabs(normal.x * v[i].x + normal.y * v[i].y + normal.z * v[i].z) / length(normal)));
      if (off < kLimitDegrees) {
        return Fail(error, stars[i].label + " is " + FormatFixed(off, 1) +
                               "\xC2\xB0 from the great circle through " +
                               stars[(i + 1) % 3].label + " and " + stars[(i + 2) % 3].label +
                               "; a third star must be at least 5\xC2\xB0 off it");
      }
    }
  }
  return true;
}

bool ReadAlign(const Words& args, const PlanContext&, Step* step, std::string* error) {
  if (!args.empty() && (args[0] == "save" || args[0] == "load")) {
    return ReadAlignFile(args, step, error);
  }
  const bool add = !args.empty() && args[0] == "add";
  AlignStep a;
  for (size_t i = add ? 1 : 0; i < args.size();) {
    if (args[i] == "--offset") {
      double x = 0, y = 0;
      if (!(i + 2 < args.size()) || !ParseArcminutes(args[i + 1], &x) ||
          !ParseArcminutes(args[i + 2], &y)) {
        return Fail(error, "--offset takes two arc-minute values within -600..600");
      }
      a.offset0 = Radians(x / 60.0);
      a.offset1 = Radians(y / 60.0);
      i += 3;
      continue;
    }
    // Names may have several words ("Rigil Kentaurus"): take the longest
    // run of words that names a target.
    TargetSpec star;
    size_t taken = 0;
    for (size_t n = std::min<size_t>(3, args.size() - i); n > 0 && taken == 0; --n) {
      std::string ignored;
      if (ParseName(Join(args, i, i + n), &star, &ignored)) taken = n;
    }
    if (taken == 0) return ParseName(args[i], &star, error);
    a.stars.push_back(star);
    i += taken;
  }
  if (a.stars.empty()) return Fail(error, "give at least one star");
  if (add) {
    if (a.stars.size() != 1) return Fail(error, "align add takes one star, the one centred");
    *step = AlignAddStep{a.stars[0], a.offset0, a.offset1};
    return true;
  }
  if (!CheckAlignmentStars(a.stars, error)) return false;
  *step = a;
  return true;
}

bool ReadSlew(const Words& given, const PlanContext& context, Step* step, std::string* error) {
  SlewStep s;
  Words args;
  for (const std::string& a : given) {
    if (a == "--leave-running") {
      s.leaveRunning = true;
    } else {
      args.push_back(a);
    }
  }
  if (args.size() < 2 || args.size() > 3) return Fail(error, "give an axis and a speed");
  s.axis = ParseAxis(args[0]);
  if (s.axis < 0) return Fail(error, "unknown axis '" + args[0] + "'");
  const double maxDegrees = context.model->maxSlewDegreesPerSecond;
  const double maxTimes = Radians(maxDegrees) / kSiderealRate;
  std::string word = args[1];
  double sign = 1;
  if (!word.empty() && (word[0] == '-' || word[0] == '+') && !ParseNumber(word)) {
    sign = word[0] == '-' ? -1 : 1;
    word.erase(0, 1);
  }
  double times = 0;
  bool named = false;
  if (word == "max") {
    times = maxTimes;
    named = true;
  }
  for (const NamedSpeed& speed : kSpeeds) {
    if (word == speed.name) {
      times = speed.timesSidereal;
      named = true;
    }
  }
  if (!named) {
    std::optional<double> v = ParseNumber(word);
    if (!v) {
      return Fail(error, "'" + args[1] + "' is neither a speed name nor a number");
    }
    times = *v;
  }
  times *= sign;
  if (std::fabs(times) > maxTimes * (1 + 1e-9)) {
    return Fail(error, "a rate of " + FormatFixed(times, 1) +
                           " x sidereal is beyond the fastest this model slews (" +
                           FormatFixed(maxDegrees, 1) + "\xC2\xB0/s, " + FormatFixed(maxTimes, 0) +
                           " x sidereal)");
  }
  s.rate = times * kSiderealRate;
  s.speed = named ? args[1] : FormatFixed(times, 2) + " x sidereal";
  if (args.size() == 3) {
    if (!ParseSeconds(args[2], &s.seconds, error)) return false;
    if (s.leaveRunning) return Fail(error, "--leave-running is for a slew without a duration");
  }
  *step = s;
  return true;
}

bool ReadStop(const Words& args, const PlanContext&, Step* step, std::string* error) {
  StopStep s;
  if (args.size() > 1) return Fail(error, "give at most one axis");
  if (args.size() == 1) {
    if (args[0] == "all") {
      s.all = true;
    } else if ((s.axis = ParseAxis(args[0])) < 0) {
      return Fail(error, "unknown axis '" + args[0] + "'");
    }
  }
  *step = s;
  return true;
}

bool ReadTrack(const Words& args, const PlanContext&, Step* step, std::string* error) {
  if (args.size() != 1) return Fail(error, "give one word or a time");
  static const std::pair<const char*, TrackStep::Mode> kModes[] = {
      {"on", TrackStep::Mode::kOn},
      {"off", TrackStep::Mode::kOff},
      {"sidereal", TrackStep::Mode::kSidereal},
      {"lunar", TrackStep::Mode::kLunar},
      {"solar", TrackStep::Mode::kSolar}};
  TrackStep t;
  for (const auto& [word, mode] : kModes) {
    if (args[0] == word) {
      t.mode = mode;
      *step = t;
      return true;
    }
  }
  t.mode = TrackStep::Mode::kWatch;
  if (!ParseSeconds(args[0], &t.seconds, error)) return false;
  *step = t;
  return true;
}

bool ReadSync(const Words& args, const PlanContext&, Step* step, std::string* error) {
  SyncStep s;
  if (args.size() == 1 && args[0] == "home") {
    s.kind = SyncStep::Kind::kHome;
  } else if (!args.empty() && args[0] == "axis") {
    if (args.size() != 3) return Fail(error, "sync axis takes an axis and an angle");
    s.kind = SyncStep::Kind::kAxis;
    s.axis = ParseAxis(args[1]);
    if (s.axis < 0) return Fail(error, "unknown axis '" + args[1] + "'");
    if (!ParseAngle(args[2], -360, 360, "axis angle", &s.angle, error)) return false;
  } else if (!ParseSkyTarget(args, 0, &s.target, error)) {
    return false;
  }
  *step = s;
  return true;
}

bool ReadStatus(const Words& args, const PlanContext&, Step* step, std::string* error) {
  StatusStep s;
  if (args.size() > 1) return Fail(error, "give at most a time");
  if (args.size() == 1 && !ParseSeconds(args[0], &s.seconds, error)) return false;
  *step = s;
  return true;
}

bool ReadWait(const Words& args, const PlanContext&, Step* step, std::string* error) {
  WaitStep w;
  if (args.size() != 1) return Fail(error, "give a time");
  if (!ParseSeconds(args[0], &w.seconds, error)) return false;
  *step = w;
  return true;
}

bool ReadLimits(const Words& args, const PlanContext&, Step* step, std::string* error) {
  LimitsStep l;
  if (args.size() != 2) return Fail(error, "give a lower and an upper altitude");
  // The ranges the library's SetAltitudeLimits accepts.
  if (!ParseAngle(args[0], -29.999, 44.999, "lower limit", &l.lower, error) ||
      !ParseAngle(args[1], 45.001, 90, "upper limit", &l.upper, error)) {
    return false;
  }
  *step = l;
  return true;
}

bool ReadTargets(const Words& args, const PlanContext&, Step* step, std::string* error) {
  TargetsStep t;
  if (args.size() > 1) return Fail(error, "give at most one group");
  if (args.size() == 1) {
    t.which = args[0];
    if (t.which != "stars" && t.which != "messier" && t.which != "planets" && t.which != "up") {
      return Fail(error, "unknown group '" + t.which + "'");
    }
  }
  *step = t;
  return true;
}

bool ReadStars(const Words& args, const PlanContext&, Step* step, std::string* error) {
  if (!args.empty()) return Fail(error, "stars takes no arguments");
  *step = TargetsStep{"stars"};
  return true;
}

bool ReadPark(const Words& args, const PlanContext&, Step* step, std::string* error) {
  if (!args.empty()) return Fail(error, "park takes no arguments");
  *step = ParkStep{};
  return true;
}

bool ReadUnpark(const Words& args, const PlanContext&, Step* step, std::string* error) {
  if (!args.empty()) return Fail(error, "unpark takes no arguments");
  *step = UnparkStep{};
  return true;
}

constexpr StepSyntax kSteps[] = {
    {"goto", ReadGoto,
     "goto [--nowait] TARGET | RA DEC | altaz AZ ALT | axes A0 A1   (RA in hours or h:m:s, "
     "J2000; other angles in degrees or d:m:s; AZ 0-360 from north)"},
    {"align", ReadAlign,
     "align [--offset ARCMIN0 ARCMIN1] STAR [STAR...] | align add [--offset ARCMIN0 ARCMIN1] "
     "STAR | align save FILE | align load FILE"},
    {"slew", ReadSlew,
     "slew [--leave-running] AXIS SPEED [SECONDS]   (AXIS 0|1|ra|dec|az|alt; SPEED "
     "[-]guide|centering|find|max or a multiple of the sidereal rate; without SECONDS the slew "
     "runs until a stop or the end of the program, or after it with --leave-running)"},
    {"stop", ReadStop, "stop [AXIS|all]   (all: also tracking)"},
    {"track", ReadTrack, "track on|off|sidereal|lunar|solar|SECONDS"},
    {"sync", ReadSync, "sync TARGET | RA DEC | home | axis AXIS DEG"},
    {"status", ReadStatus, "status [SECONDS]"},
    {"wait", ReadWait, "wait SECONDS"},
    {"limits", ReadLimits,
     "limits LOWER UPPER   (altitudes in degrees, 0 and 75 until changed: -30 < LOWER < 45 < "
     "UPPER <= 90)"},
    {"targets", ReadTargets, "targets [stars|messier|planets|up]"},
    {"stars", ReadStars, "stars"},
    {"park", ReadPark, "park   (stop tracking and go to the home position)"},
    {"unpark", ReadUnpark, "unpark   (leave the home position free to move; tracking on)"},
};

}  // namespace

std::span<const StepSyntax> StepTable() { return kSteps; }

std::span<const NamedSpeed> NamedSpeeds() { return kSpeeds; }

bool ParseStep(const Words& words, const PlanContext& context, PlannedStep* step,
               std::string* error, std::string* usage) {
  usage->clear();
  if (words.empty()) return Fail(error, "empty step");
  for (const StepSyntax& row : kSteps) {
    if (words[0] != row.name) continue;
    *usage = row.usage;
    step->name = row.name;
    return row.parse(Words(words.begin() + 1, words.end()), context, &step->step, error);
  }
  std::string names;
  for (const StepSyntax& row : kSteps) names += std::string(names.empty() ? "" : ", ") + row.name;
  return Fail(error, "unknown step '" + words[0] + "' (steps: " + names + ")");
}

bool StepMoves(const Step& step) {
  if (const auto* t = std::get_if<TrackStep>(&step)) {
    return t->mode == TrackStep::Mode::kOn || t->mode == TrackStep::Mode::kWatch;
  }
  return std::holds_alternative<GotoStep>(step) || std::holds_alternative<AlignStep>(step) ||
         std::holds_alternative<SlewStep>(step);
}

LimitsStep DefaultLimits() { return {0.0, Radians(75.0)}; }

std::string OutsideLimitsText(double altitude, const LimitsStep& limits) {
  if (altitude >= limits.lower && altitude <= limits.upper) return "";
  return LimitText(altitude > limits.upper, limits);
}

std::string LimitText(bool upper, const LimitsStep& limits) {
  return std::string(upper ? "above the upper" : "below the lower") + " altitude limit of " +
         FormatFixed(Degrees(upper ? limits.upper : limits.lower), 1) +
         "\xC2\xB0 (the 'limits LOWER UPPER' step changes the limits)";
}

std::optional<std::vector<PlannedStep>> ParsePlan(const std::vector<Words>& steps,
                                                  const PlanContext& context, PlanError* error) {
  std::vector<PlannedStep> plan;
  size_t parkedAt = 0;
  LimitsStep limits = DefaultLimits();
  for (size_t i = 0; i < steps.size(); ++i) {
    PlannedStep planned;
    error->index = i + 1;
    error->step = steps[i].empty() ? "" : steps[i][0];
    if (!ParseStep(steps[i], context, &planned, &error->message, &error->usage)) {
      return std::nullopt;
    }
    if (parkedAt != 0 && StepMoves(planned.step)) {
      error->message =
          "the mount is parked by step " + std::to_string(parkedAt) + "; unpark it first";
      error->usage.clear();
      return std::nullopt;
    }
    // A horizontal target's altitude is known now; a sky target's only at its goto.
    if (const auto* g = std::get_if<GotoStep>(&planned.step);
        g != nullptr && g->target.kind == TargetSpec::Kind::kHorizontal) {
      if (const std::string why = OutsideLimitsText(g->target.b, limits); !why.empty()) {
        error->message = "altitude " + FormatFixed(Degrees(g->target.b), 1) + "\xC2\xB0 is " + why;
        error->usage.clear();
        return std::nullopt;
      }
    }
    if (const auto* l = std::get_if<LimitsStep>(&planned.step)) limits = *l;
    if (std::holds_alternative<ParkStep>(planned.step)) parkedAt = i + 1;
    if (std::holds_alternative<UnparkStep>(planned.step)) parkedAt = 0;
    plan.push_back(std::move(planned));
  }
  return plan;
}

}  // namespace sidera::tool
