// The byte-command base: the controller's commands and the hardware slots built
// on them.
#include "sidera/drivers/byte_command/byte_command_mount.h"

#include <cmath>

#include "platform/clock.h"
#include "platform/debug_log.h"
#include "sidera/core/angles.h"
#include "sidera/drivers/byte_command/byte_command.h"
#include "sidera/link/count24.h"
#include "sidera/link/exchange_scope.h"

namespace sidera {

namespace {

using byte_command::AxisCommand;
using byte_command::BuildRequest;

// The rate the host is shown for a goto; the controller chooses its own.
constexpr double kGotoRateDeg = 8.0;
// An axis-1 goto is over when two reads this far apart (ticks, exclusive)
// agree.
constexpr uint32_t kAxis1SettleTicks = 1000;
// Pause between presetting the counts and the count of 2 degrees.
constexpr uint32_t kConnectPauseTicks = 50;

bool ValidAxis(int axis) { return axis == 0 || axis == 1; }

}  // namespace

ByteCommandMount::ByteCommandMount(const PortAddress& port) : SerialLink(port) {
  (void)ApplyBaudRate(4800);
  SetGotoParameters({.tolerance = DegToRad(1.0 / 12.0), .leadTime = 12.0});  // 5 arc-minutes
}

// The port itself is closed by the link's destructor, after this one; the
// model destructors have stopped every worker thread by then.
ByteCommandMount::~ByteCommandMount() = default;

void ByteCommandMount::SetGearing(uint32_t counts) {
  countsPerRevolution = counts;
  for (int axis = 0; axis < 2; ++axis) {
    // Half of N by integer division: for an odd N a count converts to
    // slightly less than N / 2 pi per radian going out, while a count read
    // back uses N itself.
    countsPerRadian[axis] = static_cast<double>(counts / 2) / kPi;
    radiansPerCount[axis] = kTwoPi / counts;
    // The wire rate is ten times the rate in counts per second.
    rateUnitsPerRadian[axis] = 5.0 * counts / kPi;
  }
}

// ---- Line handling ----

LineReady ByteCommandMount::BeginTransmit() {
  SetRts(true);
  return LineReady::kYes;
}

LineResult ByteCommandMount::Write(const uint8_t* bytes, uint32_t length) {
  // The reply length travels with the request, so two threads commanding
  // at once cannot hand one exchange the other's length.
  expectedReplyLength = length > 0 ? byte_command::ReplyLength(bytes[0]) : 0;
  return SerialLink::Write(bytes, length);
}

LineResult ByteCommandMount::ReadReply(uint8_t* reply) {
  PortByteSource source(port);
  uint32_t got = 0;
  const int r = byte_command::ReadFixedReply(source, expectedReplyLength, reply, &got);
  lastReplyBytes = got;
  // A reply cut off by a stop's hurry is not a short reply: the rest is
  // still on its way, and taken for the next reply it would shift every
  // reply after it. The exchange counts as cut short and the rest is drained.
  if (r == 0 && got < expectedReplyLength && port.DeadlineShortened()) return LineResult::kFailed;
  return r == 0 ? LineResult::kOk : LineResult::kFailed;
}

// ---- Commands ----

MountResult ByteCommandMount::SendCommand(int axis, const uint8_t* request, uint32_t length,
                                          uint8_t* reply) {
  const LineResult r = Exchange(request, length, reply, kLineBothAxes);
  // Cut short for a stop: the motion it belonged to is over, the axis is not
  // judged by it.
  if (r == LineResult::kCutShort) return kUserInterrupt;
  return r == LineResult::kOk ? kOk : NoResponse(axis);
}

MountResult ByteCommandMount::ReadCount(int axis, uint32_t* count) {
  uint8_t request[byte_command::kMaxRequestLength];
  const size_t n = BuildRequest(AxisCommand(byte_command::OpReadPosition, axis), request);
  uint8_t reply[byte_command::kMaxReplyLength] = {};
  const MountResult r = SendCommand(axis, request, static_cast<uint32_t>(n), reply);
  if (r != kOk) return r;
  *count = UnpackCount24(reply);
  return kOk;
}

MountResult ByteCommandMount::ReadPosition(int axis, double* angle) {
  uint32_t count = 0;
  const MountResult r = ReadCount(axis, &count);
  if (r != kOk) return r;
  // The count is unsigned; 24 bits always fit the signed conversion.
  double a = ToRadians(axis, static_cast<int32_t>(count));
  if (axis == 0) a += azimuthOffset.load();
  *angle = NormalizeAngle(a);
  return kOk;
}

int32_t ByteCommandMount::CountInTurn(int axis, double angle) const {
  // The controller counts one turn from 0; a negative angle goes out as its
  // positive equivalent. The whole remainder is taken, so that an angle more
  // than a turn away (a large frame shift) still lands inside the turn.
  double a = std::fmod(angle, kTwoPi);
  if (a < 0.0) a += kTwoPi;
  if (a >= kTwoPi) a = 0.0;  // a tiny negative remainder rounded up to a turn
  return ToCounts(axis, a);
}

MountResult ByteCommandMount::GotoAngle(int axis, double angle) {
  const double controllerAngle = axis == 0 ? angle - azimuthOffset.load() : angle;
  const int32_t count = CountInTurn(axis, controllerAngle);
  lastRateNegative = false;
  uint8_t request[byte_command::kMaxRequestLength];
  const size_t n = BuildRequest(AxisCommand(byte_command::OpGoto, axis), count, request);
  return SendCommand(axis, request, static_cast<uint32_t>(n), nullptr);
}

MountResult ByteCommandMount::SetRate(int axis, double rate) {
  const int32_t wire = ToRateUnits(axis, rate);
  const byte_command::RateRequest out = byte_command::EncodeRate(wire, lastRateNegative);
  if (wire > 0) lastRateNegative = false;
  if (wire < 0) lastRateNegative = true;
  uint8_t request[byte_command::kMaxRequestLength];
  const size_t n = BuildRequest(AxisCommand(out.command, axis), out.magnitude, request);
  return SendCommand(axis, request, static_cast<uint32_t>(n), nullptr);
}

MountResult ByteCommandMount::QueryGotoDone(int* done) {
  uint8_t request[byte_command::kMaxRequestLength];
  const size_t n = BuildRequest(byte_command::OpGotoDoneQuery, request);
  uint8_t reply[byte_command::kMaxReplyLength] = {};
  const MountResult r = SendCommand(0, request, static_cast<uint32_t>(n), reply);
  if (r != kOk) return r;
  *done = reply[0] == byte_command::kGotoFinished ? 1 : 0;
  return kOk;
}

MountResult ByteCommandMount::StopGoto(int axis) {
  uint8_t request[byte_command::kMaxRequestLength];
  const size_t n = BuildRequest(AxisCommand(byte_command::OpStopGoto, axis), request);
  return SendCommand(axis, request, static_cast<uint32_t>(n), nullptr);
}

MountResult ByteCommandMount::PresetCount(int axis, double angle) {
  uint8_t request[byte_command::kMaxRequestLength];
  const size_t n = BuildRequest(AxisCommand(byte_command::OpPresetCount, axis),
                                CountInTurn(axis, angle), request);
  return SendCommand(axis, request, static_cast<uint32_t>(n), nullptr);
}

MountResult ByteCommandMount::SetCountsPerRevolution(int axis, uint32_t value) {
  uint8_t request[byte_command::kMaxRequestLength];
  const size_t n = BuildRequest(AxisCommand(byte_command::OpSetCountsPerRevolution, axis),
                                static_cast<int32_t>(value), request);
  return SendCommand(axis, request, static_cast<uint32_t>(n), nullptr);
}

MountResult ByteCommandMount::SendTwoDegreeCount(int32_t value) {
  uint8_t request[byte_command::kMaxRequestLength];
  const size_t n = BuildRequest(byte_command::OpTwoDegreeCount, value, request);
  return SendCommand(0, request, static_cast<uint32_t>(n), nullptr);
}

MountResult ByteCommandMount::SetPositionAxis1(double angle) {
  uint8_t request[byte_command::kMaxRequestLength];
  const size_t n = BuildRequest(byte_command::OpSetPositionAxis1, CountInTurn(1, angle), request);
  return SendCommand(1, request, static_cast<uint32_t>(n), nullptr);
}

// ---- Hardware slots ----

MountResult ByteCommandMount::ReadAxisPosition(int axis) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  double angle = 0.0;
  const MountResult r = ReadPosition(axis, &angle);
  if (r != kOk) return r;
  Axes().NotePosition(axis, angle);
  return kOk;
}

