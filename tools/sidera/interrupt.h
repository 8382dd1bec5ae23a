// Ctrl-C during a motion stops the mount instead of killing the tool, so
// that the axes are never left running with nobody watching.
#pragma once

namespace sidera::tool {

// Installs the SIGINT handler: the first Ctrl-C raises the flag, a second
// one ends the process as usual.
void InstallInterruptHandler();
bool Interrupted();
void ClearInterrupt();

}  // namespace sidera::tool
