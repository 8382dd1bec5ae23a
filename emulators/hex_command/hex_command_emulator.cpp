// The hex-command controller emulator: line parsing, the command set, the
// misbehaviour options and the serving thread on the pseudo-terminal.
#include "emulators/hex_command/hex_command_emulator.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <mutex>

#include "emulators/common/axis_access.h"
#include "emulators/common/line_noise.h"
#include "emulators/common/line_server.h"
#include "emulators/common/motion_clock.h"
#include "emulators/common/request_limits.h"
#include "emulators/common/request_log.h"
#include "emulators/hex_command/motor_axis.h"

namespace sidera::emulator {

using hex_command::MotorAxis;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

namespace {

// One byte on a 9600-baud line: start bit, 8 data bits, stop bit.
constexpr std::chrono::microseconds kByteTime{1042};
constexpr size_t kMaxRequestLength = 32;
constexpr size_t kOverlongLength = 20;  // marker to carriage return
constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Six hex digits, low byte first. False when any character is not a digit.
bool ParseNumber(const std::string& text, uint32_t* value) {
  if (text.size() != 6) return false;
  uint32_t v = 0;
  for (int byte = 0; byte < 3; ++byte) {
    const int high = HexValue(text[2 * byte]);
    const int low = HexValue(text[2 * byte + 1]);
    if (high < 0 || low < 0) return false;
    v |= static_cast<uint32_t>(high * 16 + low) << (8 * byte);
  }
  *value = v;
  return true;
}

std::string FormatNumber(uint32_t value) {
  std::string out;
  for (int byte = 0; byte < 3; ++byte) {
    const uint32_t b = (value >> (8 * byte)) & 0xFF;
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0xF];
  }
  return out;
}

// A reply of success with its data.
std::string Done(const std::string& data) {
  std::string reply = "=";
  reply += data;
  return reply;
}

bool Contains(const std::string& letters, char letter) {
  return letters.find(letter) != std::string::npos;
}

// The letters that ask for a value: version, figures, position, status.
bool IsRead(char letter) { return Contains("eabgsjf", letter); }

// Letters of the command set and how much data each takes.
int DataLength(char letter) {
  switch (letter) {
    case 'e':
    case 'a':
    case 'b':
    case 'g':
    case 's':
    case 'j':
    case 'f':
    case 'F':
    case 'J':
    case 'K':
    case 'L':
      return 0;
    case 'G':
      return 2;
    case 'H':
    case 'M':
    case 'I':
    case 'E':
      return 6;
    default:
      return -1;
  }
}

}  // namespace

struct HexCommandEmulator::Impl {
  explicit Impl(const HexCommandOptions& initial)
      : options(initial),
        axes{MotorAxis(initial.initialCounts[0], 0.0), MotorAxis(initial.initialCounts[1], 0.0)} {
    for (MotorAxis& axis : axes) {
      axis.SetConfig(ConfigLocked(), 0.0);
      if (initial.initialised) axis.Initialize();
    }
  }

  // Everything up to `log` is guarded by `mutex`; the serving thread and
  // every public accessor take it.
  std::mutex mutex;
  HexCommandOptions options;
  MotionClock clock;  // runs at options.timeScale
  std::array<MotorAxis, 2> axes;
  int servedRequests = 0;
  bool versionQuerySeen = false;
  bool motionStarted = false;  // a "J" has come: the connect is over

  RequestLog<HexCommandRequest> log;  // has its own lock
  LineNoise noise{0x9E3779B9u};       // serving thread only
  LineServer server;                  // last: stops serving before the rest goes

  double MotionNowLocked() const { return clock.Now(options.timeScale); }

  hex_command::AxisConfig ConfigLocked() const {
    const double countsPerDegree = options.countsPerRevolution / 360.0;
    hex_command::AxisConfig c;
    c.timerFrequency = options.timerFrequency;
    c.highSpeedRatio = options.highSpeedRatio;
    c.gotoFastCountsPerSecond = options.gotoFastDegPerSec * countsPerDegree;
    c.gotoSlowCountsPerSecond = options.gotoSlowDegPerSec * countsPerDegree;
    c.decelerationCountsPerSecond2 = options.decelerationDegPerSec2 * countsPerDegree;
    return c;
  }

