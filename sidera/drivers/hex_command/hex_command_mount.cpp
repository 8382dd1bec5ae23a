// The hex-command family base: its commands, the reply reader and echo
// probe on the link, the connect sequence, and the hardware slots (relative
// gotos by step count, rate motions by step period, halts, position loads,
// and the stop-and-wait hooks of the motion code).
#include "sidera/drivers/hex_command/hex_command_mount.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/clock.h"
#include "platform/debug_log.h"
#include "sidera/core/angles.h"
#include "sidera/drivers/hex_command/hex_protocol.h"
#include "sidera/link/byte_source.h"
#include "sidera/link/exchange_scope.h"

namespace sidera {

namespace {

// Counts per revolution that controllers with these model codes use, whatever
// they report.
constexpr uint32_t kModelCode80Counts = 1452951;
constexpr uint32_t kModelCode82Counts = 2118424;

// Fastest rate any motion is asked for, and the rate above which the
// controller's fast mode (steps of highSpeedRatio counts) is used.
const double kMaxRate = DegToRad(3.4);
constexpr double kFastRateThreshold = 128.0 * kSiderealRate;
// Slower than this an axis is halted rather than moved.
constexpr double kMinRate = kSiderealRate / 1000.0;
// Shortest step period the controllers are given.
constexpr int32_t kMinStepPeriod = 6;
// Firmware that runs its step periods three timer ticks long.
constexpr uint32_t kLongPeriodFirmwareA = 0x010600;
constexpr uint32_t kLongPeriodFirmwareB = 0x010601;
// Seconds of sidereal motion a short goto may cover.
constexpr double kShortGotoSeconds = 640.0;
// Wait before the one retry of the version query.
constexpr uint32_t kVersionRetryTicks = 200;
// RTS settles this long before the echo probe.
constexpr uint32_t kEchoProbeSettleTicks = 20;

bool ModelCodeIn(uint32_t code, uint32_t low, uint32_t high) { return code >= low && code <= high; }

}  // namespace

HexCommandMount::HexCommandMount(const PortAddress& port) : SerialLink(port) {
  (void)ApplyBaudRate(9600);
}

// The port is closed by the link's destructor, after this one; the model
// destructors have stopped every worker thread by then.
HexCommandMount::~HexCommandMount() = default;

// ---- Line handling ----

LineResult HexCommandMount::ReadReply(uint8_t* reply) {
  // Replies come from the port one byte per read, each read bounded by the
  // port's time-outs. The controller has started answering once the marker
  // is in, so RTS is dropped there.
  PortByteSource source(port);
  const int letter = asked_.empty() ? kNoRequest : asked_.front().letter;
  uint8_t line[hex_command::kReplyBufferSize] = {};
  for (;;) {
    bool begun = false;
    const int r = hex_command::ReadLine(source, line, [&] {
      begun = true;
      (void)port.SetRts(false);
    });
    if (r != 0) {
      // A line begun and broken off answers the oldest request waiting; the
      // replies of the others may still come.
      if (begun && !owed_.empty()) {
        owed_.pop_front();
      } else if (begun && !asked_.empty()) {
        asked_.pop_front();
      }
      // A controller already judged silent owes nothing: its exchanges stay
      // short, and the other axis's are not held up by them.
      std::erase_if(asked_, [this](const OwedReply& o) { return health.Silent(o.axis); });
      leftOwed_ = !asked_.empty();
      owed_.insert(owed_.end(), asked_.begin(), asked_.end());
      asked_.clear();
      return LineResult::kFailed;
    }
    if (ClaimLine(line, letter)) break;
    if (owed_.empty()) LateReplyTaken();
  }
  if (!asked_.empty()) asked_.pop_front();
  if (reply != nullptr) std::memcpy(reply, line, sizeof line);
  return LineResult::kOk;
}

LineResult HexCommandMount::Write(const uint8_t* bytes, uint32_t length) {
  leftOwed_ = false;
  const LineResult r = SerialLink::Write(bytes, length);
  if (r == LineResult::kOk) NoteAsked(bytes, length, std::chrono::steady_clock::now());
  return r;
}

void HexCommandMount::NoteWrittenAhead(const uint8_t* bytes, uint32_t length,
                                       std::chrono::steady_clock::time_point at) {
  leftOwed_ = false;
  NoteAsked(bytes, length, at);
}

void HexCommandMount::NoteAsked(const uint8_t* bytes, uint32_t length,
                                std::chrono::steady_clock::time_point at) {
  asked_.push_back({length > 1 ? static_cast<char>(bytes[1]) : '\0',
                    length > 2 && bytes[2] == '2' ? 1 : 0, at + kOwedReplyWait});
}

void HexCommandMount::ForgetExpiredOwed() {
  // A controller judged silent meanwhile owes nothing either: what it was
  // asked before it fell silent counts as lost, so that the first replies
  // once it answers again are taken for what they answer.
  const auto now = std::chrono::steady_clock::now();
  std::erase_if(owed_, [&](const OwedReply& o) { return o.until <= now || health.Silent(o.axis); });
}

namespace {

// Whether `a` and `b` get answers of one shape: with data (the inquiries)
// or without (every other command).
bool AnswersAlike(char a, char b) {
  const uint8_t withData[] = {hex_command::kMarkerDone, '0', hex_command::kCarriageReturn, 0};
  return hex_command::ReplyFits(a, withData) == hex_command::ReplyFits(b, withData);
}

}  // namespace

bool HexCommandMount::OwesLike(char letter) const {
  return std::any_of(owed_.begin(), owed_.end(),
                     [&](const OwedReply& o) { return AnswersAlike(o.letter, letter); });
}

bool HexCommandMount::ClaimLine(const uint8_t* line, int letter) {
  ForgetExpiredOwed();
  // Replies come in order: a line answers the oldest owed request it fits,
  // and the owed requests before that one lost theirs.
  auto owner = std::find_if(owed_.begin(), owed_.end(), [&](const OwedReply& o) {
    return hex_command::ReplyFits(o.letter, line);
  });
  if (owner == owed_.end()) {
    const bool ours =
        letter != kNoRequest && hex_command::ReplyFits(static_cast<char>(letter), line);
    // A line that fits only this request: every owed reply was lost. One
    // that fits nothing is the controller's malformed answer, to this
    // request when nothing is owed (the caller judges it), else to the
    // oldest owed one.
    if (ours || owed_.empty()) {
      if (!owed_.empty()) SIDERA_DEBUG_LOG(kIo, "%zu owed reply lines never came", owed_.size());
      owed_.clear();
      return letter != kNoRequest;
    }
    owner = owed_.begin();
  }
  SIDERA_DEBUG_LOG(kIo, "reply line dropped: it answers an earlier \"%c\"", owner->letter);
  owed_.erase(owed_.begin(), owner + 1);
  return false;
}

bool HexCommandMount::DrainLateReply() {
  PortByteSource source(port);
  for (;;) {
    ForgetExpiredOwed();
    if (!OwesLike(nextLetter_)) return true;
    uint8_t line[hex_command::kReplyBufferSize] = {};
    if (hex_command::ReadLine(source, line, {}) == 0) {
      (void)ClaimLine(line, kNoRequest);
      continue;
    }
    // Nothing within a read's time-out: the wait goes on until the late
    // reply is no longer expected, unless a stop cut it short.
    const auto due = LateReplyDue();
    if (port.DeadlineShortened()) return false;
    if (!due || std::chrono::steady_clock::now() >= *due) break;
  }
  // They did not come in time: they are taken as lost.
  std::erase_if(owed_, [this](const OwedReply& o) { return AnswersAlike(o.letter, nextLetter_); });
  return false;
}

bool HexCommandMount::LateReplyTellsApart(const uint8_t* next, uint32_t length) {
  nextLetter_ = length > 1 ? static_cast<char>(next[1]) : '\0';
  ForgetExpiredOwed();
  // A stop never waits for a late reply: its reader drops the owed lines
  // that come first, in order. (Were one of them lost, the stop's own reply
  // would be taken for it and the stop would report no reply; the halt has
  // still gone out at once.)
  return UrgentExchanges::Active() || !OwesLike(nextLetter_);
}

MountResult HexCommandMount::InitializeAxes() {
  const MountResult r = InitializeAxis(0);
  if (r != kOk) return r;
  return InitializeAxis(1);
}

bool HexCommandMount::ProbeEcho() {
  if (!AcquireLine()) return true;
  SetRts(true);
  platform::Sleep(kEchoProbeSettleTicks);
  (void)port.Purge(true, true);
  const uint8_t start = hex_command::kRequestStart;
  size_t written = 0;
  (void)port.Write(&start, 1, &written);
  uint8_t back = 0;
  size_t got = 0;
  (void)port.Read(&back, 1, &got);
  if (got == 1 && back == hex_command::kRequestStart) {
    lineEchoes = true;
    SetRts(false);
  } else {
    lineEchoes = false;  // RTS stays raised
  }
  lineLock.Release();
  return lineEchoes;
}

// ---- Commands ----

MountResult HexCommandMount::SendHexCommand(int axis, char letter, const char* data, size_t length,
                                            uint8_t* reply) {
  uint8_t frame[hex_command::kMaxRequestLength];
  const size_t size = hex_command::BuildFrame(axis, letter, data, length, frame);
  if (size == 0) return NoResponse(axis);
  uint8_t scratch[hex_command::kReplyBufferSize] = {};
  uint8_t* buffer = reply != nullptr ? reply : scratch;
  const LineResult sent = Exchange(frame, static_cast<uint32_t>(size), buffer, LineAxis(axis));
  return JudgeReply(axis, letter, sent, buffer);
}

MountResult HexCommandMount::JudgeReply(int axis, char letter, LineResult sent,
                                        const uint8_t* reply) {
  // Cut short for a stop: the motion it belonged to is over, the axis is not
  // judged by it.
  if (sent == LineResult::kCutShort) return kUserInterrupt;
  if (sent != LineResult::kOk) return NoResponse(axis);
  // The controller's own error digits do not matter to the caller: a
  // refusal is a refusal. The log keeps them.
  if (reply[0] == hex_command::kMarkerRefused) {
    SIDERA_DEBUG_LOG(
        kIo, "axis %d refused \"%c\" with \"%s\"", axis, letter,
        platform::HexBytes(reply + 1, std::strlen(reinterpret_cast<const char*>(reply + 1)))
            .c_str());
    return kInvalidParameter;
  }
  return kOk;
}

namespace {

// Sends a command without data whose reply carries a number. kOk with
// `*valid` telling whether the number was well formed.
MountResult Query(HexCommandMount& m, int axis, char letter, uint32_t* value, bool* valid) {
  uint8_t reply[hex_command::kReplyBufferSize] = {};
  const MountResult r = m.SendHexCommand(axis, letter, nullptr, 0, reply);
  *valid = r == kOk && hex_command::DecodeHex24(reply, value);
  if (r == kOk && !*valid) {
    SIDERA_DEBUG_LOG(kIo, "axis %d: the reply to \"%c\" is not a number", axis, letter);
  }
  return r;
}

}  // namespace

MountResult HexCommandMount::InquireVersion(int axis) {
  uint32_t v = 0;
  bool valid = false;
  const MountResult r = Query(*this, axis, hex_command::kInquireVersion, &v, &valid);
  if (r != kOk) return r;
  if (!valid) return kInvalidParameter;
  firmwareVersion = hex_command::FirmwareFromWire(v);
  return kOk;
}

MountResult HexCommandMount::InquireCountsPerRevolution(int axis) {
  uint32_t n = 0;
  bool valid = false;
  const MountResult r = Query(*this, axis, hex_command::kInquireCountsPerRevolution, &n, &valid);
  if (r != kOk || !valid) return r;  // a malformed reply keeps the factors
  if (modelCode == 0x80) n = kModelCode80Counts;
  if (modelCode == 0x82) n = kModelCode82Counts;
  // Zero counts would make every conversion infinite; keep the factors.
  if (n == 0) return kOk;
  countsPerRadian[axis] = n / kTwoPi;
  radiansPerCount[axis] = kTwoPi / n;
  return kOk;
}

MountResult HexCommandMount::InquireTimerFrequency(int axis) {
  uint32_t f = 0;
  bool valid = false;
  const MountResult r = Query(*this, axis, hex_command::kInquireTimerFrequency, &f, &valid);
  if (r != kOk) return r;
  if (valid) timerFrequency[axis] = f;
  // Both axes run on axis 0's timer.
  stepPeriodFactor[0] = timerFrequency[0] / countsPerRadian[0];
  stepPeriodFactor[1] = timerFrequency[0] / countsPerRadian[1];
  return kOk;
}

MountResult HexCommandMount::InquireHighSpeedRatio(int axis) {
  uint32_t g = 0;
  bool valid = false;
  const MountResult r = Query(*this, axis, hex_command::kInquireHighSpeedRatio, &g, &valid);
  if (r == kOk && valid) highSpeedRatio[axis] = g;
  return r;
}

MountResult HexCommandMount::InquireSValue(int axis) {
  uint32_t s = 0;
  bool valid = false;
  const MountResult r = Query(*this, axis, hex_command::kInquireSValue, &s, &valid);
  if (r != kOk) return r;
  if (!valid) return kInvalidParameter;
  sValue[axis] = s;
  return kOk;
}

MountResult HexCommandMount::QueryAxisAngle(int axis, double* angle) {
  uint32_t p = 0;
  bool valid = false;
  const MountResult r = Query(*this, axis, hex_command::kInquirePosition, &p, &valid);
  if (r != kOk) return r;
  if (!valid) return kInvalidParameter;
  *angle = ToRadians(axis, hex_command::CountFromWire(p));
  return kOk;
}

MountResult HexCommandMount::InquirePosition(int axis) {
  double angle = 0.0;
  const MountResult r = QueryAxisAngle(axis, &angle);
  if (r == kOk) Axes().NotePosition(axis, angle);
  return r;
}

MountResult HexCommandMount::InquireStatus(int axis) {
  uint32_t changes = 0;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    changes = stateChanges_[axis];
  }
  uint8_t reply[hex_command::kReplyBufferSize] = {};
  const MountResult r = SendHexCommand(axis, hex_command::kInquireStatus, nullptr, 0, reply);
  if (r != kOk) return r;
  uint32_t state = 0;
  if (!hex_command::DecodeStatus(reply, &state)) return kInvalidParameter;
  // The reply tells how the axis stood when the query went out. A goto or
  // rate commanded meanwhile (by another thread) is newer; its state stands
  // until the next query reports on it.
  std::lock_guard<std::mutex> lock(stateMutex_);
  if (stateChanges_[axis] == changes) {
    Axes().NoteState(axis, state);
    ++stateChanges_[axis];
  }
  return kOk;
}

