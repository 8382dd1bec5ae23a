// sidera: drive a telescope mount through the Sidera library from a shell.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/model_facts.h"
#include "sidera_version.h"
#include "tools/sidera/commands.h"
#include "tools/sidera/output.h"
#include "tools/sidera/plan.h"

namespace {

using sidera::tool::Words;

struct Command {
  const char* name;
  int (*handler)(const Words& args, bool json);
  const char* usage;
};

constexpr Command kCommands[] = {
    {"models", sidera::tool::CommandModels,
     "models                          the mount models; which this build drives"},
    {"message", sidera::tool::CommandMessage,
     "message CODE                    the text of a status code"},
    {"sidereal", sidera::tool::CommandSidereal,
     "sidereal [--longitude DEG] [--utc TIME] [--zone H [--daylight]]"},
    {"run", sidera::tool::CommandRun,
     "run [OPTIONS] -- STEP -- STEP   connect, then run the steps in order"},
    {"shell", sidera::tool::CommandShell,
     "shell [OPTIONS]                 connect, then read steps from standard input"},
    {"demo", sidera::tool::CommandDemo,
     "demo [--model N] [--lat DEG --lon DEG]   align, goto several stars, track"},
};

void PrintHelp() {
  std::puts("usage: sidera [--json] [--debug[=TOPICS]] COMMAND [ARGS]\n\ncommands:");
  for (const Command& c : kCommands) std::printf("  %s\n", c.usage);
  std::printf(
      "\noptions of run, shell and demo:\n"
      "  --model N        mount model 0..%d (default 6, the equatorial simulator)\n",
      sidera::host::LastModel());
  std::puts(
      "  --lat DEG        site latitude, -90..90, north positive (degrees or d:m:s)\n"
      "  --lon DEG        site longitude, -180..180, east positive\n"
      "  --elev M         site elevation in metres, -1000..8848\n"
      "                   Without --lat/--lon the site stored by the Location program is\n"
      "                   used ($XDG_CONFIG_HOME/ZENARA.en/ZENARAWindow.conf); with neither,\n"
      "                   nothing moves.\n"
      "  --port N         serial port number 0..255 (default 2)\n"
      "  --device PATH    serial device, or a pattern with %d for the port number\n"
      "  --clock-scale X  run the library's clock X times faster than real time\n"
      "  --utc TIME       the sky clock's start, YYYY-MM-DDTHH:MM:SS (UTC)\n"
      "\nsteps (times in seconds of sky time; RA in hours or h:m:s, J2000; other angles\n"
      "in degrees or d:m:s; azimuth 0..360 from north through east):");
  for (const sidera::tool::StepSyntax& row : sidera::tool::StepTable()) {
    std::printf("  %s\n", row.usage);
  }
  std::puts(
      "  TARGET is a bright star (Vega), a Messier object (M31, Andromeda Galaxy), the\n"
      "  Moon or a planet; 'targets' lists them with where they are now. Named slew\n"
      "  speeds: guide 0.5x sidereal, centering 16x, find 240x (1 deg/s), max (the\n"
      "  model's fastest); a plain number is a multiple of the sidereal rate.\n"
      "  A goto keeps within the altitude limits, 0\xC2\xB0 to 75\xC2\xB0 until a 'limits' step\n"
      "  changes them: 'goto altaz' outside them is refused before anything is\n"
      "  connected; a sky target is judged at its goto; 'targets up' marks the\n"
      "  targets outside them.\n"
      "\noutput: readable lines, or one JSON object per line with --json. --debug\n"
      "switches on the library's debug log on standard error (TOPICS: all, io or\n"
      "motion, or a comma list such as io,motion; all when none is given).\n"
      "\nexit status: 0 success; 1 the mount, the library or the device failed;\n"
      "2 bad usage (nothing was moved); 3 the controller stopped answering, so what\n"
      "the mount is left doing is unknown (check it); 130 interrupted with Ctrl-C\n"
      "(the axes stopped).\n"
      "\nenvironment:\n"
      "  SIDERA_LIBRARY         the library to load (default ../lib/libsidera.so\n"
      "                         beside this program, else the installed " SIDERA_LIBRARY_SONAME
      ")\n"
      "  SIDERA_SERIAL_PATTERN  device path pattern of serial port N (default /dev/ttyS%d)\n"
      "  SIDERA_CLOCK_SCALE     the library's clock rate (as --clock-scale)\n"
      "  SIDERA_DEBUG           the library's debug log (as --debug)\n"
      "  XDG_CONFIG_HOME        where Location's settings are looked for (~/.config)\n"
      "  LC_ALL, LC_MESSAGES, LANG  language of messages and model names (zh_CN, zh_TW)");
}

// The library's debug topics, as SIDERA_DEBUG takes them: "1" or "all",
// "io", "motion", any case, separated by commas or blanks. Returns the first
// word that is none of them, or "".
std::string UnknownDebugTopic(const std::string& topics) {
  static const char* const kTopics[] = {"1", "all", "io", "motion"};
  std::string word;
  for (size_t i = 0; i <= topics.size(); ++i) {
    const char c = i < topics.size() ? topics[i] : ',';
    if (c != ',' && !std::isspace(static_cast<unsigned char>(c))) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      continue;
    }
    if (!word.empty() &&
        std::find(std::begin(kTopics), std::end(kTopics), word) == std::end(kTopics)) {
      return topics.substr(i - word.size(), word.size());
    }
    word.clear();
  }
  return "";
}