  // The reply to one request, without framing bytes: "=..." or "!n".
  std::string ExecuteLocked(int axis, char letter, const std::string& data);
  // The reply as it goes on the line, after the misbehaviour options.
  std::string Decorate(char letter, std::string reply, const HexCommandOptions& now);
  void HandleLine(const std::string& text,
                  std::deque<std::pair<Clock::time_point, std::string>>& replies);
  class Session;
  void Serve();
};

std::string HexCommandEmulator::Impl::ExecuteLocked(int axis, char letter,
                                                    const std::string& data) {
  const double now = MotionNowLocked();
  MotorAxis& motor = axes[axis];
  uint32_t number = 0;
  if (DataLength(letter) == 6 && !ParseNumber(data, &number)) return "!3";
  switch (letter) {
    case 'e':
      return Done(options.version);
    case 'a':
      return Done(FormatNumber(options.countsPerRevolution));
    case 'b':
      return Done(FormatNumber(options.timerFrequency));
    case 'g':
      return Done(FormatNumber(options.highSpeedRatio));
    case 's':
      return Done(FormatNumber(options.sValue));
    case 'j':
      return Done(FormatNumber(static_cast<uint32_t>(motor.Counts(now) + 0x800000)));
    case 'f': {
      char status[3];
      motor.StatusCharacters(now, status);
      return Done(std::string(status, 3));
    }
    case 'F':
      motor.Initialize();
      return "=";
    case 'G':
      if (data[0] < '0' || data[0] > '3' || data[1] < '0' || data[1] > '3') return "!3";
      return motor.SetMode(data[0], data[1], now) ? "=" : "!2";
    case 'H':
      motor.SetGotoIncrement(number);
      return "=";
    case 'M':
      motor.SetBrakeIncrement(number);
      return "=";
    case 'I':
      motor.SetStepPeriod(number, now);
      return "=";
    case 'J':
      motionStarted = true;
      motor.Start(now);
      return "=";
    case 'K':
    case 'L':
      if (options.neverStopsAxis != axis) motor.Stop(letter == 'L', now);
      return "=";
    case 'E':
      motor.LoadCounts(static_cast<int32_t>(number) - 0x800000, now);
      return "=";
    default:
      return "!0";
  }
}

std::string HexCommandEmulator::Impl::Decorate(char letter, std::string reply,
                                               const HexCommandOptions& now) {
  if (now.lowercase) {
    for (size_t i = 1; i < reply.size(); ++i) {
      if (reply[i] >= 'A' && reply[i] <= 'F') reply[i] = static_cast<char>(reply[i] - 'A' + 'a');
    }
  }
  if (Contains(now.malformed, letter) && reply.size() > 2) reply.erase(2, 1);
  if (Contains(now.overlong, letter)) reply.resize(kOverlongLength - 1, '0');
  // Never "=" or "!", so the reply is still the first the reader finds.
  const std::vector<uint8_t> stray = noise.Bytes(now.strayBytes, {'=', '!'}, '?');
  return std::string(stray.begin(), stray.end()) + reply + "\r";
}

void HexCommandEmulator::Impl::HandleLine(
    const std::string& text, std::deque<std::pair<Clock::time_point, std::string>>& replies) {
  // text is ":", letter, axis digit, data.
  HexCommandRequest request{text,  -1,          text.size() > 1 ? text[1] : '\0', "", "",
                            false, Clock::now()};
  if (text.size() > 2) {
    if (text[2] == '1') request.axis = 0;
    if (text[2] == '2') request.axis = 1;
  }
  if (text.size() > 3) request.data = text.substr(3);

  std::unique_lock<std::mutex> lock(mutex);
  const HexCommandOptions now = options;
  ++servedRequests;
  if (CloseLimitReached(now, servedRequests)) server.BeginHangUp(Clock::now());
  const bool allSilent = Silenced(now, servedRequests);
  std::string reply;
  const int length = DataLength(request.letter);
  if (text.size() < 3) {
    reply = "!1";
  } else if (length < 0) {
    reply = now.permissive ? "=000000" : "!0";
  } else if (request.axis < 0) {
    reply = "!3";
  } else if (static_cast<int>(request.data.size()) != length) {
    reply = "!1";
  } else if (Contains(now.refuse, request.letter)) {
    reply = "!0";
  } else if (request.axis != now.silentAxis && !allSilent) {  // a silent one does nothing
    request.axisRunning = axes[request.axis].Running(MotionNowLocked());
    reply = ExecuteLocked(request.axis, request.letter, request.data);
  }
  bool answer = !allSilent && (request.axis < 0 || request.axis != now.silentAxis);
  if (request.letter == 'e' && !versionQuerySeen) {
    versionQuerySeen = true;
    if (now.ignoreFirstVersion) answer = false;
  }
  if (answer) request.reply = reply;
  int delayMs = std::max(now.replyDelayMs, 0);
  if (motionStarted && IsRead(request.letter)) delayMs += std::max(now.readDelayAfterConnectMs, 0);
  lock.unlock();
  log.Add(request);

  if (!answer) return;
  replies.emplace_back(Clock::now() + Milliseconds(delayMs), Decorate(request.letter, reply, now));
}