void HexCommandMount::CommandAxisState(int axis, uint32_t keep, uint32_t set) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  Axes().NoteState(axis, (Axes().State(axis) & keep) | set);
  ++stateChanges_[axis];
}

MountResult HexCommandMount::InitializeAxis(int axis) {
  return SendHexCommand(axis, hex_command::kInitializeAxis, nullptr, 0, nullptr);
}

MountResult HexCommandMount::SetMotionMode(int axis, char type, bool negative) {
  char data[2];
  hex_command::EncodeMotionMode(type, negative, southernHemisphere, data);
  return SendHexCommand(axis, hex_command::kSetMotionMode, data, 2, nullptr);
}

namespace {

MountResult SendNumber(HexCommandMount& m, int axis, char letter, uint32_t value) {
  char data[6];
  hex_command::EncodeHex24(value, data);
  return m.SendHexCommand(axis, letter, data, 6, nullptr);
}

}  // namespace

MountResult HexCommandMount::SetGotoIncrement(int axis, uint32_t steps) {
  return SendNumber(*this, axis, hex_command::kSetGotoIncrement, steps);
}

MountResult HexCommandMount::SetBrakeIncrement(int axis, uint32_t steps) {
  return SendNumber(*this, axis, hex_command::kSetBrakeIncrement, steps);
}