void ByteCommandMount::SetAxisState(int axis, uint32_t state) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  Axes().NoteState(axis, state);
  ++stateChanges_[axis];
}

void ByteCommandMount::CountStateChange(int axis) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  ++stateChanges_[axis];
}

MountResult ByteCommandMount::ReadAxisState(int axis) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  uint32_t changes = 0;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if ((Axes().State(axis) & AXIS_GOTO) == 0) return kOk;
    changes = stateChanges_[axis];
  }
  bool finished = false;
  if (axis == 0) {
    int done = 0;
    const MountResult r = QueryGotoDone(&done);
    if (r != kOk) return r;
    finished = done != 0;
  } else {
    const uint32_t now = platform::Now();
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      if (platform::TicksBetween(axis1GotoTick, now) <= static_cast<int32_t>(kAxis1SettleTicks)) {
        return kOk;
      }
    }
    double position = 0.0;
    const MountResult r = ReadPosition(1, &position);
    if (r != kOk) return r;
    Axes().NotePosition(1, position);
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (stateChanges_[1] != changes) return kOk;  // a newer command: its own poll decides
    if (position == axis1GotoPosition) {
      finished = true;
    } else {
      axis1GotoPosition = position;
      axis1GotoTick = now;
    }
  }
  if (!finished) return kOk;
  // A finished goto leaves the axis at rest, unless a command came while
  // the poll was on the line: its state stands.
  std::lock_guard<std::mutex> lock(stateMutex_);
  if (stateChanges_[axis] != changes) return kOk;
  Axes().NoteState(axis, AXIS_STOPPED);
  ++stateChanges_[axis];
  SIDERA_DEBUG_LOG(kMotion, "byte-command goto of axis %d finished (%s)", axis,
                   axis == 0 ? "the controller says so" : "two equal reads a second apart");
  return kOk;
}

