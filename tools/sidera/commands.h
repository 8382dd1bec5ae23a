// The tool's commands: models, message, sidereal, run, shell and demo.
#pragma once

#include "tools/sidera/steps.h"

namespace sidera::tool {

// Each takes the words after its name and returns the process exit code:
// 0 success, 1 a failure reported by the library or the mount, 2 bad usage.
int CommandModels(const Words& args, bool json);
int CommandMessage(const Words& args, bool json);
int CommandSidereal(const Words& args, bool json);
int CommandRun(const Words& args, bool json);
int CommandShell(const Words& args, bool json);
int CommandDemo(const Words& args, bool json);

}  // namespace sidera::tool