MountResult HexCommandMount::SetStepPeriod(int axis, uint32_t period) {
  return SendNumber(*this, axis, hex_command::kSetStepPeriod, period);
}

MountResult HexCommandMount::StartMotion(int axis) {
  return SendHexCommand(axis, hex_command::kStartMotion, nullptr, 0, nullptr);
}

MountResult HexCommandMount::StopMotion(int axis) {
  return SendHexCommand(axis, hex_command::kStopMotion, nullptr, 0, nullptr);
}

MountResult HexCommandMount::StopInstantly(int axis) {
  return SendHexCommand(axis, hex_command::kStopInstantly, nullptr, 0, nullptr);
}

MountResult HexCommandMount::LoadPosition(int axis, double angle) {
  // The position is a signed 24-bit count. An angle within a turn of zero
  // goes out as it is (the equatorial frame loads up to 3/2 of a half
  // turn); one further out is the same place a whole number of turns away.
  constexpr double kMaxCount = 0x7FFFFF;
  if (!(std::fabs(angle * countsPerRadian[axis]) <= kMaxCount)) angle = std::fmod(angle, kTwoPi);
  if (!(std::fabs(angle * countsPerRadian[axis]) <= kMaxCount)) angle = NormalizeAngle(angle);
  const uint32_t wire = static_cast<uint32_t>(ToCounts(axis, angle)) + hex_command::kPositionOffset;
  return SendNumber(*this, axis, hex_command::kLoadPosition, wire);
}

