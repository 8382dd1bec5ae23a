// The packet-bus emulator: the line's echo, frame assembly, the two
// controllers' answers and the fault switches.

#include "emulators/packet_bus/packet_bus_emulator.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <mutex>
#include <numbers>

#include "emulators/common/axis_access.h"
#include "emulators/common/line_noise.h"
#include "emulators/common/line_server.h"
#include "emulators/common/motion_clock.h"
#include "emulators/common/request_limits.h"
#include "emulators/common/request_log.h"
#include "emulators/packet_bus/axis_motion.h"
#include "emulators/packet_bus/packet.h"

namespace sidera::emulator {

using packet_bus::AxisMotion;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

namespace {

// Message ids the controllers understand.
enum : uint8_t {
  kGetPosition = 0x01,
  kGotoFast = 0x02,
  kSetPosition = 0x04,
  kRatePositive = 0x06,
  kRateNegative = 0x07,
  kSetting10 = 0x10,
  kSetting11 = 0x11,
  kGotoDoneQuery = 0x13,
  kGotoSlow = 0x17,
  kSetApproach = 0xFD,
  kGetVersion = 0xFE,
};

// A sender that stops in the middle of a frame for this long has given up on
// it; the bytes received so far are dropped so the next frame is read whole.
constexpr Milliseconds kFrameGap{100};
constexpr uint8_t kBadLengthByte = 30;

bool ValidAxis(int axis) { return axis == 0 || axis == 1; }

// The messages that ask a controller for a value.
bool IsRead(uint8_t id) { return id == kGetPosition || id == kGotoDoneQuery || id == kGetVersion; }

}  // namespace

struct PacketBusEmulator::Impl {
  explicit Impl(const PacketBusOptions& initial)
      : options(initial),
        axes{AxisMotion(initial.initialCounts[0], 0.0), AxisMotion(initial.initialCounts[1], 0.0)} {
  }

  // Everything below up to `log` is guarded by `mutex`; the serving thread
  // and every public accessor take it.
  std::mutex mutex;
  PacketBusOptions options;
  MotionClock clock;  // runs at options.timeScale
  std::array<AxisMotion, 2> axes;
  uint8_t approach[2] = {0, 0};
  uint8_t settings[2][2] = {{0, 0}, {0, 0}};
  int servedRequests = 0;      // valid requests addressed to a controller, since construction
  bool motionStarted = false;  // a goto or a rate has come: the connect is over
  packet_bus::GpsUnit gps;

  RequestLog<PacketBusRequest> log;  // has its own lock
  LineNoise noise{0x2545F491u};      // serving thread only
  LineServer server;                 // last: stops serving before the rest goes

  double MotionNowLocked() const { return clock.Now(options.timeScale); }

  std::vector<uint8_t> ExecuteLocked(int axis, uint8_t id, const std::vector<uint8_t>& data);
  class Session;
  void Serve();
};

// Carries out one request on the addressed controller and returns the reply
// data. A known command with too few data bytes is not carried out; it gets
// an empty reply, as an unknown command does.
std::vector<uint8_t> PacketBusEmulator::Impl::ExecuteLocked(int axis, uint8_t id,
                                                            const std::vector<uint8_t>& data) {
  const double now = MotionNowLocked();
  AxisMotion& motion = axes[axis];
  const bool hasCount = data.size() >= 3;
  const int32_t count = hasCount ? packet_bus::SignExtend24(packet_bus::Unpack24(data.data())) : 0;
  switch (id) {
    case kGetPosition: {
      std::vector<uint8_t> reply(3);
      packet_bus::Pack24(motion.Counts(now), reply.data());
      return reply;
    }
    case kGotoFast:
    case kGotoSlow:
      motionStarted = true;
      if (hasCount) {
        const bool fast = id == kGotoFast;
        const double degPerSec = fast ? options.fastDegPerSec : options.slowDegPerSec;
        motion.StartGoto(count, packet_bus::DegreesToCounts(degPerSec), fast, now);
      }
      return {};
    case kSetPosition:
      if (hasCount) motion.SetCounts(count, now);
      return {};
    case kRatePositive:
    case kRateNegative:
      motionStarted = true;
      if (hasCount) {
        const auto magnitude = static_cast<int32_t>(packet_bus::Unpack24(data.data()));
        motion.StartRate(id == kRatePositive ? magnitude : -magnitude, now);
      }
      return {};
    case kSetting10:
    case kSetting11:
      if (!data.empty()) settings[axis][id - kSetting10] = data[0];
      return {};
    case kGotoDoneQuery:
      return {static_cast<uint8_t>(motion.GotoRunning(now) ? 0 : 1)};
    case kSetApproach:
      if (!data.empty()) approach[axis] = data[0];
      return {};
    case kGetVersion:
      return {options.versionMajor, options.versionMinor};
    default:
      return {};
  }
}

// One serving session: the echo, frames split off the line, carried out,
// and their replies written when due. Serving thread only.
class PacketBusEmulator::Impl::Session {
 public:
  explicit Session(Impl& emulator) : e_(emulator) {}

