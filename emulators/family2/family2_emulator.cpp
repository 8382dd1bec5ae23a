// The family-2 controller served on a pseudo-terminal: the request loop,
// the commands it carries out, its replies and the faults it can play.
#include "emulators/family2/family2_emulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <numbers>
#include <thread>

#include "emulators/common/pty_line.h"
#include "emulators/family2/circle_axis.h"
#include "emulators/family2/wire.h"

namespace sidera::emulator {

using family2::CircleAxis;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

namespace {

// A sender that stops inside a request's argument for this long has given
// up on it; its bytes are dropped so the next request is read whole.
constexpr Milliseconds kRequestGap{100};
// Before hanging up after the last permitted request, the reply is given
// this long to be read by the other side.
constexpr Milliseconds kHangUpGrace{1000};
// Bytes written to the line reach the reader's queue a moment later; a
// hang-up waits this long after the last write before trusting that the
// queue is empty.
constexpr Milliseconds kSettle{20};
constexpr int kMaxStrayBytes = 4096;

bool ValidAxis(int axis) { return axis == 0 || axis == 1; }

}  // namespace

struct Family2Emulator::Impl {
  explicit Impl(const Family2Options& initial)
      : options(initial),
        start(Clock::now()),
        clockAnchor(start),
        axes{CircleAxis(initial.countsPerRevolution, initial.initialCounts[0], 0.0),
             CircleAxis(initial.countsPerRevolution, initial.initialCounts[1], 0.0)} {}

  // Everything below up to `line` is guarded by `mutex`; the server thread
  // and every public accessor take it.
  std::mutex mutex;
  Family2Options options;
  Clock::time_point start;
  // Motion time runs at options.timeScale times real time; when the scale
  // changes, the anchor moves to "now" so that past motion is not rescaled.
  Clock::time_point clockAnchor;
  double motionAnchor = 0.0;
  std::array<CircleAxis, 2> axes;
  uint32_t countsSetting[2] = {0, 0};
  uint32_t op14 = 0;
  std::vector<Family2Request> requests;
  int servedRequests = 0;  // known requests, since construction
  bool lineClosed = true;  // written by the server thread (and Start), waited on by CloseLine
  std::condition_variable lineClosedChanged;
  std::string devicePath;

  // Owned by the server thread while it runs; by Start/Stop otherwise.
  PtyLine line;
  std::thread server;
  int wakeFd = -1;  // eventfd that interrupts the server's poll
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> closeRequested{false};
  uint32_t noiseState = 0x9E3779B9u;  // server thread only

  double MotionNowLocked() const {
    const double real = std::chrono::duration<double>(Clock::now() - clockAnchor).count();
    const double scale = std::isfinite(options.timeScale) ? options.timeScale : 0.0;
    return motionAnchor + real * (scale > 0 ? scale : 0.0);
  }

  void Wake() const {
    const uint64_t one = 1;
    if (wakeFd >= 0) (void)!write(wakeFd, &one, sizeof one);
  }