// One serving session: the echo, request lines split off the line, and
// replies written when due, at the line's pace when asked. Serving thread
// only.
class HexCommandEmulator::Impl::Session {
 public:
  explicit Session(Impl& emulator) : e_(emulator) {}

  // Bytes the host wrote: echoed when the line echoes, and requests once
  // their carriage return comes.
  void Input(const uint8_t* bytes, size_t count) {
    bool echo = false;
    {
      std::lock_guard<std::mutex> lock(e_.mutex);
      echo = e_.options.echo;
    }
    // An echoing line hands every byte straight back, ahead of any reply.
    if (echo) Send(bytes, bytes + count, Clock::now());
    for (size_t i = 0; i < count && !e_.server.HangingUp(); ++i) Split(static_cast<char>(bytes[i]));
  }

  // One turn: write what is due and hang up once it has been read.
  LineServer::Turn Turn(Clock::time_point now) {
    bool pace = false;
    {
      std::lock_guard<std::mutex> lock(e_.mutex);
      pace = e_.options.pace;
    }
    WriteDue(now, pace);
    if (replies_.empty() && output_.empty() && e_.server.HangUpDue(now)) {
      return LineServer::Turn{.hangUp = true};
    }

    LineServer::Turn next;
    if (!replies_.empty()) next.wakeAt = replies_.front().first;
    if (!output_.empty() && pace) next.wakeAt = std::min(next.wakeAt, nextByteDue_);
    next.writable = !output_.empty() && !pace;
    return next;
  }

 private:
  // One byte of a request line: a ":" starts a request afresh, a carriage
  // return ends it, bytes outside a request and line feeds are ignored.
  void Split(char c) {
    if (c == ':') {
      pending_.clear();
      pending_.push_back(c);
      inRequest_ = true;
    } else if (!inRequest_ || c == '\n') {
      return;
    } else if (c == '\r') {
      inRequest_ = false;
      e_.HandleLine(pending_, replies_);
    } else if (pending_.size() >= kMaxRequestLength) {
      inRequest_ = false;  // too long to be a request: dropped
    } else {
      pending_ += c;
    }
  }

  // Replies that are due go to the line: everything at once without
  // pacing; with it, one byte per byte time of the line.
  void WriteDue(Clock::time_point now, bool pace) {
    while (!replies_.empty() && replies_.front().first <= now) {
      const std::string& reply = replies_.front().second;
      Send(reply.begin(), reply.end(), replies_.front().first);
      replies_.pop_front();
    }
    while (!output_.empty() && (!pace || nextByteDue_ <= now)) {
      if (!e_.server.WriteFrom(output_, pace ? 1 : SIZE_MAX)) break;  // retry when writable
      if (!pace) continue;
      // A byte sent late (the poll wakes in whole milliseconds) lets the
      // next one follow sooner, by at most a byte time, so the line keeps
      // its rate on average and never beats it.
      nextByteDue_ = std::max(nextByteDue_, now - kByteTime) + kByteTime;
      break;
    }
  }

  // Bytes join the line's queue. On an idle line the first of them is due
  // when they came (`at`), not at once: the next byte time counts from there.
  template <typename It>
  void Send(It begin, It end, Clock::time_point at) {
    if (output_.empty()) nextByteDue_ = std::max(nextByteDue_, at);
    output_.insert(output_.end(), begin, end);
  }

