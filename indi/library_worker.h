// The one thread that calls the library. The driver's INDI event loop must
// never wait on the mount (a goto hand-over, a controller that times out), so
// every library call runs here, one at a time and in order, as the library
// expects of its host. Results come back to the event loop as replies: the
// worker queues them and wakes the loop through an eventfd, and the loop runs
// them on its own thread, where the INDI properties live.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace sidera::indi {

class LibraryWorker {
 public:
  using Task = std::function<void()>;

  LibraryWorker();
  ~LibraryWorker() { Stop(); }
  LibraryWorker(const LibraryWorker&) = delete;
  LibraryWorker& operator=(const LibraryWorker&) = delete;

  // Queues a task for the worker thread, behind those already queued.
  void Post(Task task);
  // Queues a task ahead of every queued one (stopping the mount must not wait
  // behind motions the user has already given up on).
  void PostFirst(Task task);

  // From a task: queues `reply` for the event loop and wakes it.
  void Reply(Task reply);
  // The descriptor that becomes readable when replies are waiting.
  int notifyFd() const { return notifyFd_; }
  // On the event loop: runs the waiting replies in the order they were queued.
  void RunReplies();

  // Tasks queued or running.
  size_t pending() const;

  // Runs the tasks still queued, then ends the thread (replies not yet run
  // are dropped). Tasks may still post replies while it waits.
  void Stop();

 private:
  void Run();

  int notifyFd_ = -1;
  // Guarded by mutex_: the task queue (written by the loop, read by the
  // worker), the stop flag, the running count and the reply queue (written by
  // the worker, taken by the loop).
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  std::vector<Task> replies_;
  size_t running_ = 0;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the fields above exist
};

}  // namespace sidera::indi
