// Ctrl-C handling: a thread that takes SIGINT, stops the mount at once on
// the host's stop lane and makes sure the program ends with 130 when it
// should.

#include "tools/sidera/interrupt.h"

#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host/mount_worker.h"
#include "tools/sidera/output.h"

namespace sidera::tool {
namespace {

using Clock = std::chrono::steady_clock;

// The main thread gets this long to end the program after a Ctrl-C that
// ends it; then the watch ends it, waiting for the stop at most until the
// second a person allows has passed.
constexpr auto kFallbackDelay = std::chrono::milliseconds(800);
constexpr auto kEndWithin = std::chrono::milliseconds(950);
// How often the watch looks at its state between signals.
constexpr auto kWatchTick = std::chrono::milliseconds(20);
// How long a second Ctrl-C waits for the stop before the program ends.
constexpr auto kQuitStopWait = std::chrono::milliseconds(500);

// The one watch of the process; its fields are set before its threads start
// and read by them until the destructor has joined them.
struct State {
  InterruptWatch::Mode mode = InterruptWatch::Mode::kEnd;
  bool json = false;
  int eventFd = -1;
  std::atomic<bool> watching{false};
  std::atomic<int> pending{0};  // Ctrl-Cs not yet dealt with
  std::atomic<Phase> phase{Phase::kConnecting};

  std::mutex mutex;  // guards what follows
  std::condition_variable changed;
  std::string context = "connect";
  int stopsWanted = 0;     // stop requests made
  int stopsDone = 0;       // stop requests carried out
  int stopCode = 0;        // the first code a stop failed with
  bool mountSeen = false;  // a stop found a mount to stop

  std::thread watch;
  // The stops run here, beside whatever call the main thread is waiting on.
  std::unique_ptr<host::TaskLane> stops;
};

State g_state;

bool Ends(Phase phase) {
  return g_state.mode == InterruptWatch::Mode::kEnd || phase == Phase::kConnecting;
}

void StopTheMount();

void RequestStop() {
  {
    std::lock_guard<std::mutex> lock(g_state.mutex);
    ++g_state.stopsWanted;
  }
  g_state.stops->Post(StopTheMount);
}

// Tracking off and both axes halted at once, nothing read first (an
// equatorial right ascension axis stopped while tracking is wanted would go
// back to tracking). "No mount" (3) stops nothing and is no failure: nothing
// moves.
void StopTheMount() {
  const int code = host::StopEverything();
  const bool mount = code != SIDERA_NO_MOUNT;
  const int failed = mount ? code : 0;
  std::lock_guard<std::mutex> lock(g_state.mutex);
  ++g_state.stopsDone;
  g_state.mountSeen = g_state.mountSeen || mount;
  if (g_state.stopCode == 0) g_state.stopCode = failed;
  g_state.changed.notify_all();
}

// Says that the program ends on the Ctrl-C (as the step's own failure line
// would) and ends it, without running anything of the program's own. The
// stop is waited for until `stopBy`.
[[noreturn]] void EndNow(Clock::time_point stopBy) {
  std::string what;
  std::string result;
  {
    std::unique_lock<std::mutex> lock(g_state.mutex);
    (void)g_state.changed.wait_until(lock, stopBy,
                                     [] { return g_state.stopsDone >= g_state.stopsWanted; });
    what = g_state.context;
    if (g_state.stopsDone < g_state.stopsWanted) {
      result = "; the axes were told to stop";
    } else if (!g_state.mountSeen) {
      result = "; nothing was moved";
    } else if (g_state.stopCode != 0) {
      result = "; stopping the axes failed too (code " + std::to_string(g_state.stopCode) + ")";
    } else {
      result = "; both axes were stopped";
    }
  }
  std::string line;
  if (g_state.json) {
    line = JsonObject()
               .Add("step", what)
               .Add("ok", false)
               .Add("error", "interrupted")
               .AddRaw("code", "null")
               .Add("message", "interrupted" + result)
               .AddRaw("data", JsonObject().Add("what", what).str())
               .str() +
           "\n";
    (void)!write(STDOUT_FILENO, line.data(), line.size());
  } else {
    line = "\n" + what + ": interrupted" + result + "\n";
    (void)!write(STDERR_FILENO, line.data(), line.size());
  }
  _exit(130);
}

void WatchLoop() {
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  // When the fallback ends the program (if the main thread has not), and
  // when the Ctrl-C that set it came; `fallback` false while none is due.
  bool fallback = false;
  Clock::time_point endBy{}, firstAt{};
  while (g_state.watching) {
    const auto tick = std::chrono::duration_cast<std::chrono::nanoseconds>(kWatchTick).count();
    const timespec wait{0, static_cast<long>(tick)};
    const int signal = sigtimedwait(&interrupt, nullptr, &wait);
    if (signal == SIGINT) {
      const int count = ++g_state.pending;
      const uint64_t one = 1;
      (void)!write(g_state.eventFd, &one, sizeof one);
      const Phase phase = g_state.phase;
      if (count >= 2) {
        RequestStop();
        EndNow(Clock::now() + kQuitStopWait);
      }
      if (phase != Phase::kPrompt || Ends(phase)) RequestStop();
      if (Ends(phase)) {
        firstAt = Clock::now();
        endBy = firstAt + kFallbackDelay;
        fallback = true;
      }
    }
    if (g_state.pending == 0) fallback = false;  // the shell dealt with it
    if (fallback && Clock::now() >= endBy) EndNow(firstAt + kEndWithin);
  }
}

}  // namespace

InterruptWatch::InterruptWatch(Mode mode, bool json) {
  g_state.mode = mode;
  g_state.json = json;
  g_state.eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  (void)pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
  g_state.watching = true;
  g_state.stops = std::make_unique<host::TaskLane>();
  g_state.watch = std::thread(WatchLoop);
}

InterruptWatch::~InterruptWatch() {
  g_state.watching = false;
  if (g_state.watch.joinable()) g_state.watch.join();
  g_state.stops.reset();  // the stops asked for still run
  if (g_state.eventFd >= 0) (void)close(g_state.eventFd);
  g_state.eventFd = -1;
}

bool Interrupted() { return g_state.pending > 0; }

int PendingInterrupts() { return g_state.pending; }

// The Ctrl-C dealt with also leaves the shell's line reader: it would
// otherwise count once more at the next prompt (and draw it twice).
void ClearInterrupt() {
  g_state.pending = 0;
  DrainInterruptFd();
}

void SetPhase(Phase phase) { g_state.phase = phase; }

void SetInterruptContext(const std::string& what) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  g_state.context = what;
}

int InterruptFd() { return g_state.eventFd; }

void DrainInterruptFd() {
  uint64_t count = 0;
  if (g_state.eventFd >= 0) (void)!read(g_state.eventFd, &count, sizeof count);
}

void InterruptHereForTest(const std::string& point) {
  const char* at = std::getenv("SIDERA_TEST_INTERRUPT_AT");
  if (at == nullptr || point != at || !g_state.watching) return;
  (void)kill(getpid(), SIGINT);
  const auto giveUp = Clock::now() + std::chrono::seconds(2);
  while (!Interrupted() && Clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace sidera::tool
