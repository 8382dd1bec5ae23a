// The library's calling thread and the reply queue back to the event loop.
#include "indi/library_worker.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace sidera::indi {

LibraryWorker::LibraryWorker()
    : notifyFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), thread_([this] { Run(); }) {}

void LibraryWorker::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (notifyFd_ >= 0) (void)close(notifyFd_);
  notifyFd_ = -1;
}

void LibraryWorker::Post(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void LibraryWorker::PostFirst(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_front(std::move(task));
  }
  wake_.notify_one();
}

void LibraryWorker::Reply(Task reply) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(std::move(reply));
  }
  const uint64_t one = 1;
  // A full counter (never reached) or a closed descriptor only delays the
  // replies until the next wake-up; there is nothing else to do about it.
  (void)!write(notifyFd_, &one, sizeof one);
}

void LibraryWorker::RunReplies() {
  uint64_t count = 0;
  (void)!read(notifyFd_, &count, sizeof count);  // resets the counter; EAGAIN when empty
  std::vector<Task> ready;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ready.swap(replies_);
  }
  for (Task& reply : ready) reply();
}

size_t LibraryWorker::pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tasks_.size() + running_;
}

void LibraryWorker::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
    if (tasks_.empty()) return;  // stopping, and nothing left to run
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    ++running_;
    lock.unlock();
    task();
    lock.lock();
    --running_;
  }
}

}  // namespace sidera::indi
