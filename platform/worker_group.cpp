// Worker threads that are always joined before their owner goes away.

#include "platform/worker_group.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <utility>

namespace sidera::platform {

struct WorkerGroup::Worker {
  std::thread thread;
  // Written once by the worker thread as its last act, after the body and
  // everything it captured are gone; read by Start (reaping), CloseAndJoin
  // and RunningCount.
  std::atomic<bool> finished{false};
  // The level the caller asked for; threads run at the default priority.
  int priority = 3;
  // Set under the group's mutex by the CloseAndJoin call that joins this
  // worker, so that two closing callers never join the same thread.
  bool claimed = false;
};

WorkerGroup::WorkerGroup() = default;

WorkerGroup::~WorkerGroup() { CloseAndJoin(); }

bool WorkerGroup::Start(std::function<void()> body, int priority) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || !body) {
    return false;
  }
  ReapFinishedLocked();
  auto worker = std::make_unique<Worker>();
  worker->priority = priority;
  Worker* raw = worker.get();
  try {
    raw->thread = std::thread([raw, body = std::move(body)]() mutable {
      {
        // Run from a local so the captures die before the thread reports
        // itself finished.
        std::function<void()> run = std::move(body);
        run();
      }
      raw->finished.store(true, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    return false;
  }
  workers_.push_back(std::move(worker));
  return true;
}

void WorkerGroup::ReapFinishedLocked() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if ((*it)->finished.load(std::memory_order_acquire)) {
      // The body has returned; only the thread's exit is left, so this join
      // is immediate.
      (*it)->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void WorkerGroup::CloseAndJoin(const std::function<void()>& nudge) {
  constexpr auto kNudgePeriod = std::chrono::milliseconds(5);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  // Joins one worker at a time without holding the mutex, so that a worker
  // calling Start() (refused now) or RunningCount() meanwhile cannot deadlock
  // against us. A worker stays listed until it is joined; one that another
  // closing caller has claimed is left to that caller, and we only return once
  // the list is empty.
  for (;;) {
    Worker* worker = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (workers_.empty()) {
        return;
      }
      for (const auto& candidate : workers_) {
        if (!candidate->claimed) {
          worker = candidate.get();
          worker->claimed = true;
          break;
        }
      }
    }
    if (worker == nullptr) {
      std::this_thread::sleep_for(kNudgePeriod);
      continue;
    }
    while (!worker->finished.load(std::memory_order_acquire)) {
      if (nudge) {
        nudge();
      }
      std::this_thread::sleep_for(kNudgePeriod);
    }
    worker->thread.join();
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.remove_if([worker](const std::unique_ptr<Worker>& w) { return w.get() == worker; });
  }
}

bool WorkerGroup::IsClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

int WorkerGroup::RunningCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int running = 0;
  for (const auto& worker : workers_) {
    if (!worker->finished.load(std::memory_order_acquire)) {
      ++running;
    }
  }
  return running;
}

}  // namespace sidera::platform
