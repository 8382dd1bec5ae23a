// Results on their way back to the driver's INDI event loop. The mount's
// calls run on the host worker (host/mount_worker.h); a task queues what the
// loop must show as a reply and wakes the loop through an eventfd, and the
// loop runs the replies on its own thread, where the INDI properties live.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

namespace sidera::indi {

class LoopReplies {
 public:
  using Task = std::function<void()>;

  LoopReplies();
  ~LoopReplies();
  LoopReplies(const LoopReplies&) = delete;
  LoopReplies& operator=(const LoopReplies&) = delete;

  // From any thread: queues `reply` for the event loop and wakes it.
  void Reply(Task reply);
  // The descriptor that becomes readable when replies are waiting.
  int notifyFd() const { return notifyFd_; }
  // On the event loop: runs the waiting replies in the order they were queued.
  void RunReplies();

 private:
  int notifyFd_ = -1;
  std::mutex mutex_;  // guards replies_ (written by the lanes, taken by the loop)
  std::vector<Task> replies_;
};

}  // namespace sidera::indi