// ---- Hardware slots ----

MountResult HexCommandMount::ReadAxisPosition(int axis) { return InquirePosition(axis); }

MountResult HexCommandMount::ReadAxisState(int axis) { return InquireStatus(axis); }

MountResult HexCommandMount::Connect() {
  if (!port.IsOpen()) return kNoResponseAxis0;
  noHandshake = ProbeHandshake() == LineReady::kNo;
  (void)ProbeEcho();  // decides lineEchoes; nothing to check

  MountResult r = InquireVersion(0);
  if (r != kOk) {
    // Some controllers miss the first line after power-up.
    platform::Sleep(kVersionRetryTicks);
    r = InquireVersion(0);
    if (r != kOk) return r;
  }
  modelCode = firmwareVersion & 0xFF;
  if (modelCode >= 0x80) {
    lineEchoes = true;
    useInstantStop = ModelCodeIn(modelCode, 0x90, 0x9F) ? 0 : 1;
  }
  // Early firmware of these models stops short of the target.
  if (ModelCodeIn(modelCode, 0x80, 0x82) && (firmwareVersion & 0xFFFF00) < 0x010901) {
    SetGotoTolerance(DegToRad(0.1));
  }
  if (ModelCodeIn(modelCode, 0x90, 0x9F)) {
    SyncAxesOnAlign(false, false);
  }

  for (int axis = 0; axis < 2; ++axis) {
    r = InquireCountsPerRevolution(axis);
    if (r != kOk) return r;
  }
  r = InquireTimerFrequency(0);
  if (r != kOk) return r;
  timerFrequency[1] = timerFrequency[0];
  for (int axis = 0; axis < 2; ++axis) {
    r = InquireHighSpeedRatio(axis);
    if (r != kOk) return r;
  }
  if (!lineEchoes) {
    for (int axis = 0; axis < 2; ++axis) {
      r = InquireSValue(axis);
      if (r != kOk) return r;
    }
  }
  for (int axis = 0; axis < 2; ++axis) {
    r = ReadAxisPosition(axis);
    if (r != kOk) return r;
  }
  r = InitializeAxes();
  if (r != kOk) return r;
  SIDERA_DEBUG_LOG(kIo, "connected: firmware %06X, model code %02X, %s line, %s halts",
                   firmwareVersion.load(), modelCode, lineEchoes ? "echoing" : "quiet",
                   useInstantStop ? "instant" : "braking");

  for (int axis = 0; axis < 2; ++axis) {
    const int32_t limit =
        TruncateToInt32(kShortGotoSeconds * kSiderealRate * countsPerRadian[axis]);
    shortGotoLimit[axis] = limit > 0 ? static_cast<uint32_t>(limit) : 0;
    brakeSteps[axis] = kBrakeSteps;
  }
  return kOk;
}

