// Reading the command line.
#include "alpaca/options.h"

#include <cstdlib>

#include "host/model_facts.h"

namespace sidera::alpaca {
namespace {

std::optional<long> WholeNumber(const std::string& text, long low, long high) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || v < low || v > high) return std::nullopt;
  return v;
}

}  // namespace

const char* const kUsage =
    "Usage: sidera-alpaca [--model N] [--device PATH] [--port N] [--listen ADDRESS]\n"
    "                     [--config FILE] [--discovery-port N] [--client-timeout S]\n"
    "Serves one Sidera mount as an ASCOM Alpaca telescope (device 0) to N.I.N.A.,\n"
    "SkySafari, Cartes du Ciel and any other Alpaca client.\n"
    "\n"
    "  --model N            mount model 0 to %d (see: sidera models); 6 is the\n"
    "                       equatorial simulator, 7 the alt-azimuth one\n"
    "  --device PATH        serial device of a hardware model, e.g. /dev/ttyUSB0\n"
    "  --port N             HTTP port (11111, the one Alpaca clients try first;\n"
    "                       0 picks a free one)\n"
    "  --listen ADDRESS     address to serve on (127.0.0.1: this computer only;\n"
    "                       0.0.0.0 or :: for the network)\n"
    "  --config FILE        configuration file (~/.config/sidera/alpaca.json)\n"
    "  --discovery-port N   UDP discovery port (32227; 0: no discovery)\n"
    "  --client-timeout S   a client silent this many seconds is forgotten, so that\n"
    "                       it no longer keeps the others' Disconnect from releasing\n"
    "                       the mount (120; it never disconnects the mount itself)\n"
    "  --version            the program's version\n"
    "\n"
    "The model and device given here override the stored configuration for this\n"
    "run; the setup page (http://ADDRESS:PORT/setup) changes the stored one.\n"
    "SIGINT or SIGTERM stops the axes and ends the server.\n";

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--help" || name == "-h") {
      options->help = true;
      continue;
    }
    if (name == "--version") {
      options->version = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unexpected word " + name;
      return false;
    }
    const std::string& value = args[++i];
    if (name == "--model") {
      const auto v = WholeNumber(value, 0, host::LastModel());
      if (!v) {
        *error = "the model must be a number from 0 to " + std::to_string(host::LastModel());
        return false;
      }
      options->model = static_cast<int>(*v);
    } else if (name == "--device") {
      options->device = value;
    } else if (name == "--port" || name == "--discovery-port") {
      const auto v = WholeNumber(value, 0, 65535);
      if (!v) {
        *error = name + " must be a number from 0 to 65535";
        return false;
      }
      (name == "--port" ? options->port : options->discoveryPort) = static_cast<int>(*v);
    } else if (name == "--client-timeout") {
      const auto v = WholeNumber(value, 1, 86400);
      if (!v) {
        *error = "--client-timeout must be a number of seconds from 1 to 86400";
        return false;
      }
      options->clientTimeoutSeconds = static_cast<int>(*v);
    } else if (name == "--listen") {
      options->listen = value;
    } else if (name == "--config") {
      options->configPath = value;
    } else {
      *error = "unknown option " + name;
      return false;
    }
  }
  return true;
}

}  // namespace sidera::alpaca
