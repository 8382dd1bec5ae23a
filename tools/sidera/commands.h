// The program's commands: models, message, sidereal, run, shell and demo.
#pragma once

#include "tools/sidera/steps.h"

namespace sidera::tool {

// Exit statuses: 0 success, 1 a failure of the mount, the library or the
// device, 2 bad usage (nothing was moved), 130 interrupted with Ctrl-C.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// The end of the program could not read back what the mount is left doing.
inline constexpr int kExitLeftUnknown = 3;
inline constexpr int kExitInterrupted = 130;

// Each takes the words after its name and returns the exit status.
int CommandModels(const Words& args, bool json);
int CommandMessage(const Words& args, bool json);
int CommandSidereal(const Words& args, bool json);
int CommandRun(const Words& args, bool json);
int CommandShell(const Words& args, bool json);
int CommandDemo(const Words& args, bool json);

}  // namespace sidera::tool
