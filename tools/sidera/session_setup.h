// Options shared by the commands that open a session (run, shell, demo),
// and the environment the library must see before it is loaded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/sidera/session.h"
#include "tools/sidera/steps.h"

namespace sidera::tool {

struct SetupOptions {
  SessionOptions session;
  std::string device;                // serial device for every port number
  std::optional<double> clockScale;  // SIDERA_CLOCK_SCALE for the library
  std::optional<int64_t> startUtc;   // sky clock start, milliseconds since 1970
};

// Consumes the options at the front of `args` up to the first word that is
// not one of them. Returns false and sets `error` for a bad value.
bool ParseSetupOptions(const Words& args, size_t* next, SetupOptions* options, std::string* error);

// Puts the device pattern and clock scale into the environment, where the
// library reads them when it is loaded.
void ExportLibraryEnvironment(const SetupOptions& options);

}  // namespace sidera::tool
