#include "tools/sidera/session_setup.h"

#include <cmath>
#include <cstdlib>

#include "tools/sidera/astro.h"
#include "tools/sidera/format.h"

namespace sidera::tool {

bool ParseSetupOptions(const Words& args, size_t* next, SetupOptions* options, std::string* error) {
  size_t i = *next;
  for (; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name.rfind("--", 0) != 0 || name == "--") break;
    if (i + 1 >= args.size()) {
      *error = name + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    std::optional<double> number = ParseNumber(value);
    SessionOptions& s = options->session;
    if (name == "--model") {
      if (!number || *number != static_cast<int>(*number)) {
        *error = "bad model number '" + value + "'";
        return false;
      }
      s.model = static_cast<int>(*number);
    } else if (name == "--lat" || name == "--latitude") {
      std::optional<double> lat = ParseDegrees(value);
      if (!lat || std::abs(*lat) > kPi / 2) {
        *error = "latitude must lie within -90..90 degrees";
        return false;
      }
      s.latitude = *lat;
    } else if (name == "--lon" || name == "--longitude") {
      std::optional<double> lon = ParseDegrees(value);
      if (!lon) {
        *error = "bad longitude '" + value + "'";
        return false;
      }
      s.longitude = WrapPi(*lon);
    } else if (name == "--elev" || name == "--elevation") {
      if (!number) {
        *error = "bad elevation '" + value + "'";
        return false;
      }
      s.elevation = *number;
    } else if (name == "--port") {
      if (!number || *number < 0 || *number > 255 || *number != static_cast<int>(*number)) {
        *error = "the port number must be 0 to 255";
        return false;
      }
      s.port = static_cast<int>(*number);
    } else if (name == "--device") {
      options->device = value;
    } else if (name == "--clock-scale") {
      if (!number || *number <= 0) {
        *error = "the clock scale must be a positive number";
        return false;
      }
      options->clockScale = *number;
    } else if (name == "--utc") {
      options->startUtc = ParseUtc(value);
      if (!options->startUtc) {
        *error = "bad time '" + value + "' (want YYYY-MM-DDTHH:MM:SS)";
        return false;
      }
    } else {
      *error = "unknown option " + name;
      return false;
    }
  }
  *next = i;
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
