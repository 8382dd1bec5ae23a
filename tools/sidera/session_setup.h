// Options shared by the commands that open a session (run, shell, demo),
// their checks (site, model, device), and the environment the library must
// see before it is loaded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/sidera/session.h"
#include "tools/sidera/site.h"
#include "tools/sidera/steps.h"

namespace sidera::tool {

struct SetupOptions {
  int model = 6;
  SiteArguments site;                // degrees and metres as given
  int port = -1;                     // --port, -1: the library's default (2)
  std::string device;                // --device: a path, or a pattern with %d
  std::optional<double> clockScale;  // SIDERA_CLOCK_SCALE for the library
  std::optional<int64_t> startUtc;   // sky clock start, milliseconds since 1970
};

// Consumes the options at the front of `args` up to the first word that is
// not one of them, checking each value's range. Returns false and sets
// `error` for a bad or unknown option.
bool ParseSetupOptions(const Words& args, size_t* next, SetupOptions* options, std::string* error);

// How preparing a session failed: bad usage (exit 2) or a device that
// cannot work (exit 1).
struct SetupError {
  int exitStatus = 2;
  std::string message;
};

// Checks the model, picks the site (command line or Location's) and, for a
// hardware model, the device the library will open, diagnosing a path that
// cannot be a mount's serial line.
bool PrepareSession(const SetupOptions& setup, SessionOptions* session, SetupError* error);

// Puts the device pattern and clock scale into the environment, where the
// library reads them.
void ExportLibraryEnvironment(const SetupOptions& options);

}  // namespace sidera::tool
