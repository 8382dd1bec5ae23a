// The packet-bus family base: the hardware slots of a mount over the bus
// messages of its two motor controllers.
#include "sidera/drivers/packet_bus/packet_bus_mount.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "platform/debug_log.h"
#include "sidera/core/angles.h"
#include "sidera/drivers/packet_bus/packet.h"
#include "sidera/link/count24.h"
#include "sidera/link/exchange_scope.h"

namespace sidera {

namespace {

// Quarter arc-seconds per radian.
constexpr double kRateUnitsPerRadian = 4.0 / kPi * 180.0 * 60.0 * 60.0;
// 2^24 counts per turn.
constexpr double kCountsPerRadian = 8388608.0 / kPi;

// Rates the controllers run a goto at, for the host's state display.
constexpr double kFastGotoRateDeg = 4.0;
constexpr double kSlowGotoRateDeg = 0.5;

}  // namespace

PacketBusMount::PacketBusMount(const PortAddress& port) : SerialLink(port) {
  (void)ApplyBaudRate(19200);
  for (int axis = 0; axis < 2; ++axis) {
    countsPerRadian[axis] = kCountsPerRadian;
    radiansPerCount[axis] = 1.0 / kCountsPerRadian;
    rateUnitsPerRadian[axis] = kRateUnitsPerRadian;
  }
  Rates().UseTakeUpRate(32.0 * kSiderealRate);
  RefineEquatorialGotos(true);
}

// The port itself is closed by the link's destructor, after this one; the
// model destructors have stopped every worker thread by then.
PacketBusMount::~PacketBusMount() = default;

// ---- Line handling ----

LineReady PacketBusMount::BeginTransmit() {
  if (!noHandshake && !WaitForCtsOff(2)) return LineReady::kNo;
  SetRts(true);
  (void)port.Purge(false, true);
  (void)port.Purge(true, false);
  return LineReady::kYes;
}

LineReady PacketBusMount::FinishWrite() {
  // The shared line echoes what we sent; read it back and drop it unchecked.
  uint8_t echo[packet_bus::kPacketBufferSize];
  const size_t length = std::min<size_t>(lastWriteLength, sizeof echo);
  size_t got = 0;
  (void)port.Read(echo, length, &got);
  SetRts(false);
  return LineReady::kYes;
}

namespace {

// The port's bytes, counted: a reply of which no byte came may still come.
class CountingSource : public ByteSource {
 public:
  explicit CountingSource(platform::SerialPort& port) : port_(port) {}
  size_t Read(uint8_t* data, size_t length) override {
    const size_t got = port_.Read(data, length);
    count += got;
    return got;
  }
  size_t count = 0;

