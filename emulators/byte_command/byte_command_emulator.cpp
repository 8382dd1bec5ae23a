// The byte-command controller served on a pseudo-terminal: the request loop,
// the commands it carries out, its replies and the faults it can play.
#include "emulators/byte_command/byte_command_emulator.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <mutex>
#include <numbers>

#include "emulators/byte_command/circle_axis.h"
#include "emulators/byte_command/wire.h"
#include "emulators/common/axis_access.h"
#include "emulators/common/line_noise.h"
#include "emulators/common/line_server.h"
#include "emulators/common/motion_clock.h"
#include "emulators/common/request_limits.h"
#include "emulators/common/request_log.h"

namespace sidera::emulator {

using byte_command::CircleAxis;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

namespace {

// A sender that stops inside a request's argument for this long has given
// up on it; its bytes are dropped so the next request is read whole.
constexpr Milliseconds kRequestGap{100};

bool ValidAxis(int axis) { return axis == 0 || axis == 1; }

}  // namespace

struct ByteCommandEmulator::Impl {
  explicit Impl(const ByteCommandOptions& initial)
      : options(initial),
        start(Clock::now()),
        clock(start),
        axes{CircleAxis(initial.countsPerRevolution, initial.initialCounts[0], 0.0),
             CircleAxis(initial.countsPerRevolution, initial.initialCounts[1], 0.0)} {}

  // Everything below up to `log` is guarded by `mutex`; the serving thread
  // and every public accessor take it.
  std::mutex mutex;
  ByteCommandOptions options;
  Clock::time_point start;
  MotionClock clock;  // runs at options.timeScale
  std::array<CircleAxis, 2> axes;
  uint32_t countsSetting[2] = {0, 0};
  uint32_t op14 = 0;
  int servedRequests = 0;      // known requests, since construction
  bool motionStarted = false;  // a goto or a rate has come: the connect is over

  RequestLog<ByteCommandRequest> log;  // has its own lock
  LineNoise noise{0x9E3779B9u};        // serving thread only
  LineServer server;                   // last: stops serving before the rest goes

  double MotionNowLocked() const { return clock.Now(options.timeScale); }

  std::vector<uint8_t> ExecuteLocked(uint8_t command, uint32_t value);
  class Session;
  void Serve();
};

// One serving session: requests split off the line, carried out, and their
// replies written when due. Serving thread only.
class ByteCommandEmulator::Impl::Session {
 public:
  explicit Session(Impl& emulator) : e_(emulator) {}

  // Bytes the host wrote: requests, once whole.
  void Input(const uint8_t* bytes, size_t count) {
    // Bytes after a long pause start afresh, even when this thread woke too
    // late to drop the unfinished request before they came.
    const Clock::time_point arrived = Clock::now();
    if (splitter_.Pending() && arrived - lastInput_ >= kRequestGap) {
      Handle(splitter_.Abandon(), arrived);
    }
    lastInput_ = arrived;
    for (const byte_command::RawCommand& raw : splitter_.Feed(bytes, count)) Handle(raw, arrived);
  }

  // One turn: write what is due, hang up once it has been read, drop a
  // request the host gave up on.
  LineServer::Turn Turn(Clock::time_point now) {
    {
      std::lock_guard<std::mutex> lock(e_.mutex);
      if (CloseLimitReached(e_.options, e_.servedRequests)) e_.server.BeginHangUp(now);
    }
    const bool writeBlocked = !WriteDue(now);
    // Hang up once the other side has read what was sent, or gave up.
    if (output_.empty() && e_.server.HangUpDue(now)) return LineServer::Turn{.hangUp = true};
    if (splitter_.Pending() && now - lastInput_ >= kRequestGap) Handle(splitter_.Abandon(), now);

    LineServer::Turn next;
    if (!output_.empty() && !writeBlocked) next.wakeAt = output_.front().due;
    if (splitter_.Pending()) next.wakeAt = std::min(next.wakeAt, lastInput_ + kRequestGap);
    next.writable = writeBlocked;
    return next;
  }

 private:
  struct OutByte {
    Clock::time_point due;
    uint8_t byte;
  };

