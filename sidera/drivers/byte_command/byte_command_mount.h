// The family base of the byte-command mounts: one controller for both axes
// on a point-to-point serial line at 4800 baud.
//
// ByteCommandMount is its own serial link (first base) and implements the
// hardware slots of the mount over the controller's commands. Each command
// is one `Exchange` under the link lock. The controller can report the end
// of an axis-0 goto only; an axis-1 goto counts as finished when two reads
// more than a second apart find the axis at the same position. The
// controller has no command to set the axis-0 position, so an axis-0 sync
// shifts the host's frame (azimuthOffset) instead.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "sidera/core/telescope_mount.h"
#include "sidera/drivers/byte_command/byte_command.h"
#include "sidera/link/serial_link.h"

namespace sidera {

class ByteCommandMount : public SerialLink, public virtual TelescopeMount {
 public:
  // Opens the port at `port` (the factory hands down the host's choice).
  explicit ByteCommandMount(const PortAddress& port = {});
  ~ByteCommandMount() override;

  LineHealth* Line() override { return &health; }

  // ---- Hardware slots. ----
  MountResult ReadAxisPosition(int axis) override;
  // Ends a goto whose completion the controller shows; see the class note.
  MountResult ReadAxisState(int axis) override;
  // Reads both axes (the controller must answer), sets the counts per
  // revolution, presets both counts to 0 and sends the count of 2 degrees (opcode 14).
  MountResult Connect() override;
  MountResult SlewAxisAtRate(int axis, double rate) override;
  MountResult GotoAxisAngle(int axis, double angle) override;
  // Stop-goto during a goto, otherwise a zero rate; a stop, so it goes onto
  // the line ahead of any other request.
  MountResult HaltAxis(int axis) override;
  // Axis 1: sets the controller's count. Axis 0: shifts azimuthOffset so
  // that the axis reads `angle` now; nothing is sent to change the
  // controller.
  MountResult WriteAxisPosition(int axis, double angle) override;

  // ---- Turning the line around, inside one exchange. ----
  // Raises RTS, which stays raised.
  LineReady BeginTransmit() override;
  // Writes the request and notes the length of the reply its command byte
  // gets, so that the reader reads exactly that many bytes.
  LineResult Write(const uint8_t* bytes, uint32_t length) override;
  LineResult ReadReply(uint8_t* reply) override;
  // Only position reads and the goto-done query get a reply.
  bool ReplyExpected() const override { return expectedReplyLength != 0; }
  // Replies carry no framing, so a late one is drained by quiet time before
  // any request that has a reply; one without a reply (a halt) cannot take
  // it and goes out at once.
  bool LateReplyTellsApart(const uint8_t* next, uint32_t length) override {
    return length > 0 && byte_command::ReplyLength(next[0]) == 0;
  }
  // A reply of which no byte came in time may come late.
  bool LateReplyMayFollowTimeOut() const override {
    return expectedReplyLength != 0 && lastReplyBytes == 0;
  }
  // The reply to a request a stop cut short is drained for as long as one
  // that timed out: nothing tells it from the next request's reply, and a
  // slow controller answers after the read time-out as readily in either
  // case. Only a reply that never comes costs the wait, and only the next
  // request that has a reply of its own (a halt goes out at once).
  std::chrono::milliseconds CutReplyWait() const override { return TimedOutReplyWait(); }

  // ---- Controller commands. Each returns 0 or the addressed axis's
  // no-response code (100/101); out-values are written only on success.
  // One controller answers for both axes, so what one exchange shows of the
  // line counts for both. ----
  MountResult SendCommand(int axis, const uint8_t* request, uint32_t length, uint8_t* reply);
  // The host's angle of the axis in [-pi, pi] (axis 0 shifted by
  // azimuthOffset).
  MountResult ReadPosition(int axis, double* angle);
  MountResult GotoAngle(int axis, double angle);
  MountResult SetRate(int axis, double rate);
  // 1 when the controller reports the axis-0 goto finished, else 0.
  MountResult QueryGotoDone(int* done);
  MountResult StopGoto(int axis);
  MountResult PresetCount(int axis, double angle);
  MountResult SetCountsPerRevolution(int axis, uint32_t value);
  MountResult SendTwoDegreeCount(int32_t value);
  MountResult SetPositionAxis1(double angle);

  // ---- Fields. ----
  // Reply bytes the exchange in progress reads; written by `Write` and read
  // by `ReadReply`, both under the link lock.
  uint32_t expectedReplyLength = 0;
  // Bytes the last reply brought (ReadReply, under the link lock); the
  // connect checks that its reads are complete.
  std::atomic<uint32_t> lastReplyBytes{0};
  // 1 when the last nonzero rate sent, on either axis, was negative; a zero
  // rate then goes out with the negative command. Any thread that sends.
  std::atomic<bool> lastRateNegative{false};
  // The axis-1 position at the latest record of an axis-1 goto, and its
  // tick. Guarded by stateMutex_.
  double axis1GotoPosition = 0.0;
  uint32_t axis1GotoTick = 0;
  // The model's N; set by the model constructor.
  uint32_t countsPerRevolution = 0;
  // Added to the controller's axis-0 angle to give the host's. Written by
  // WriteAxisPosition(0), read by every thread.
  std::atomic<double> azimuthOffset{0.0};

 protected:
  // Sets N and the conversion factors of both axes from it.
  void SetGearing(uint32_t counts);

 private:
  // The controller's raw position count of the axis.
  MountResult ReadCount(int axis, uint32_t* count);
  // The count of `angle` taken into one turn [0, 2 pi).
  int32_t CountInTurn(int axis, double angle) const;
  // Records the angle a goto commands for the axis.
  void RecordCommandedAngle(int axis, double angle);

  // Records the axis state and counts the change; CountStateChange counts one
  // without a new state (the command that set it has now gone out). A
  // completion poll applies what it learnt only when no change was counted
  // since it read the state, so it never ends a goto on a reply older than
  // the goto's command, and no command ever waits for a poll.
  void SetAxisState(int axis, uint32_t state);
  void CountStateChange(int axis);

  std::mutex stateMutex_;  // held only to read or change the state and its count
  uint32_t stateChanges_[2] = {0, 0};
};

}  // namespace sidera