bool IsCommand(const std::string& word) {
  for (const Command& c : kCommands) {
    if (word == c.name) return true;
  }
  return word == "help";
}

}  // namespace

int main(int argc, char** argv) {
  Words words(argv + 1, argv + argc);
  bool json = false;
  std::string badTopic;
  // --json and --debug may stand anywhere before the first step separator.
  for (size_t i = 0; i < words.size() && words[i] != "--";) {
    const std::string w = words[i];
    if (w == "--json") {
      json = true;
    } else if (w == "--debug" || w.rfind("--debug=", 0) == 0) {
      std::string topics = w.size() > 8 ? w.substr(8) : "1";
      // "--debug io,motion": the next word is topics unless it is a command.
      if (w == "--debug" && i + 1 < words.size() && !IsCommand(words[i + 1]) &&
          words[i + 1].rfind("--", 0) != 0) {
        topics = words[i + 1];
        words.erase(words.begin() + static_cast<long>(i) + 1);
      }
      if (const std::string unknown = UnknownDebugTopic(topics); !unknown.empty()) {
        badTopic = unknown;
      }
      // The library reads this whenever a mount is created.
      setenv("SIDERA_DEBUG", topics.c_str(), 1);
    } else {
      ++i;
      continue;
    }
    words.erase(words.begin() + static_cast<long>(i));
  }
  sidera::tool::Output out(json);
  if (!badTopic.empty()) {
    out.Failure("usage", "usage",
                "sidera: unknown debug topic '" + badTopic + "' (topics: all, io, motion)");
    return sidera::tool::kExitUsage;
  }
  if (words.empty() && json) {
    out.Failure("usage", "usage", "sidera: no command given (try sidera --help)");
    return sidera::tool::kExitUsage;
  }
  if (!words.empty() && words[0] == "--version") {
    std::printf("sidera %s\n", SIDERA_VERSION);
    return 0;
  }
  if (words.empty() || words[0] == "help" || words[0] == "--help" || words[0] == "-h") {
    PrintHelp();
    return words.empty() ? sidera::tool::kExitUsage : 0;
  }
  const Words args(words.begin() + 1, words.end());
  // "sidera run --help": the help, before the command reads its options.
  for (size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
    if (IsCommand(words[0]) && (args[i] == "--help" || args[i] == "-h")) {
      PrintHelp();
      return 0;
    }
  }
  for (const Command& c : kCommands) {
    if (words[0] == c.name) return c.handler(args, json);
  }
  out.Failure("usage", "usage", "sidera: unknown command '" + words[0] + "' (try sidera --help)");
  return sidera::tool::kExitUsage;
}