  std::vector<uint8_t> ExecuteLocked(uint8_t command, uint32_t value);
  std::vector<uint8_t> Noise(int count);
  void Serve();
};

// Carries out one known request and returns its reply.
std::vector<uint8_t> Family2Emulator::Impl::ExecuteLocked(uint8_t command, uint32_t value) {
  using namespace family2;
  const double now = MotionNowLocked();
  const int axis = command >= kReadPosition1 ? 1 : 0;
  CircleAxis& motion = axes[axis];
  const double countsPerSecond = options.gotoDegPerSec * motion.CountsPerRevolution() / 360.0;
  switch (command) {
    case kReadPosition0:
    case kReadPosition1: {
      std::vector<uint8_t> reply(3);
      Pack24(motion.Counts(now), reply.data());
      return reply;
    }
    case kGoto0:
    case kGoto1:
      motion.StartGoto(value, countsPerSecond, now);
      return {};
    case kStopGoto0:
    case kStopGoto1:
      motion.StopGoto(now);
      return {};
    case kRatePositive0:
    case kRatePositive1:
      motion.StartRate(static_cast<int32_t>(value), now);
      return {};
    case kRateNegative0:
    case kRateNegative1:
      motion.StartRate(-static_cast<int32_t>(value), now);
      return {};
    case kPresetCount0:
    case kPresetCount1:
    case kSetPosition1:
      motion.SetCounts(value, now);
      return {};
    case kSetCountsPerRevolution0:
    case kSetCountsPerRevolution1:
      // The controller counts its circle as it is told.
      countsSetting[axis] = value;
      motion.SetCountsPerRevolution(value, now);
      return {};
    case kGotoDoneQuery:
      return {axes[0].GotoRunning(now) ? kGotoMoving : kGotoDone};
    case kOp14:
      op14 = value;
      return {};
    default:
      return {};
  }
}

std::vector<uint8_t> Family2Emulator::Impl::Noise(int count) {
  std::vector<uint8_t> noise;
  for (int i = 0; i < count; ++i) {
    noiseState = noiseState * 1664525u + 1013904223u;
    noise.push_back(static_cast<uint8_t>(noiseState >> 24));
  }
  return noise;
}

void Family2Emulator::Impl::Serve() {
  struct OutByte {
    Clock::time_point due;
    uint8_t byte;
  };
  family2::CommandSplitter splitter;
  std::deque<OutByte> output;  // in line order; due times never decrease
  Clock::time_point lineFreeAt = Clock::now();
  Clock::time_point lastInput = Clock::now();
  Clock::time_point lastOutput = Clock::now();
  bool hangUpPending = false;
  bool writeBlocked = false;
  Clock::time_point hangUpSince;
  const int master = line.MasterFd();

  auto limitReachedLocked = [this] {
    return options.closeAfterRequests >= 0 && servedRequests >= options.closeAfterRequests;
  };

  auto handle = [&](const family2::RawCommand& raw, Clock::time_point arrived) {
    Family2Request request;
    request.bytes = raw.bytes;
    request.command = raw.bytes.empty() ? 0 : raw.bytes[0];
    request.known = raw.complete && family2::Lookup(request.command).known;
    if (request.known && raw.bytes.size() == 4) request.value = family2::Unpack24(&raw.bytes[1]);
    request.seconds = std::chrono::duration<double>(arrived - start).count();

    std::unique_lock<std::mutex> lock(mutex);
    requests.push_back(request);
    if (!request.known || hangUpPending) return;
    ++servedRequests;
    const Family2Options now = options;
    std::vector<uint8_t> reply = ExecuteLocked(request.command, request.value);
    if (limitReachedLocked()) {
      hangUpPending = true;
      hangUpSince = Clock::now();
    }
    lock.unlock();

    if (now.silent || reply.empty()) return;
    const size_t cut = static_cast<size_t>(std::clamp(now.cutReplyBytes, 0, 3));
    reply.resize(reply.size() > cut ? reply.size() - cut : 0);
    const std::vector<uint8_t> stray = Noise(std::clamp(now.strayBytes, 0, kMaxStrayBytes));
    reply.insert(reply.end(), stray.begin(), stray.end());

    // On a paced line a byte is there once its ten bits have passed, and the
    // request itself took as long to come in.
    const auto byteTime = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(now.pace ? 10.0 / std::max(now.baud, 1) : 0.0));
    Clock::time_point due = arrived + Milliseconds(std::max(now.replyDelayMs, 0)) +
                            byteTime * static_cast<int>(raw.bytes.size());
    due = std::max(due, lineFreeAt);
    for (uint8_t b : reply) {
      due += byteTime;
      output.push_back({due, b});
    }
    lineFreeAt = due;
  };

  while (!stopRequested && !closeRequested) {
    Clock::time_point now = Clock::now();
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (!hangUpPending && limitReachedLocked()) {
        hangUpPending = true;
        hangUpSince = now;
      }
    }
    // Write every byte that is due, in one go.
    writeBlocked = false;
    while (!output.empty() && output.front().due <= now) {
      uint8_t chunk[256];
      size_t n = 0;
      for (auto it = output.begin(); it != output.end() && it->due <= now && n < sizeof chunk;
           ++it) {
        chunk[n++] = it->byte;
      }
      const ssize_t written = write(master, chunk, n);
      if (written <= 0) {
        writeBlocked = true;  // the other side's buffer is full; retry when writable
        break;
      }
      output.erase(output.begin(), output.begin() + written);
      lastOutput = now;
    }
    if (hangUpPending && output.empty()) {
      // Hang up once the other side has read what was sent, or gave up.
      const bool settled = now - lastOutput >= kSettle;
      if ((settled && line.PendingForReader() == 0) ||
          now - std::max(hangUpSince, lastOutput) >= kHangUpGrace) {
        break;
      }
    }
    if (splitter.Pending() && now - lastInput >= kRequestGap) handle(splitter.Abandon(), now);

