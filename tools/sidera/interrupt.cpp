// Ctrl-C handling: a motion in progress is stopped before the program ends.

#include "tools/sidera/interrupt.h"

#include <csignal>

namespace sidera::tool {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
  if (g_interrupted != 0) {
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
    return;
  }
  g_interrupted = 1;
}

}  // namespace

void InstallInterruptHandler() { std::signal(SIGINT, OnInterrupt); }
bool Interrupted() { return g_interrupted != 0; }
void ClearInterrupt() { g_interrupted = 0; }

}  // namespace sidera::tool
