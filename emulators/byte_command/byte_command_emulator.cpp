// The byte-command controller served on a pseudo-terminal: the request loop,
// the commands it carries out, its replies and the faults it can play.
#include "emulators/byte_command/byte_command_emulator.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <deque>
#include <mutex>
#include <numbers>

#include "emulators/byte_command/circle_axis.h"
#include "emulators/byte_command/wire.h"
#include "emulators/common/line_server.h"
#include "emulators/common/request_log.h"

namespace sidera::emulator {

using byte_command::CircleAxis;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

namespace {

// A sender that stops inside a request's argument for this long has given
// up on it; its bytes are dropped so the next request is read whole.
constexpr Milliseconds kRequestGap{100};
constexpr int kMaxStrayBytes = 4096;

bool ValidAxis(int axis) { return axis == 0 || axis == 1; }

}  // namespace

struct ByteCommandEmulator::Impl {
  explicit Impl(const ByteCommandOptions& initial)
      : options(initial),
        start(Clock::now()),
        clockAnchor(start),
        axes{CircleAxis(initial.countsPerRevolution, initial.initialCounts[0], 0.0),
             CircleAxis(initial.countsPerRevolution, initial.initialCounts[1], 0.0)} {}

  // Everything below up to `noiseState` is guarded by `mutex`; the serving
  // thread and every public accessor take it.
  std::mutex mutex;
  ByteCommandOptions options;
  Clock::time_point start;
  // Motion time runs at options.timeScale times real time; when the scale
  // changes, the anchor moves to "now" so that past motion is not rescaled.
  Clock::time_point clockAnchor;
  double motionAnchor = 0.0;
  std::array<CircleAxis, 2> axes;
  uint32_t countsSetting[2] = {0, 0};
  uint32_t op14 = 0;
  int servedRequests = 0;  // known requests, since construction

  RequestLog<ByteCommandRequest> log;  // has its own lock
  uint32_t noiseState = 0x9E3779B9u;   // serving thread only
  LineServer server;                   // last: stops serving before the rest goes

  double MotionNowLocked() const {
    const double real = std::chrono::duration<double>(Clock::now() - clockAnchor).count();
    const double scale = std::isfinite(options.timeScale) ? options.timeScale : 0.0;
    return motionAnchor + real * (scale > 0 ? scale : 0.0);
  }

