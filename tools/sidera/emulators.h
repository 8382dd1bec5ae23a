// The wire-level controller emulators the program can start in place of a
// real mount (for the demo): one row per protocol family.
#pragma once

#include <string>

#include "tools/sidera/emulator_process.h"

namespace sidera::tool {

// True when the model's family has an emulator in this table.
bool HasEmulator(int model);

// Starts the emulator of `model`'s family, its axes running `timeScale`
// times faster than real time, from the directory of this program. On
// failure returns false with the reason in `error`.
bool StartEmulator(int model, double timeScale, EmulatorProcess& process, std::string* error);

}  // namespace sidera::tool