  // Carries out one request (when known and the line is not going down),
  // logs it and queues its reply.
  void Handle(const byte_command::RawCommand& raw, Clock::time_point arrived) {
    ByteCommandRequest request;
    request.bytes = raw.bytes;
    request.command = raw.bytes.empty() ? 0 : raw.bytes[0];
    request.known = raw.complete && byte_command::Lookup(request.command).known;
    if (request.known && raw.bytes.size() == 4)
      request.value = byte_command::Unpack24(&raw.bytes[1]);
    request.seconds = std::chrono::duration<double>(arrived - e_.start).count();
    request.at = arrived;

    std::unique_lock<std::mutex> lock(e_.mutex);
    const bool served = request.known && !e_.server.HangingUp();
    const ByteCommandOptions now = e_.options;
    std::vector<uint8_t> reply;
    bool silent = true;
    if (served) {
      ++e_.servedRequests;
      reply = e_.ExecuteLocked(request.command, request.value);
      if (CloseLimitReached(now, e_.servedRequests)) e_.server.BeginHangUp(Clock::now());
      silent = Silenced(now, e_.servedRequests);
    }
    const bool late = e_.motionStarted;
    lock.unlock();
    // Logged once acted on: whoever sees a request in the log sees its effect.
    e_.log.Add(request);
    if (!silent && !reply.empty()) Queue(std::move(reply), raw.bytes.size(), arrived, now, late);
  }

  // Queues a reply, cut and followed by noise as the options say, each byte
  // due when the line would have carried it.
  void Queue(std::vector<uint8_t> reply, size_t requestSize, Clock::time_point arrived,
             const ByteCommandOptions& now, bool lateRead) {
    const size_t cut = static_cast<size_t>(std::clamp(now.cutReplyBytes, 0, 3));
    reply.erase(reply.end() - static_cast<std::ptrdiff_t>(std::min(cut, reply.size())),
                reply.end());
    const std::vector<uint8_t> stray = e_.noise.Bytes(now.strayBytes);
    reply.insert(reply.end(), stray.begin(), stray.end());

    // On a paced line a byte is there once its ten bits have passed, and the
    // request itself took as long to come in.
    const auto byteTime = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(now.pace ? 10.0 / std::max(now.baud, 1) : 0.0));
    const int delayMs =
        std::max(now.replyDelayMs, 0) + (lateRead ? std::max(now.readDelayAfterConnectMs, 0) : 0);
    Clock::time_point due =
        arrived + Milliseconds(delayMs) + byteTime * static_cast<int>(requestSize);
    due = std::max(due, lineFreeAt_);
    for (uint8_t b : reply) {
      due += byteTime;
      output_.push_back({due, b});
    }
    lineFreeAt_ = due;
  }

  // Writes every byte that is due, in one go. False when the other side's
  // buffer is full (retry when writable).
  bool WriteDue(Clock::time_point now) {
    while (!output_.empty() && output_.front().due <= now) {
      uint8_t chunk[256];
      size_t n = 0;
      for (auto it = output_.begin(); it != output_.end() && it->due <= now && n < sizeof chunk;
           ++it) {
        chunk[n++] = it->byte;
      }
      const ssize_t written = e_.server.Write(chunk, n);
      if (written <= 0) return false;
      output_.erase(output_.begin(), output_.begin() + written);
    }
    return true;
  }

  Impl& e_;
  byte_command::CommandSplitter splitter_;
  std::deque<OutByte> output_;  // in line order; due times never decrease
  Clock::time_point lineFreeAt_ = Clock::now();
  Clock::time_point lastInput_ = Clock::now();
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
      motionStarted = true;
      motion.StartGoto(value, countsPerSecond, now);
      return {};
    case kStopGoto0:
    case kStopGoto1:
      motion.StopGoto(now);
      return {};
    case kRatePositive0:
    case kRatePositive1:
      motionStarted = true;
      motion.StartRate(static_cast<int32_t>(value), now);
      return {};
    case kRateNegative0:
    case kRateNegative1:
      motionStarted = true;
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

void ByteCommandEmulator::Impl::Serve() {
  Session session(*this);
  server.Serve([&](Clock::time_point now) { return session.Turn(now); },
               [&](const uint8_t* bytes, size_t count) { session.Input(bytes, count); });
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
    impl_->clock.Rescale(impl_->options.timeScale);
    change(impl_->options);
  }
  impl_->server.Wake();  // a new request limit may already be reached
}

uint32_t ByteCommandEmulator::PositionCounts(int axis) {
  return OnAxis(*impl_, axis, uint32_t{0}, [](CircleAxis& a, double now) { return a.Counts(now); });
}

double ByteCommandEmulator::PositionRadians(int axis) {
  return OnAxis(*impl_, axis, 0.0, [](CircleAxis& a, double now) {
    return a.Counts(now) * 2.0 * std::numbers::pi / a.CountsPerRevolution();
  });
}

void ByteCommandEmulator::SetPositionCounts(int axis, uint32_t counts) {
  OnAxis(*impl_, axis, [counts](CircleAxis& a, double now) { a.SetCounts(counts, now); });
}

bool ByteCommandEmulator::GotoInProgress(int axis) {
  return OnAxis(*impl_, axis, false, [](CircleAxis& a, double now) { return a.GotoRunning(now); });
}

int32_t ByteCommandEmulator::RateWireValue(int axis) {
  return OnAxis(*impl_, axis, int32_t{0}, [](CircleAxis& a, double) { return a.RateWireValue(); });
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