 private:
  PortByteSource port_;
};

}  // namespace

LineResult PacketBusMount::ReadReply(uint8_t* reply) {
  CountingSource source(port);
  uint8_t packet[packet_bus::kPacketBufferSize] = {};
  for (;;) {
    source.count = 0;
    if (packet_bus::ReadReply(source, packet) != 0) {
      replyUnbegun_ = source.count == 0;
      return LineResult::kFailed;
    }
    if (!MayMeetLateReply() || packet_bus::Answers(requestHeader_, packet)) break;
    SIDERA_DEBUG_LOG(kIo, "packet dropped: it answers an earlier request, not id %02X",
                     requestHeader_[4]);
    LateReplyTaken();
  }
  if (reply != nullptr) std::copy(packet, packet + packet[1] + 3, reply);
  return LineResult::kOk;
}

LineResult PacketBusMount::Write(const uint8_t* bytes, uint32_t length) {
  replyUnbegun_ = false;
  std::fill(std::begin(requestHeader_), std::end(requestHeader_), 0);
  std::copy(bytes, bytes + std::min<uint32_t>(length, packet_bus::kDataOffset), requestHeader_);
  return SerialLink::Write(bytes, length);
}

bool PacketBusMount::DrainLateReply() {
  uint8_t scratch[packet_bus::kPacketBufferSize] = {};
  return ReadReply(scratch) == LineResult::kOk;
}

bool PacketBusMount::LateReplyTellsApart(const uint8_t* next, uint32_t length) {
  // requestHeader_ is still the header of the request cut short.
  return length > 4 && (next[3] != requestHeader_[3] || next[4] != requestHeader_[4]);
}

void PacketBusMount::EndTransmit() { SetRts(false); }

// ---- Messages ----

MountResult PacketBusMount::SendPacket(int axis, uint8_t id, const uint8_t* data, size_t length,
                                       uint8_t* reply) {
  uint8_t request[packet_bus::kPacketBufferSize];
  const size_t size = packet_bus::BuildRequest(axis, id, data, length, request);
  if (size == 0) return NoResponse(axis);
  const LineResult r = Exchange(request, static_cast<uint32_t>(size), reply, LineAxis(axis));
  // Cut short for a stop: the motion it belonged to is over, the axis is not
  // judged by it.
  if (r == LineResult::kCutShort) return kUserInterrupt;
  return r == LineResult::kOk ? kOk : NoResponse(axis);
}

MountResult PacketBusMount::SendGoto(int axis, double angle, bool fast) {
  uint8_t data[3];
  PackCount24(static_cast<uint32_t>(ToCounts(axis, NormalizeAngle(angle))), data);
  return SendPacket(axis, fast ? packet_bus::kGotoFast : packet_bus::kGotoSlow, data, 3, nullptr);
}

MountResult PacketBusMount::SendSetPosition(int axis, double angle) {
  uint8_t data[3];
  PackCount24(static_cast<uint32_t>(ToCounts(axis, NormalizeAngle(angle))), data);
  return SendPacket(axis, packet_bus::kSetPosition, data, 3, nullptr);
}

MountResult PacketBusMount::SendRate(int axis, double rate) {
  const int32_t units = ToRateUnits(axis, rate);
  if (units > 0) Axes().NoteDirection(axis, true);
  if (units < 0) Axes().NoteDirection(axis, false);
  const packet_bus::RateCommand cmd =
      packet_bus::EncodeRate(units, Axes().LastDirectionPositive(axis));
  return SendPacket(axis, cmd.id, cmd.data, 3, nullptr);
}

MountResult PacketBusMount::QueryGotoDone(int axis, int32_t* done) {
  uint8_t reply[packet_bus::kPacketBufferSize] = {};
  const MountResult r = SendPacket(axis, packet_bus::kGotoDoneQuery, nullptr, 0, reply);
  if (r != kOk) return r;
  // A reply without the data byte carries no answer.
  if (packet_bus::ReplyDataLength(reply) < 1) return NoResponse(axis);
  *done = static_cast<int8_t>(reply[packet_bus::kDataOffset]);
  return kOk;
}

MountResult PacketBusMount::SendApproach(int axis, uint8_t value) {
  return SendPacket(axis, packet_bus::kSetApproach, &value, 1, nullptr);
}

MountResult PacketBusMount::QueryVersion(int axis, uint32_t* version) {
  uint8_t reply[packet_bus::kPacketBufferSize] = {};
  const MountResult r = SendPacket(axis, packet_bus::kGetVersion, nullptr, 0, reply);
  if (r != kOk) return r;
  if (packet_bus::ReplyDataLength(reply) < 2) return NoResponse(axis);
  const uint8_t* d = reply + packet_bus::kDataOffset;
  *version = (static_cast<uint32_t>(d[0]) << 16) | (static_cast<uint32_t>(d[1]) << 8);
  return kOk;
}

MountResult PacketBusMount::SendSetting10(int axis, uint8_t value) {
  return SendPacket(axis, packet_bus::kSetting10, &value, 1, nullptr);
}

MountResult PacketBusMount::SendSetting11(int axis, uint8_t value) {
  return SendPacket(axis, packet_bus::kSetting11, &value, 1, nullptr);
}

MountResult PacketBusMount::QueryPosition(int axis, double* angle) {
  uint8_t reply[packet_bus::kPacketBufferSize] = {};
  const MountResult r = SendPacket(axis, packet_bus::kGetPosition, nullptr, 0, reply);
  if (r != kOk) return r;
  // A reply too short to hold a position must not be decoded as one.
  if (packet_bus::ReplyDataLength(reply) < 3) return NoResponse(axis);
  *angle = ToRadians(axis, UnpackSignedCount24(reply + packet_bus::kDataOffset));
  return kOk;
}

// ---- Hardware slots ----

MountResult PacketBusMount::ReadAxisPosition(int axis) {
  double angle = 0.0;
  const MountResult r = QueryPosition(axis, &angle);
  if (r != kOk) return r;
  Axes().NotePosition(axis, angle);
  return kOk;
}

void PacketBusMount::SetAxisState(int axis, uint32_t state) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  Axes().NoteState(axis, state);
  ++stateChanges_[axis];
}