  Impl& e_;
  std::deque<std::pair<Clock::time_point, std::string>> replies_;
  std::deque<uint8_t> output_;
  std::string pending_;  // the request being received, from its ":"
  bool inRequest_ = false;
  Clock::time_point nextByteDue_ = Clock::now();
};

void HexCommandEmulator::Impl::Serve() {
  Session session(*this);
  server.Serve([&](Clock::time_point now) { return session.Turn(now); },
               [&](const uint8_t* bytes, size_t count) { session.Input(bytes, count); });
}

HexCommandEmulator::HexCommandEmulator(HexCommandOptions options)
    : impl_(std::make_unique<Impl>(options)) {}

HexCommandEmulator::~HexCommandEmulator() { Stop(); }

bool HexCommandEmulator::Start() {
  return impl_->server.Start([impl = impl_.get()] { impl->Serve(); });
}

std::string HexCommandEmulator::DevicePath() const { return impl_->server.DevicePath(); }

void HexCommandEmulator::Stop() { impl_->server.Stop(); }

void HexCommandEmulator::CloseLine() { impl_->server.CloseLine(); }

void HexCommandEmulator::UpdateOptions(const std::function<void(HexCommandOptions&)>& change) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const double now = impl_->clock.Rescale(impl_->options.timeScale);
    change(impl_->options);
    for (MotorAxis& axis : impl_->axes) axis.SetConfig(impl_->ConfigLocked(), now);
  }
  impl_->server.Wake();
}

int32_t HexCommandEmulator::PositionCounts(int axis) {
  return OnAxis(*impl_, axis, int32_t{0}, [](MotorAxis& a, double now) { return a.Counts(now); });
}

double HexCommandEmulator::PositionDegrees(int axis) {
  const int32_t counts = PositionCounts(axis);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return counts * 360.0 / std::max<uint32_t>(impl_->options.countsPerRevolution, 1);
}

void HexCommandEmulator::SetPositionCounts(int axis, int32_t counts) {
  OnAxis(*impl_, axis, [counts](MotorAxis& a, double now) { a.LoadCounts(counts, now); });
}

bool HexCommandEmulator::Running(int axis) {
  return OnAxis(*impl_, axis, false, [](MotorAxis& a, double now) { return a.Running(now); });
}

bool HexCommandEmulator::Initialised(int axis) {
  return OnAxis(*impl_, axis, false, [](MotorAxis& a, double) { return a.Initialised(); });
}

std::string HexCommandEmulator::Status(int axis) {
  return OnAxis(*impl_, axis, std::string{}, [](MotorAxis& a, double now) {
    char status[3];
    a.StatusCharacters(now, status);
    return std::string(status, 3);
  });
}

char HexCommandEmulator::MotionType(int axis) {
  return OnAxis(*impl_, axis, char{0}, [](MotorAxis& a, double) { return a.Type(); });
}

char HexCommandEmulator::Direction(int axis) {
  return OnAxis(*impl_, axis, char{0}, [](MotorAxis& a, double) { return a.Direction(); });
}

uint32_t HexCommandEmulator::StepPeriod(int axis) {
  return OnAxis(*impl_, axis, uint32_t{0}, [](MotorAxis& a, double) { return a.StepPeriod(); });
}

uint32_t HexCommandEmulator::BrakeIncrement(int axis) {
  return OnAxis(*impl_, axis, uint32_t{0}, [](MotorAxis& a, double) { return a.BrakeIncrement(); });
}

std::vector<HexCommandRequest> HexCommandEmulator::Requests() { return impl_->log.All(); }

void HexCommandEmulator::ClearRequests() { impl_->log.Clear(); }

bool HexCommandEmulator::WaitForRequest(const std::function<bool(const HexCommandRequest&)>& match,
                                        int timeoutMs) {
  return impl_->log.WaitFor(match, Milliseconds(timeoutMs));
}

void HexCommandEmulator::PrintRequests(std::function<void(const HexCommandRequest&)> print) {
  impl_->log.SetPrinter(std::move(print));
}

}  // namespace sidera::emulator