// A goto is taken only when every one of its commands is: the controller
// refuses a mode change ("!") while the axis runs, and a goto whose mode or
// start was lost would leave the axis in its rate motion while the goto
// counted it as moving to the target. So an axis that runs (tracking, a
// hand move) is halted and waited for first, and a command that fails or
// is refused fails the goto with the axis's code.
MountResult HexCommandMount::GotoAxisAngle(int axis, double angle) {
  MountResult r = ReadAxisPosition(axis);
  if (r != kOk) return r;
  // Less than a turn, so that the step count fits the 24-bit increment and
  // the int32 arithmetic below for any finite target.
  double way = std::fmod(angle - Axes().Position(axis), kTwoPi);
  int32_t steps = TruncateToInt32(way * countsPerRadian[axis]);
  if (steps == 0) return kOk;  // less than a step away: nothing to do
  r = ReadAxisState(axis);
  if (r != kOk) return r;
  if ((Axes().State(axis) & AXIS_STOPPED) == 0) {
    // It moved on while it braked: the steps count from where it stands.
    r = HaltAndAwaitStop(axis);
    if (r == kOk) r = ReadAxisPosition(axis);
    if (r != kOk) return r;
    way = std::fmod(angle - Axes().Position(axis), kTwoPi);
    steps = TruncateToInt32(way * countsPerRadian[axis]);
    if (steps == 0) return kOk;
  }

  const bool negative = steps < 0;
  if (negative) steps = -steps;
  const uint32_t count = static_cast<uint32_t>(steps);
  const char type =
      count <= shortGotoLimit[axis] ? hex_command::kShortGoto : hex_command::kLongGoto;
  r = SetMotionMode(axis, type, negative);
  if (r == kOk) r = SetGotoIncrement(axis, count);
  if (r == kOk) r = SetBrakeIncrement(axis, brakeSteps[axis]);
  if (r == kOk) r = StartMotion(axis);
  if (r != kOk) {
    SIDERA_DEBUG_LOG(kMotion, "axis %d did not take its goto (%d)", axis, r);
    return r == kUserInterrupt ? r : NoResponse(axis);
  }
  CommandAxisState(axis, 0, negative ? AXIS_GOTO : (AXIS_GOTO | AXIS_POSITIVE));
  return kOk;
}

