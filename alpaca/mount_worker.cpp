// The library's calling thread.
#include "alpaca/mount_worker.h"

#include <stdexcept>

#include "alpaca/alpaca_errors.h"

namespace sidera::alpaca {

MountWorker::MountWorker() : thread_([this] { Run(); }) {}

MountWorker::Failure MountWorker::Failure::OfCurrentException() {
  Failure failure;
  try {
    throw;
  } catch (const DeviceError& e) {
    failure = {kDeviceError, e.number, e.what()};
  } catch (const BadRequest& e) {
    failure = {kBadRequest, 0, e.what()};
  } catch (const std::exception& e) {
    failure = {kOther, 0, e.what()};
  } catch (...) {
  }
  return failure;
}

void MountWorker::Failure::Throw() const {
  switch (kind) {
    case kDeviceError:
      throw DeviceError(number, message);
    case kBadRequest:
      throw BadRequest(message);
    case kOther:
      break;
  }
  throw std::runtime_error(message);
}

void MountWorker::Post(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void MountWorker::PostAt(Clock::time_point when, Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    timed_.emplace(when, std::move(task));
  }
  wake_.notify_one();
}

void MountWorker::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    timed_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void MountWorker::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (tasks_.empty() && !timed_.empty() && timed_.begin()->first <= Clock::now()) {
      tasks_.push_back(std::move(timed_.begin()->second));
      timed_.erase(timed_.begin());
    }
    if (!tasks_.empty()) {
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
      continue;
    }
    if (stopping_) return;
    if (timed_.empty()) {
      wake_.wait(lock);
    } else {
      wake_.wait_until(lock, timed_.begin()->first);
    }
  }
}

}  // namespace sidera::alpaca