    Clock::time_point wakeAt = Clock::time_point::max();
    if (!output.empty() && !writeBlocked) wakeAt = output.front().due;
    if (splitter.Pending()) wakeAt = std::min(wakeAt, lastInput + kRequestGap);
    if (hangUpPending) wakeAt = std::min(wakeAt, now + Milliseconds(10));
    int timeoutMs = -1;
    if (wakeAt != Clock::time_point::max()) {
      // Round up to a whole millisecond, but wake at once for a byte due now.
      const auto wait = std::chrono::ceil<Milliseconds>(wakeAt - now).count();
      timeoutMs = static_cast<int>(std::clamp<int64_t>(wait, 0, 1000));
    }
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {master, 0, 0}};
    if (!hangUpPending) fds[1].events |= POLLIN;
    if (writeBlocked) fds[1].events |= POLLOUT;
    if (poll(fds, 2, timeoutMs) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      uint64_t drained;
      (void)!read(wakeFd, &drained, sizeof drained);
    }
    if (fds[1].revents & POLLIN) {
      uint8_t buffer[256];
      const ssize_t got = read(master, buffer, sizeof buffer);
      if (got > 0) {
        // Bytes after a long pause start afresh, even when this thread woke
        // too late to drop the unfinished request before they came.
        const Clock::time_point arrived = Clock::now();
        if (splitter.Pending() && arrived - lastInput >= kRequestGap) {
          handle(splitter.Abandon(), arrived);
        }
        lastInput = arrived;
        for (const family2::RawCommand& raw : splitter.Feed(buffer, static_cast<size_t>(got))) {
          handle(raw, arrived);
        }
      }
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
      // Only possible while nobody holds the slave open; do not spin.
      std::this_thread::sleep_for(Milliseconds(10));
    }
  }

  line.Close();
  std::lock_guard<std::mutex> lock(mutex);
  lineClosed = true;
  lineClosedChanged.notify_all();
}

Family2Emulator::Family2Emulator(Family2Options options) : impl_(std::make_unique<Impl>(options)) {}

Family2Emulator::~Family2Emulator() { Stop(); }

bool Family2Emulator::Start() {
  if (impl_->server.joinable()) return false;
  if (!impl_->line.Open()) return false;
  impl_->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (impl_->wakeFd < 0) {
    impl_->line.Close();
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->devicePath = impl_->line.SlavePath();
    impl_->lineClosed = false;
    impl_->start = Clock::now();
  }
  impl_->stopRequested = false;
  impl_->closeRequested = false;
  impl_->server = std::thread([impl = impl_.get()] { impl->Serve(); });
  return true;
}

std::string Family2Emulator::DevicePath() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->devicePath;
}

void Family2Emulator::Stop() {
  if (!impl_->server.joinable()) return;
  impl_->stopRequested = true;
  impl_->Wake();
  impl_->server.join();
  (void)close(impl_->wakeFd);
  impl_->wakeFd = -1;
}

void Family2Emulator::CloseLine() {
  if (!impl_->server.joinable()) return;
  impl_->closeRequested = true;
  impl_->Wake();
  std::unique_lock<std::mutex> lock(impl_->mutex);
  impl_->lineClosedChanged.wait(lock, [this] { return impl_->lineClosed; });
}

void Family2Emulator::UpdateOptions(const std::function<void(Family2Options&)>& change) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->motionAnchor = impl_->MotionNowLocked();
    impl_->clockAnchor = Clock::now();
    change(impl_->options);
  }
  impl_->Wake();  // a new request limit may already be reached
}

uint32_t Family2Emulator::PositionCounts(int axis) {
  if (!ValidAxis(axis)) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->axes[axis].Counts(impl_->MotionNowLocked());
}

double Family2Emulator::PositionRadians(int axis) {
  if (!ValidAxis(axis)) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  CircleAxis& a = impl_->axes[axis];
  return a.Counts(impl_->MotionNowLocked()) * 2.0 * std::numbers::pi / a.CountsPerRevolution();
}

void Family2Emulator::SetPositionCounts(int axis, uint32_t counts) {
  if (!ValidAxis(axis)) return;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->axes[axis].SetCounts(counts, impl_->MotionNowLocked());
}

bool Family2Emulator::GotoInProgress(int axis) {
  if (!ValidAxis(axis)) return false;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->axes[axis].GotoRunning(impl_->MotionNowLocked());
}

int32_t Family2Emulator::RateWireValue(int axis) {
  if (!ValidAxis(axis)) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->axes[axis].RateWireValue();
}

uint32_t Family2Emulator::CountsPerRevolutionSetting(int axis) {
  if (!ValidAxis(axis)) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->countsSetting[axis];
}

uint32_t Family2Emulator::Op14Value() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->op14;
}

std::vector<Family2Request> Family2Emulator::Requests() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests;
}

void Family2Emulator::ClearRequests() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->requests.clear();
}

}  // namespace sidera::emulator
