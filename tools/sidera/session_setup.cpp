// The options of run, shell and demo, and the checks made before a session
// loads the library: model, site and serial device.
#include "tools/sidera/session_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "host/civil_time.h"
#include "host/location_site.h"
#include "host/model_facts.h"
#include "host/mount_connect.h"
#include "host/serial_device.h"
#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"

namespace sidera::tool {
namespace {

// A number within [low, high] in the unit given, or an error naming both.
bool InRange(const std::string& name, const std::optional<double>& value, double low, double high,
             const char* unit, std::string* error) {
  if (value && *value >= low && *value <= high) return true;
  *error = name + " must lie within " + FormatFixed(low, 0) + ".." + FormatFixed(high, 0) + unit;
  return false;
}

// An angle option's value in degrees within [low, high], or an error that
// says what is wrong with it.
bool AngleInRange(const std::string& name, const std::string& text, double low, double high,
                  const char* unit, std::optional<double>* degrees, std::string* error) {
  const std::optional<double> r = ParseDegrees(text);
  if (!r) {
    const std::string problem = SexagesimalProblem(text);
    *error = name + " " + text + " is not an angle" +
             (problem.empty() ? " (degrees, or d:m:s)" : ": " + problem);
    return false;
  }
  *degrees = Degrees(*r);
  return InRange(name, *degrees, low, high, unit, error);
}

}  // namespace

bool ParseSetupOptions(const Words& args, size_t* next, SetupOptions* options, std::string* error) {
  size_t i = *next;
  for (; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name.rfind("--", 0) != 0 || name == "--") break;
    static const char* const kNames[] = {"--model",     "--lat",         "--latitude",  "--lon",
                                         "--longitude", "--elev",        "--elevation", "--port",
                                         "--device",    "--clock-scale", "--utc"};
    if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) {
      *error = "unknown option " + name + " (sidera --help lists the options)";
      return false;
    }
    if (i + 1 >= args.size()) {
      *error = name + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    std::optional<double> number = ParseNumber(value);
    if (name == "--model") {
      if (!number || *number != std::floor(*number) ||
          host::FactsOf(static_cast<int>(*number)) == nullptr) {
        *error = "the model must be a number from 0 to " + std::to_string(host::LastModel()) +
                 " (see: sidera models)";
        return false;
      }
      options->model = static_cast<int>(*number);
    } else if (name == "--lat" || name == "--latitude") {
      if (!AngleInRange("the latitude", value, -90, 90, " degrees", &options->site.latitude,
                        error)) {
        return false;
      }
    } else if (name == "--lon" || name == "--longitude") {
      if (!AngleInRange("the longitude", value, -180, 180, " degrees (east positive)",
                        &options->site.longitude, error)) {
        return false;
      }
    } else if (name == "--elev" || name == "--elevation") {
      options->site.elevation = number;
      if (!InRange("the elevation", number, host::kLowestElevation, host::kHighestElevation,
                   " metres", error))
        return false;
    } else if (name == "--port") {
      if (!InRange("the port number", number, 0, 255, "", error)) return false;
      if (*number != std::floor(*number)) {
        *error = "the port number must be a whole number";
        return false;
      }
      options->port = static_cast<int>(*number);
    } else if (name == "--device") {
      if (value.empty()) {
        *error = "--device needs a path (such as /dev/ttyUSB0); an empty one names no device";
        return false;
      }
      options->device = value;
    } else if (name == "--clock-scale") {
      if (!number || !(*number >= 0.001 && *number <= 10000)) {
        // 0 would stop the clock: the smallest rate is a thousandth of real time.
        *error = "the clock scale must be a number from 0.001 to 10000 (times real time)";
        return false;
      }
      options->clockScale = *number;
    } else if (name == "--utc") {
      options->startUtc = host::ParseUtc(value);
      if (!options->startUtc) {
        *error = "bad time '" + value + "' (want YYYY-MM-DDTHH:MM:SS, UTC)";
        return false;
      }
    }
  }
  *next = i;
  return true;
}

bool PrepareSession(const SetupOptions& setup, SessionOptions* session, SetupError* error) {
  const host::ModelFacts* facts = host::FactsOf(setup.model);
  session->model = setup.model;
  session->port = setup.port;
  if (host::IsSimulator(*facts)) {
    if (!setup.device.empty() || setup.port >= 0) {
      error->message = "model " + std::to_string(setup.model) +
                       " is a simulator: it uses no serial device, so --device and --port do "
                       "not apply";
      return false;
    }
  } else {
    const char* env = std::getenv("SIDERA_SERIAL_PATTERN");
    const std::string pattern = !setup.device.empty() ? setup.device : env != nullptr ? env : "";
    const std::string path = host::SerialDevicePath(pattern, setup.port >= 0 ? setup.port : 2);
    if (std::string problem = host::DeviceUnusable(
            {setup.model, path, "choose one with --device PATH or --port N", ""});
        !problem.empty()) {
      error->exitStatus = 1;
      error->message = problem;
      return false;
    }
    session->device = path;
  }
  std::string siteError;
  if (!ResolveSite(setup.site, host::LocationSettingsPath(), &session->site, &siteError)) {
    error->message = siteError;
    return false;
  }
  return true;
}

void ExportLibraryEnvironment(const SetupOptions& options) {
  if (!options.device.empty()) {
    // A pattern without %d names one device for every port number.
    setenv("SIDERA_SERIAL_PATTERN", options.device.c_str(), 1);
  }
  if (options.clockScale) {
    setenv("SIDERA_CLOCK_SCALE", FormatFixed(*options.clockScale, 6).c_str(), 1);
  }
}

}  // namespace sidera::tool