  // Bytes the host wrote: echoed, and frames once whole.
  void Input(const uint8_t* bytes, size_t count) {
    // Bytes after a long pause start afresh, even when this thread woke too
    // late to drop the unfinished frame before they came.
    const Clock::time_point arrived = Clock::now();
    if (splitter_.Pending() && arrived - lastInput_ >= kFrameGap) Handle(splitter_.Abandon());
    lastInput_ = arrived;
    // The shared half-duplex line hands every transmitted byte straight
    // back to its sender, whatever the controllers make of it.
    output_.insert(output_.end(), bytes, bytes + count);
    for (const packet_bus::RawFrame& frame : splitter_.Feed(bytes, count)) Handle(frame);
  }

  // One turn: write what is due, hang up once it has been read, drop a
  // frame the host gave up on.
  LineServer::Turn Turn(Clock::time_point now) {
    {
      std::lock_guard<std::mutex> lock(e_.mutex);
      if (CloseLimitReached(e_.options, e_.servedRequests)) e_.server.BeginHangUp(now);
    }
    WriteDue(now);
    // Hang up once the other side has read what was sent, or gave up.
    if (replies_.empty() && output_.empty() && e_.server.HangUpDue(now)) {
      return LineServer::Turn{.hangUp = true};
    }
    if (splitter_.Pending() && now - lastInput_ >= kFrameGap) Handle(splitter_.Abandon());

    LineServer::Turn next;
    if (!replies_.empty()) next.wakeAt = replies_.front().due;
    if (splitter_.Pending()) next.wakeAt = std::min(next.wakeAt, lastInput_ + kFrameGap);
    next.writable = !output_.empty();  // the other side's buffer is full; retry when writable
    return next;
  }

 private:
  struct PendingReply {
    Clock::time_point due;
    std::vector<uint8_t> bytes;
  };

  // Carries out one frame on the controller or GPS unit it is addressed to,
  // logs it and queues the reply.
  void Handle(const packet_bus::RawFrame& frame) {
    PacketBusRequest request{frame.bytes, -1, 0, {}, Clock::now()};
    if (frame.bytes.size() > 4) request.id = frame.bytes[4];
    if (frame.complete && frame.bytes.size() > 6) {
      request.data.assign(frame.bytes.begin() + 5, frame.bytes.end() - 1);
    }
    const int axis = frame.Valid() ? packet_bus::AxisOfAddress(frame.bytes[3]) : -1;
    request.axis = axis;

    // Logged once acted on: whoever sees a request in the log sees its effect.
    std::unique_lock<std::mutex> lock(e_.mutex);
    if (frame.Valid() && frame.bytes[3] == packet_bus::kGpsAddress && e_.options.gps.present &&
        !e_.server.HangingUp()) {
      const int delayMs = std::max(e_.options.replyDelayMs, 0);
      std::vector<uint8_t> reply = e_.gps.Reply(request.id, e_.options.gps);
      lock.unlock();
      e_.log.Add(request);
      replies_.push_back({Clock::now() + Milliseconds(delayMs), std::move(reply)});
      return;
    }
    if (axis < 0 || e_.server.HangingUp()) {  // not for us, or the line is going down
      lock.unlock();
      e_.log.Add(request);
      return;
    }
    ++e_.servedRequests;
    const PacketBusOptions now = e_.options;
    const std::vector<uint8_t> data = e_.ExecuteLocked(axis, request.id, request.data);
    if (CloseLimitReached(now, e_.servedRequests)) e_.server.BeginHangUp(Clock::now());
    const bool allSilent = Silenced(now, e_.servedRequests);
    const bool lateRead = e_.motionStarted && IsRead(request.id);
    lock.unlock();
    e_.log.Add(request);
    if (now.silentAxis != axis && !allSilent) Queue(axis, request.id, data, now, lateRead);
  }