  std::vector<uint8_t> ExecuteLocked(uint8_t command, uint32_t value);
  std::vector<uint8_t> Noise(int count);
  void Serve();
};

// Carries out one known request and returns its reply.
std::vector<uint8_t> ByteCommandEmulator::Impl::ExecuteLocked(uint8_t command, uint32_t value) {
  using namespace byte_command;
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

std::vector<uint8_t> ByteCommandEmulator::Impl::Noise(int count) {
  std::vector<uint8_t> noise;
  for (int i = 0; i < count; ++i) {
    noiseState = noiseState * 1664525u + 1013904223u;
    noise.push_back(static_cast<uint8_t>(noiseState >> 24));
  }
  return noise;
}

void ByteCommandEmulator::Impl::Serve() {
  struct OutByte {
    Clock::time_point due;
    uint8_t byte;
  };
  byte_command::CommandSplitter splitter;
  std::deque<OutByte> output;  // in line order; due times never decrease
  Clock::time_point lineFreeAt = Clock::now();
  Clock::time_point lastInput = Clock::now();

  auto limitReachedLocked = [this] {
    return options.closeAfterRequests >= 0 && servedRequests >= options.closeAfterRequests;
  };

  auto handle = [&](const byte_command::RawCommand& raw, Clock::time_point arrived) {
    ByteCommandRequest request;
    request.bytes = raw.bytes;
    request.command = raw.bytes.empty() ? 0 : raw.bytes[0];
    request.known = raw.complete && byte_command::Lookup(request.command).known;
    if (request.known && raw.bytes.size() == 4)
      request.value = byte_command::Unpack24(&raw.bytes[1]);
    request.seconds = std::chrono::duration<double>(arrived - start).count();
    request.at = arrived;

    std::unique_lock<std::mutex> lock(mutex);
    const bool served = request.known && !server.HangingUp();
    const ByteCommandOptions now = options;
    std::vector<uint8_t> reply;
    bool silent = true;
    if (served) {
      ++servedRequests;
      reply = ExecuteLocked(request.command, request.value);
      if (limitReachedLocked()) server.BeginHangUp(Clock::now());
      silent =
          now.silent || (now.silentAfterRequests >= 0 && servedRequests > now.silentAfterRequests);
    }
    lock.unlock();
    // Logged once acted on: whoever sees a request in the log sees its effect.
    log.Add(request);

    if (silent || reply.empty()) return;
    const size_t cut = static_cast<size_t>(std::clamp(now.cutReplyBytes, 0, 3));
    reply.erase(reply.end() - static_cast<std::ptrdiff_t>(std::min(cut, reply.size())),
                reply.end());
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

  auto turn = [&](Clock::time_point now) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (limitReachedLocked()) server.BeginHangUp(now);
    }
    // Write every byte that is due, in one go.
    bool writeBlocked = false;
    while (!output.empty() && output.front().due <= now) {
      uint8_t chunk[256];
      size_t n = 0;
      for (auto it = output.begin(); it != output.end() && it->due <= now && n < sizeof chunk;
           ++it) {
        chunk[n++] = it->byte;
      }
      const ssize_t written = server.Write(chunk, n);
      if (written <= 0) {
        writeBlocked = true;  // the other side's buffer is full; retry when writable
        break;
      }
      output.erase(output.begin(), output.begin() + written);
    }
    // Hang up once the other side has read what was sent, or gave up.
    if (output.empty() && server.HangUpDue(now)) return LineServer::Turn{.hangUp = true};
    if (splitter.Pending() && now - lastInput >= kRequestGap) handle(splitter.Abandon(), now);

    LineServer::Turn next;
    if (!output.empty() && !writeBlocked) next.wakeAt = output.front().due;
    if (splitter.Pending()) next.wakeAt = std::min(next.wakeAt, lastInput + kRequestGap);
    next.writable = writeBlocked;
    return next;
  };

  auto input = [&](const uint8_t* bytes, size_t count) {
    // Bytes after a long pause start afresh, even when this thread woke too
    // late to drop the unfinished request before they came.
    const Clock::time_point arrived = Clock::now();
    if (splitter.Pending() && arrived - lastInput >= kRequestGap) {
      handle(splitter.Abandon(), arrived);
    }
    lastInput = arrived;
    for (const byte_command::RawCommand& raw : splitter.Feed(bytes, count)) handle(raw, arrived);
  };

  server.Serve(turn, input);
}

ByteCommandEmulator::ByteCommandEmulator(ByteCommandOptions options)
    : impl_(std::make_unique<Impl>(options)) {}

ByteCommandEmulator::~ByteCommandEmulator() { Stop(); }

bool ByteCommandEmulator::Start() {
  if (impl_->server.Serving()) return false;
  {
    // Request times count from here; set before the serving thread reads it.
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->start = Clock::now();
  }
  return impl_->server.Start([impl = impl_.get()] { impl->Serve(); });
}

std::string ByteCommandEmulator::DevicePath() const { return impl_->server.DevicePath(); }

void ByteCommandEmulator::Stop() { impl_->server.Stop(); }

void ByteCommandEmulator::CloseLine() { impl_->server.CloseLine(); }

void ByteCommandEmulator::UpdateOptions(const std::function<void(ByteCommandOptions&)>& change) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->motionAnchor = impl_->MotionNowLocked();
    impl_->clockAnchor = Clock::now();
    change(impl_->options);
  }
  impl_->server.Wake();  // a new request limit may already be reached
}

uint32_t ByteCommandEmulator::PositionCounts(int axis) {
  if (!ValidAxis(axis)) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->axes[axis].Counts(impl_->MotionNowLocked());
}

double ByteCommandEmulator::PositionRadians(int axis) {
  if (!ValidAxis(axis)) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  CircleAxis& a = impl_->axes[axis];
  return a.Counts(impl_->MotionNowLocked()) * 2.0 * std::numbers::pi / a.CountsPerRevolution();
}

void ByteCommandEmulator::SetPositionCounts(int axis, uint32_t counts) {
  if (!ValidAxis(axis)) return;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->axes[axis].SetCounts(counts, impl_->MotionNowLocked());
}

bool ByteCommandEmulator::GotoInProgress(int axis) {
  if (!ValidAxis(axis)) return false;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->axes[axis].GotoRunning(impl_->MotionNowLocked());
}

int32_t ByteCommandEmulator::RateWireValue(int axis) {
  if (!ValidAxis(axis)) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->axes[axis].RateWireValue();
}

uint32_t ByteCommandEmulator::CountsPerRevolutionSetting(int axis) {
  if (!ValidAxis(axis)) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->countsSetting[axis];
}

uint32_t ByteCommandEmulator::Op14Value() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->op14;
}

std::vector<ByteCommandRequest> ByteCommandEmulator::Requests() { return impl_->log.All(); }

void ByteCommandEmulator::ClearRequests() { impl_->log.Clear(); }

bool ByteCommandEmulator::WaitForRequest(
    const std::function<bool(const ByteCommandRequest&)>& match, int timeoutMs) {
  return impl_->log.WaitFor(match, Milliseconds(timeoutMs));
}

void ByteCommandEmulator::PrintRequests(std::function<void(const ByteCommandRequest&)> print) {
  impl_->log.SetPrinter(std::move(print));
}

}  // namespace sidera::emulator
