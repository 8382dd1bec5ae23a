// The reply queue back to the event loop.
#include "indi/loop_replies.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace sidera::indi {

LoopReplies::LoopReplies() : notifyFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

LoopReplies::~LoopReplies() {
  if (notifyFd_ >= 0) (void)close(notifyFd_);
}

void LoopReplies::Reply(Task reply) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(std::move(reply));
  }
  const uint64_t one = 1;
  // A full counter (never reached) only delays the replies until the next
  // wake-up; there is nothing else to do about it.
  (void)!write(notifyFd_, &one, sizeof one);
}

void LoopReplies::RunReplies() {
  uint64_t count = 0;
  (void)!read(notifyFd_, &count, sizeof count);  // resets the counter; EAGAIN when empty
  std::vector<Task> ready;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ready.swap(replies_);
  }
  for (Task& reply : ready) reply();
}

}  // namespace sidera::indi
