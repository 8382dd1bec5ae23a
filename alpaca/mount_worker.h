// The one thread that calls the library. Requests arrive on many HTTP threads
// at once; the library expects its host to call it in order, and a call can
// take seconds (a goto hand-over, a controller that stopped answering), so
// every call runs here, one at a time, and a request waits for its own at
// most a bounded time. Tasks may also be queued for a later moment (the end
// of a guide pulse).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>

namespace sidera::alpaca {

class MountWorker {
 public:
  using Clock = std::chrono::steady_clock;
  using Task = std::function<void()>;

  MountWorker();
  ~MountWorker() { Stop(); }
  MountWorker(const MountWorker&) = delete;
  MountWorker& operator=(const MountWorker&) = delete;

  // Queues a task behind those already queued.
  void Post(Task task);
  // Queues a task to run at `when` (in order of time, then of posting).
  void PostAt(Clock::time_point when, Task task);

  // Runs `f` on the worker and returns its result (an exception it throws is
  // thrown here), or nothing when it has not finished within `timeout` (it
  // still runs, so it must own what it uses; its result is dropped).
  template <typename F>
  auto Call(F f, std::chrono::milliseconds timeout) -> std::optional<decltype(f())> {
    using R = decltype(f());
    static_assert(!std::is_void_v<R>, "Call returns what the task returns");
    struct Outcome {
      std::optional<R> value;
      Failure failure;
    };
    auto promise = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> result = promise->get_future();
    Post([promise, f = std::move(f)]() mutable {
      Outcome out;
      try {
        out.value.emplace(f());
      } catch (...) {
        out.failure = Failure::OfCurrentException();
      }
      promise->set_value(std::move(out));
    });
    if (result.wait_for(timeout) != std::future_status::ready) return std::nullopt;
    Outcome out = result.get();
    if (!out.value) out.failure.Throw();
    return std::move(out.value);
  }

  // True on the worker thread.
  bool OnWorker() const { return std::this_thread::get_id() == thread_.get_id(); }

  // Runs the tasks queued now (timed ones are dropped), then ends the thread.
  void Stop();

 private:
  // What a task threw, carried back as plain values and thrown anew on the
  // caller's thread. Handing the exception object itself across threads
  // would leave it to be freed by whichever thread lets go of it last,
  // through reference counts inside the C++ runtime that ThreadSanitizer
  // cannot see (it reports the free as a race).
  struct Failure {
    enum Kind { kBadRequest, kDeviceError, kOther } kind = kOther;
    int number = 0;
    std::string message = "unknown error";
    static Failure OfCurrentException();  // call inside a catch block
    [[noreturn]] void Throw() const;
  };

  void Run();

  // Guarded by mutex_: both queues and the stop flag (written by any thread,
  // read by the worker).
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  std::multimap<Clock::time_point, Task> timed_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the fields above exist
};

}  // namespace sidera::alpaca
