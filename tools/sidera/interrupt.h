// Ctrl-C at any moment of run, shell and demo: the mount is stopped at once,
// whatever the main thread is waiting for (a connect that takes seconds, a
// slow reply), and the program ends with status 130 within a second.
//
// SIGINT is taken by a thread of its own (InterruptWatch blocks it in every
// thread, so it must be installed before any other thread starts). On a
// Ctrl-C that thread has the mount stopped on a stop lane (host::TaskLane;
// tracking off, then both axes), beside whatever call the main thread waits
// on, and raises the flag the main thread checks in its loops,
// between steps and after the connect. When the program is to end on it
// (run, demo, or a shell still connecting) and the main thread has not ended
// within kFallbackDelay, the watch ends the process itself with 130, after
// saying so. In the shell a Ctrl-C while a step runs cancels the step; one
// at the prompt clears the line; a second in a row quits with 130.
#pragma once

#include <string>

#include "tools/sidera/library.h"

namespace sidera::tool {

class InterruptWatch {
 public:
  enum class Mode {
    kEnd,    // run, demo: a Ctrl-C ends the program
    kShell,  // shell: it cancels the running step; a second in a row quits
  };

  // Blocks SIGINT in the calling thread (and so in every thread it starts)
  // and starts the watch. The library must be loaded while the watch exists.
  InterruptWatch(Mode mode, bool json);
  // Stops the watch (no library call is under way when it returns); a
  // Ctrl-C from then on is left pending until the program ends.
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;
};

// True once a Ctrl-C came that the program has not yet dealt with.
bool Interrupted();
// How many came since the program last dealt with one.
int PendingInterrupts();
// Shell: the interrupted step has ended (or the prompt has shown the
// Ctrl-C); the next Ctrl-C counts as a first one again.
void ClearInterrupt();
// What the main thread is doing. In the shell a Ctrl-C while connecting
// ends the program, one during a step stops the mount and cancels the step,
// and one at the prompt only clears the line. run and demo end on any.
enum class Phase { kConnecting, kStep, kPrompt };
void SetPhase(Phase phase);
// What the program is doing, for the message of a fallback exit ("connect",
// "goto Vega").
void SetInterruptContext(const std::string& what);
// A descriptor that becomes readable at every Ctrl-C (the shell's prompt
// waits on it beside standard input); -1 without a watch.
int InterruptFd();
// Takes what InterruptFd signalled.
void DrainInterruptFd();

// For tests of the program: with SIDERA_TEST_INTERRUPT_AT set to `point`
// ("step 2", "connect"), raises SIGINT here and waits until the watch has
// taken it, so that a test can interrupt at an exact point of a plan.
void InterruptHereForTest(const std::string& point);

}  // namespace sidera::tool
