// The family base of the packet-bus mounts: two motor controllers, one per
// axis, on a shared half-duplex serial line at 19200 baud.
//
// PacketBusMount is its own serial link (first base) and implements the
// hardware slots of the mount over the bus messages: read an axis, poll a
// goto, connect, move at a rate, go to an angle, halt, set a position. Each
// message is one `Exchange` under the link lock; a slot that sends several
// messages does not hold the lock between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "sidera/core/telescope_mount.h"
#include "sidera/drivers/packet_bus/packet.h"
#include "sidera/link/serial_link.h"

namespace sidera {

class PacketBusMount : public SerialLink, public virtual TelescopeMount {
 public:
  // Opens the port at `port` (the factory hands down the host's choice).
  explicit PacketBusMount(const PortAddress& port = {});
  ~PacketBusMount() override;

  LineHealth* Line() override { return &health; }

  // ---- Hardware slots. ----
  MountResult ReadAxisPosition(int axis) override;
  MountResult ReadAxisState(int axis) override;
  MountResult Connect() override;
  MountResult SlewAxisAtRate(int axis, double rate) override;
  MountResult GotoAxisAngle(int axis, double angle) override;
  // A stop: its packet goes onto the line ahead of any other.
  MountResult HaltAxis(int axis) override;
  MountResult WriteAxisPosition(int axis, double angle) override;

  // ---- Turning the shared line around, inside one exchange. ----
  // Waits (unless the far end has no handshake) up to 20 ticks for CTS to
  // drop, raises RTS and clears both buffers. kNo when the bus stayed busy.
  LineReady BeginTransmit() override;
  // Reads back and drops the echo of the request, then lowers RTS.
  LineReady FinishWrite() override;
  // Keeps the request's address and id for the reply reader.
  LineResult Write(const uint8_t* bytes, uint32_t length) override;
  // Reads one packet; shortly after an exchange was cut short for a stop,
  // reads until one that answers the request (packet_bus::Answers): the late
  // answer to the request cut short is dropped.
  LineResult ReadReply(uint8_t* reply) override;
  // The late reply of a request cut short for a stop is one packet.
  bool DrainLateReply() override;
  // Replies from another controller or with another id are told apart.
  bool LateReplyTellsApart(const uint8_t* next, uint32_t length) override;
  // A reply of which no byte came in time may come late: it is then told
  // apart or drained like the late reply of a request cut short.
  bool LateReplyMayFollowTimeOut() const override { return replyUnbegun_; }
  void EndTransmit() override;

  // ---- Bus messages. Each returns 0 or the addressed axis's no-response
  // code (100/101); out-values are written only on success. ----
  MountResult SendPacket(int axis, uint8_t id, const uint8_t* data, size_t length, uint8_t* reply);
  // Angles go out reduced into one turn (the controller counts 2^24 a turn).
  MountResult SendGoto(int axis, double angle, bool fast);
  MountResult SendSetPosition(int axis, double angle);
  // Records the last direction from a nonzero rate; a rate that
  // truncates to zero goes out in the remembered direction.
  MountResult SendRate(int axis, double rate);
  // The controller's answer as a signed byte; nonzero = goto finished.
  MountResult QueryGotoDone(int axis, int32_t* done);
  MountResult SendApproach(int axis, uint8_t value);
  // (major << 16) | (minor << 8).
  MountResult QueryVersion(int axis, uint32_t* version);
  MountResult SendSetting10(int axis, uint8_t value);
  MountResult SendSetting11(int axis, uint8_t value);
  // The controller's angle of the axis, in [-pi, pi).
  MountResult QueryPosition(int axis, double* angle);

 protected:
  // The goto body: records the commanded angle, reads the axis, chooses the
  // approach direction and the fast or slow goto by the distance, and sends
  // `wireAngle` (the angle in the controller's frame, within [-pi, pi]).
  MountResult GotoInControllerFrame(int axis, double angle, double wireAngle);
  // Records the axis state and counts the change, so that a goto poll can
  // tell whether the state it read is still current when its reply comes.
  void SetAxisState(int axis, uint32_t state);
  // Counts a change without one of the state: a command that set the state
  // before it went out has now gone out, so a poll that read the state in
  // between asked the controller about the motion before it.
  void CountStateChange(int axis);

 private:
  std::mutex stateMutex_;
  uint32_t stateChanges_[2] = {0, 0};  // guarded by stateMutex_
  // The header of the latest request written (up to its id); under lineLock.
  uint8_t requestHeader_[packet_bus::kDataOffset] = {};
  // The latest reply read failed before any byte of it came; under lineLock.
  bool replyUnbegun_ = false;
};

}  // namespace sidera
