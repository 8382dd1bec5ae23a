// The threads a front end calls its mount from. The library takes calls from
// any thread, but a front end's ordinary calls (connect, gotos, reads, rate
// changes) must run one at a time and in order, and a call can take seconds
// (a goto hand-over, a controller that reads late or stopped answering); so
// they run on one worker thread. Stops, aborts and the ends of guide pulses
// do not queue behind them: they run on a second thread, the stop lane, at
// once and beside the call in progress, and the library puts their halt on
// the wire ahead of that call's exchanges.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

namespace sidera::host {

// One thread that runs tasks in order, now or at a given moment.
class TaskLane {
 public:
  using Clock = std::chrono::steady_clock;
  using Task = std::function<void()>;

  TaskLane();
  ~TaskLane() { Stop(); }
  TaskLane(const TaskLane&) = delete;
  TaskLane& operator=(const TaskLane&) = delete;

  // Queues a task behind those already due.
  void Post(Task task) { PostAt(Clock::time_point::min(), std::move(task)); }
  // Queues a task to run at `when` (in order of time, then of posting).
  void PostAt(Clock::time_point when, Task task);

  // Runs `f` on the lane and returns its result, or nothing when it has not
  // finished within `timeout` (it still runs, so it must own what it uses;
  // its result is dropped). `f` must not throw.
  template <typename F>
  auto Call(F f, std::chrono::milliseconds timeout) -> std::optional<decltype(f())> {
    using R = decltype(f());
    static_assert(!std::is_void_v<R>, "Call returns what the task returns");
    auto promise = std::make_shared<std::promise<R>>();
    std::future<R> result = promise->get_future();
    Post([promise, f = std::move(f)]() mutable { promise->set_value(f()); });
    if (result.wait_for(timeout) != std::future_status::ready) return std::nullopt;
    return result.get();
  }

  // Tasks due or running (timed ones not yet due are not counted).
  size_t pending() const;
  // True on the lane's thread.
  bool OnLane() const { return std::this_thread::get_id() == thread_.get_id(); }
  // Runs the tasks due now (timed ones not yet due are dropped), then ends
  // the thread.
  void Stop();

 private:
  void Run();

  // Guarded by mutex_: the queue (ordered by time; posting now sorts first)
  // and the counts and stop flag (written by any thread, read by the lane).
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::multimap<Clock::time_point, Task> tasks_;
  size_t running_ = 0;
  size_t due_ = 0;  // tasks queued for "now"
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the fields above exist
};

// A mount's two lanes: `calls` for ordinary calls, `stops` for stops,
// aborts and pulse ends.
struct MountWorker {
  TaskLane calls;
  TaskLane stops;
  // Ends the stop lane first, so that no stop arrives once the calls end.
  void Stop() {
    stops.Stop();
    calls.Stop();
  }
  ~MountWorker() { Stop(); }
};

// Stops every motion of the current mount, tracking included, through the
// library's StopEverything: tracking off and both axes' halts on the line at
// once, with nothing read first, so it works whatever the controller
// answers to reads. Safe from any thread; run it on the stop lane.
int StopEverything();

}  // namespace sidera::host