MountResult HexCommandMount::HaltAndAwaitStop(int axis) {
  MountResult r = HaltAxis(axis);
  if (r != kOk) return r;
  const uint32_t start = platform::Now();
  for (;;) {
    const uint64_t seen = CommandGeneration();
    r = ReadAxisState(axis);
    if (r != kOk) return r;
    if ((Axes().State(axis) & AXIS_STOPPED) != 0) return kOk;
    if (ShuttingDown()) return kUserInterrupt;
    if (platform::TicksBetween(start, platform::Now()) >=
        static_cast<int32_t>(kStopWaitLimitTicks)) {
      SIDERA_DEBUG_LOG(kMotion, "axis %d still runs %u ms after its halt", axis,
                       kStopWaitLimitTicks);
      return NoResponse(axis);
    }
    SleepUnlessCommanded(seen, kStopPollTicks);
  }
}

MountResult HexCommandMount::SlewAxisAtRate(int axis, double rate) {
  const double clamped = rate > kMaxRate ? kMaxRate : (rate < -kMaxRate ? -kMaxRate : rate);
  if (std::fabs(clamped) <= kMinRate) return HaltAxis(axis);

  const MountResult r = PrepareRateMotion(axis, clamped);
  if (r != kOk) return r;

  double speed = clamped;
  if (speed > 0.0) {
    Axes().NoteDirection(axis, true);
    CommandAxisState(axis, ~0u, AXIS_POSITIVE);
  } else {
    speed = -speed;
    Axes().NoteDirection(axis, false);
    CommandAxisState(axis, ~AXIS_POSITIVE, 0);
  }
  // In the fast mode every step is highSpeedRatio counts long. A controller
  // that never gave its ratio is asked for the rate as it stands.
  if (speed > kFastRateThreshold && highSpeedRatio[axis] != 0) speed /= highSpeedRatio[axis];
  int32_t period = TruncateToInt32(stepPeriodFactor[axis] * (1.0 / speed));
  const uint32_t firmware = firmwareVersion;
  if (firmware == kLongPeriodFirmwareA || firmware == kLongPeriodFirmwareB) period -= 3;
  if (period < kMinStepPeriod) period = kMinStepPeriod;
  // A lost command shows in the axis state the next reads report.
  (void)SetStepPeriod(axis, static_cast<uint32_t>(period));
  (void)StartMotion(axis);
  Axes().NoteRate(axis, clamped);
  return kOk;
}