  // Queues a controller's reply, damaged and preceded by noise as the
  // options say.
  void Queue(int axis, uint8_t id, const std::vector<uint8_t>& data, const PacketBusOptions& now,
             bool lateRead) {
    std::vector<uint8_t> reply = packet_bus::BuildReply(axis, id, data);
    if (now.badLengthAxis == axis) {
      reply[1] = kBadLengthByte;
      reply.back() = packet_bus::Checksum(reply.data() + 1, reply.size() - 2);
    }
    if (now.shortPacketAxis == axis) reply.erase(reply.end() - 2, reply.end());
    // Never the preamble, so the reply is still the first frame the reader finds.
    std::vector<uint8_t> bytes = e_.noise.Bytes(now.noiseBytes, {packet_bus::kPreamble}, 0xA5);
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    const int delayMs =
        std::max(now.replyDelayMs, 0) + (lateRead ? std::max(now.readDelayAfterConnectMs, 0) : 0);
    replies_.push_back({Clock::now() + Milliseconds(delayMs), bytes});
  }

  // Replies go out in the order their requests came in, as far as the line
  // takes them.
  void WriteDue(Clock::time_point now) {
    while (!replies_.empty() && replies_.front().due <= now) {
      output_.insert(output_.end(), replies_.front().bytes.begin(), replies_.front().bytes.end());
      replies_.pop_front();
    }
    while (!output_.empty() && e_.server.WriteFrom(output_)) {
    }
  }

  Impl& e_;
  packet_bus::FrameSplitter splitter_;
  std::deque<uint8_t> output_;  // bytes accepted for the line, not yet written
  std::deque<PendingReply> replies_;
  Clock::time_point lastInput_ = Clock::now();
};

void PacketBusEmulator::Impl::Serve() {
  Session session(*this);
  server.Serve([&](Clock::time_point now) { return session.Turn(now); },
               [&](const uint8_t* bytes, size_t count) { session.Input(bytes, count); });
}

PacketBusEmulator::PacketBusEmulator(PacketBusOptions options)
    : impl_(std::make_unique<Impl>(options)) {}

PacketBusEmulator::~PacketBusEmulator() { Stop(); }

bool PacketBusEmulator::Start() {
  return impl_->server.Start([impl = impl_.get()] { impl->Serve(); });
}

std::string PacketBusEmulator::DevicePath() const { return impl_->server.DevicePath(); }

void PacketBusEmulator::Stop() { impl_->server.Stop(); }

void PacketBusEmulator::CloseLine() { impl_->server.CloseLine(); }

void PacketBusEmulator::UpdateOptions(const std::function<void(PacketBusOptions&)>& change) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->clock.Rescale(impl_->options.timeScale);
    change(impl_->options);
  }
  impl_->server.Wake();  // a new request limit may already be reached
}

int32_t PacketBusEmulator::PositionCounts(int axis) {
  return OnAxis(*impl_, axis, int32_t{0}, [](AxisMotion& a, double now) { return a.Counts(now); });
}

double PacketBusEmulator::PositionRadians(int axis) {
  return PositionCounts(axis) * std::numbers::pi / packet_bus::kHalfRevolution;
}

void PacketBusEmulator::SetPositionCounts(int axis, int32_t counts) {
  OnAxis(*impl_, axis, [counts](AxisMotion& a, double now) { a.SetCounts(counts, now); });
}

bool PacketBusEmulator::GotoInProgress(int axis) {
  return OnAxis(*impl_, axis, false, [](AxisMotion& a, double now) { return a.GotoRunning(now); });
}

bool PacketBusEmulator::LastGotoWasFast(int axis) {
  return OnAxis(*impl_, axis, false, [](AxisMotion& a, double) { return a.LastGotoWasFast(); });
}

int32_t PacketBusEmulator::RateWireValue(int axis) {
  return OnAxis(*impl_, axis, int32_t{0}, [](AxisMotion& a, double) { return a.RateWireValue(); });
}

uint8_t PacketBusEmulator::ApproachByte(int axis) {
  if (!ValidAxis(axis)) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->approach[axis];
}

uint8_t PacketBusEmulator::Setting(int axis, uint8_t id) {
  if (!ValidAxis(axis) || (id != kSetting10 && id != kSetting11)) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->settings[axis][id - kSetting10];
}

std::vector<PacketBusRequest> PacketBusEmulator::Requests() { return impl_->log.All(); }

void PacketBusEmulator::ClearRequests() { impl_->log.Clear(); }

bool PacketBusEmulator::WaitForRequest(const std::function<bool(const PacketBusRequest&)>& match,
                                       int timeoutMs) {
  return impl_->log.WaitFor(match, Milliseconds(timeoutMs));
}

void PacketBusEmulator::PrintRequests(std::function<void(const PacketBusRequest&)> print) {
  impl_->log.SetPrinter(std::move(print));
}

}  // namespace sidera::emulator
