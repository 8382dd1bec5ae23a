// The worker threads of one owner (a mount).
//
// Threads started here are joined before the owner goes away: CloseAndJoin()
// refuses new threads from then on and waits for every running one, calling
// `nudge` every few milliseconds of real time meanwhile so that the owner can
// wake threads that sleep on its events. Finished threads are reaped when the
// next one starts. Threads have no priorities on this platform; the
// `priority` argument records the level the caller asked for (0 highest,
// 3 normal) and is otherwise ignored.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace sidera::platform {

class WorkerGroup {
 public:
  // Out of line: Worker is complete only in the implementation.
  WorkerGroup();
  ~WorkerGroup();
  WorkerGroup(const WorkerGroup&) = delete;
  WorkerGroup& operator=(const WorkerGroup&) = delete;

  // Starts `body` on a new thread. False when the group is closed or the
  // thread could not be created; `body` then does not run.
  bool Start(std::function<void()> body, int priority = 3);

  // Closes the group and joins every thread. Must not be called from one of
  // the group's own threads. Safe to call more than once.
  void CloseAndJoin(const std::function<void()>& nudge = {});

  bool IsClosed() const;
  // Threads started and not yet finished.
  int RunningCount() const;

 private:
  struct Worker;
  void ReapFinishedLocked();

  mutable std::mutex mutex_;
  bool closed_ = false;
  std::list<std::unique_ptr<Worker>> workers_;
};

}  // namespace sidera::platform