void PacketBusMount::CountStateChange(int axis) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  ++stateChanges_[axis];
}

MountResult PacketBusMount::ReadAxisState(int axis) {
  uint32_t changes = 0;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    // Only a goto ends by itself; a rate motion is never ended by polling.
    if ((Axes().State(axis) & AXIS_GOTO) == 0) return kOk;
    changes = stateChanges_[axis];
  }
  int32_t done = 0;
  const MountResult r = QueryGotoDone(axis, &done);
  if (r != kOk) return r;
  if (done != 0) {
    // The answer is about the goto whose state was read. Another thread
    // may have commanded a new goto (or a rate, or a halt) meanwhile; its
    // state stands.
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (stateChanges_[axis] == changes) {
      Axes().NoteState(axis, AXIS_STOPPED);
      ++stateChanges_[axis];
    }
  }
  return kOk;
}

MountResult PacketBusMount::Connect() {
  noHandshake = ProbeHandshake() == LineReady::kNo;

  for (int axis = 0; axis < 2; ++axis) {
    uint32_t version = 0;
    const MountResult r = QueryVersion(axis, &version);
    if (r != kOk) return r;
    firmwareVersion = version;  // axis 1's value, read last, remains
  }
  for (int axis = 0; axis < 2; ++axis) {
    const MountResult r = SendApproach(axis, 0);
    if (r != kOk) return r;
  }
  for (int axis = 0; axis < 2; ++axis) {
    MountResult r = SendSetting10(axis, 0);
    if (r != kOk) return r;
    r = SendSetting11(axis, 0);
    if (r != kOk) return r;
  }
  // Fresh positions for the host; a failure here shows up at the next read.
  double ignored = 0.0;
  (void)GetAxisPosition(0, &ignored);
  (void)GetAxisPosition(1, &ignored);
  return kOk;
}

MountResult PacketBusMount::SlewAxisAtRate(int axis, double rate) {
  if (rate >= 0.0) {
    Axes().NoteDirection(axis, true);
    SetAxisState(axis, AXIS_RATE_MOTION | AXIS_POSITIVE);
  } else {
    Axes().NoteDirection(axis, false);
    SetAxisState(axis, AXIS_RATE_MOTION);
  }
  return SendRate(axis, rate);
}

MountResult PacketBusMount::GotoAxisAngle(int axis, double angle) {
  return GotoInControllerFrame(axis, angle, NormalizeAngle(angle));
}

MountResult PacketBusMount::GotoInControllerFrame(int axis, double angle, double wireAngle) {
  Axes().NoteCommandedAngle(axis, angle);
  const MountResult r = ReadAxisPosition(axis);
  if (r != kOk) return r;
  const double delta = angle - Axes().Position(axis);

  // The final approach direction; a lost approach byte only costs accuracy.
  (void)SendApproach(axis, delta >= 0.0 ? 0 : 1);

  const bool fast = std::fabs(delta) > 1.5 * GetGotoParameters().approachDistance;
  SetAxisState(axis, fast ? (AXIS_GOTO | AXIS_HIGH_SPEED) : AXIS_GOTO);
  Axes().NoteRate(axis, DegToRad(fast ? kFastGotoRateDeg : kSlowGotoRateDeg));
  const MountResult sent = SendGoto(axis, wireAngle, fast);
  CountStateChange(axis);
  return sent;
}

MountResult PacketBusMount::HaltAxis(int axis) {
  const UrgentExchanges stop;
  const MountResult r = SendRate(axis, 0.0);
  if (r != kOk) return r;
  SetAxisState(axis, AXIS_STOPPED);
  return kOk;
}

MountResult PacketBusMount::WriteAxisPosition(int axis, double angle) {
  // The recorded position follows at the next read.
  return SendSetPosition(axis, angle);
}

}  // namespace sidera