MountResult HexCommandMount::PrepareRateMotion(int axis, double rate) {
  if (axis < 0 || axis > 1) return kInvalidParameter;
  MountResult r = ReadAxisState(axis);
  if (r != kOk) return r;
  const uint32_t state = Axes().State(axis);
  const bool fastRate = std::fabs(rate) > kFastRateThreshold;

  if ((state & AXIS_STOPPED) == 0) {
    const bool slowMotion = (state & (AXIS_GOTO | AXIS_HIGH_SPEED)) == 0;
    if (slowMotion && std::fabs(rate) < kFastRateThreshold) {
      const bool positive = (state & AXIS_POSITIVE) != 0;
      // Same direction: the running motion only gets its new step period.
      if ((positive && rate >= 0.0) || (!positive && rate <= 0.0)) return kOk;
    }
    // The mode may only change while the axis stands still.
    r = HaltAndAwaitStop(axis);
    if (r != kOk) return r;
  }
  // The motion that follows shows whether the mode was taken.
  (void)SetMotionMode(axis, fastRate ? hex_command::kFastRate : hex_command::kSlowRate,
                      !(rate > 0.0));
  return kOk;
}

MountResult HexCommandMount::HaltAxis(int axis) {
  const UrgentExchanges stop;
  return useInstantStop ? StopInstantly(axis) : StopMotion(axis);
}

void HexCommandMount::HaltBothAxes(MountResult results[2]) {
  const UrgentExchanges stop;
  const char letter = useInstantStop ? hex_command::kStopInstantly : hex_command::kStopMotion;
  uint8_t frames[2][hex_command::kMaxRequestLength];
  uint8_t replies[2][hex_command::kReplyBufferSize] = {};
  LineRequest requests[2];
  for (int axis = 0; axis < 2; ++axis) {
    const size_t size = hex_command::BuildFrame(axis, letter, nullptr, 0, frames[axis]);
    requests[axis] = {frames[axis], static_cast<uint32_t>(size), replies[axis], LineAxis(axis)};
  }
  LineResult sent[2] = {LineResult::kFailed, LineResult::kFailed};
  ExchangeSeries(requests, 2, sent);
  for (int axis = 0; axis < 2; ++axis) {
    results[axis] = JudgeReply(axis, letter, sent[axis], replies[axis]);
  }
}

MountResult HexCommandMount::WriteAxisPosition(int axis, double angle) {
  // The recorded position follows at the next read.
  return LoadPosition(axis, angle);
}

MountResult HexCommandMount::HaltAxesBeforeGoto(uint32_t command) {
  if (!Identity().Equatorial()) (void)StopTracking();  // halts both axes; checked below

  const uint32_t start = platform::Now();
  for (bool firstRound = true;; firstRound = false) {
    const uint64_t seen = CommandGeneration();
    // The axes are read directly, so that a controller that stops answering
    // ends the wait with its code instead of leaving it to spin on the last
    // known state.
    MountResult r = ReadAxisState(0);
    if (r != kOk) return r;
    r = ReadAxisState(1);
    if (r != kOk) return r;
    const bool stopped =
        (Axes().State(0) & AXIS_STOPPED) != 0 && (Axes().State(1) & AXIS_STOPPED) != 0;

    if (firstRound && !stopped) {
      r = HaltAxis(0);
      if (r != kOk) return r;
      r = HaltAxis(1);
      if (r != kOk) return r;
    } else {
      SleepUnlessCommanded(seen, kStopPollTicks);
    }
    if (ClaimOn(0) == 0 || ClaimOn(1) == 0 || MustGiveWay(command) || ShuttingDown()) {
      return kUserInterrupt;
    }
    if (stopped) return kOk;
    // An axis that still runs long after its halt does not carry it out.
    if (platform::TicksBetween(start, platform::Now()) >=
        static_cast<int32_t>(kStopWaitLimitTicks)) {
      const int running = (Axes().State(0) & AXIS_STOPPED) == 0 ? 0 : 1;
      SIDERA_DEBUG_LOG(kMotion, "axis %d still runs %u ms after its halt before a goto", running,
                       kStopWaitLimitTicks);
      return NoResponse(running);
    }
  }
}

}  // namespace sidera
