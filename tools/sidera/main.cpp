// sidera: drive a telescope mount through the Sidera library from a shell.
#include <cstdio>
#include <string>

#include "tools/sidera/commands.h"

namespace {

void PrintHelp() {
  std::puts(
      "usage: sidera [--json] COMMAND [ARGS]\n"
      "\n"
      "  models                         the twelve mount models\n"
      "  message CODE                   the text of a status code\n"
      "  sidereal [--longitude DEG] [--utc YYYY-MM-DDTHH:MM:SS] [--zone H [--daylight]]\n"
      "  run [OPTIONS] -- STEP -- STEP ...   connect, then run the steps in order\n"
      "  shell [OPTIONS]                read steps from standard input\n"
      "  demo [--model N]               align, goto several stars, track (simulator)\n"
      "\n"
      "options: --model N (default 6) --lat DEG --lon DEG --elev M --port N --device PATH\n"
      "         --clock-scale X (run the library's clock X times faster) --utc TIME\n"
      "steps:   align [--offset ARCMIN0 ARCMIN1] STAR...   goto STAR | RA DEC (J2000) |\n"
      "         altaz AZ ALT | axes A0 A1   slew AXIS RATE [SECONDS]   stop [AXIS|all]\n"
      "         track on|off|sidereal|lunar|solar|SECONDS   sync STAR | RA DEC | home |\n"
      "         axis N DEG   status [SECONDS]   wait SECONDS   limits LOWER UPPER   stars\n"
      "\n"
      "The library is $SIDERA_LIBRARY, else ../lib/libsidera.so beside this program.");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sidera::tool;
  Words words(argv + 1, argv + argc);
  bool json = false;
  // --json may stand anywhere before the first step separator.
  for (size_t i = 0; i < words.size() && words[i] != "--"; ++i) {
    if (words[i] == "--json") {
      json = true;
      words.erase(words.begin() + static_cast<long>(i));
      break;
    }
  }
  if (words.empty() || words[0] == "help" || words[0] == "--help" || words[0] == "-h") {
    PrintHelp();
    return words.empty() ? 2 : 0;
  }
  const std::string command = words[0];
  const Words args(words.begin() + 1, words.end());
  if (command == "models") return CommandModels(args, json);
  if (command == "message") return CommandMessage(args, json);
  if (command == "sidereal") return CommandSidereal(args, json);
  if (command == "run") return CommandRun(args, json);
  if (command == "shell") return CommandShell(args, json);
  if (command == "demo") return CommandDemo(args, json);
  std::fprintf(stderr, "sidera: unknown command '%s' (try sidera help)\n", command.c_str());
  return 2;
}