MountResult ByteCommandMount::Connect() {
  // Only commands with a reply show that a controller is there.
  for (int axis = 0; axis < 2; ++axis) {
    if (ReadAxisPosition(axis) != kOk) {
      SIDERA_DEBUG_LOG(kIo, "byte-command connect: no answer to the axis-%d position read", axis);
      return NoResponse(axis);
    }
    // A byte-command controller answers a position read with exactly three
    // bytes. Fewer (an echoing packet bus hands back the request byte) is
    // another kind of controller, refused as bad data.
    if (lastReplyBytes != byte_command::kPositionReplyLength) {
      SIDERA_DEBUG_LOG(kIo,
                       "byte-command connect: the axis-%d position reply is %u bytes, not %u: "
                       "not a byte-command controller",
                       axis, lastReplyBytes.load(), byte_command::kPositionReplyLength);
      return kInvalidParameter;
    }
  }
  (void)SetCountsPerRevolution(0, countsPerRevolution);
  (void)SetCountsPerRevolution(1, countsPerRevolution);
  for (int axis = 0; axis < 2; ++axis) {
    const MountResult r = PresetCount(axis, 0.0);
    if (r != kOk) return r;
  }
  platform::Sleep(kConnectPauseTicks);
  (void)SendTwoDegreeCount(ToCounts(0, DegToRad(2.0)));
  return kOk;
}

MountResult ByteCommandMount::SlewAxisAtRate(int axis, double rate) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  if (rate >= 0.0) {
    Axes().NoteDirection(axis, true);
    SetAxisState(axis, AXIS_RATE_MOTION | AXIS_POSITIVE);
  } else {
    Axes().NoteDirection(axis, false);
    SetAxisState(axis, AXIS_RATE_MOTION);
  }
  const MountResult r = SetRate(axis, rate);
  CountStateChange(axis);
  return r;
}

void ByteCommandMount::RecordCommandedAngle(int axis, double angle) {
  Axes().NoteCommandedAngle(axis, angle);
}

MountResult ByteCommandMount::GotoAxisAngle(int axis, double angle) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  RecordCommandedAngle(axis, angle);
  SetAxisState(axis, AXIS_GOTO | AXIS_HIGH_SPEED);
  Axes().NoteRate(axis, DegToRad(kGotoRateDeg));
  if (axis == 1) {
    // The starting point of the settle test; a failed read keeps the last
    // known position, which serves as well.
    (void)ReadAxisPosition(1);
    std::lock_guard<std::mutex> lock(stateMutex_);
    axis1GotoPosition = Axes().Position(1);
    axis1GotoTick = platform::Now();
  }
  const MountResult r = GotoAngle(axis, angle);
  CountStateChange(axis);
  return r;
}

MountResult ByteCommandMount::HaltAxis(int axis) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  const UrgentExchanges stop;
  const MountResult r = (Axes().State(axis) & AXIS_GOTO) != 0 ? StopGoto(axis) : SetRate(axis, 0.0);
  if (r != kOk) return r;
  SetAxisState(axis, AXIS_STOPPED);
  return kOk;
}

MountResult ByteCommandMount::WriteAxisPosition(int axis, double angle) {
  if (!ValidAxis(axis)) return kInvalidParameter;
  if (axis == 1) return SetPositionAxis1(angle);
  if (angle < 0.0) angle += kTwoPi;
  uint32_t count = 0;
  const MountResult r = ReadCount(0, &count);
  if (r != kOk) return r;
  const double controllerAngle = NormalizeAngle(count * radiansPerCount[0]);
  azimuthOffset = angle - controllerAngle;
  return kOk;
}

}  // namespace sidera
