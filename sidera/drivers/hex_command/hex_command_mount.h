// The family base of the hex-command mounts: one motor controller per axis
// on one serial line at 9600 baud, spoken to in short ASCII command lines.
//
// HexCommandMount is its own serial link (first base) and implements the
// hardware slots of the mount with the controllers' commands: connect, read
// an axis position and state, move at a rate, go to an angle (a relative
// move by a step count), halt, set a position, and the two hooks the motion
// code calls: stop both axes before a goto, prepare a rate motion. Each
// command is one `Exchange` under the link lock; a slot that sends several
// commands does not hold the lock between them.
//
// Threads. The conversion factors, the controller's figures and the flags
// below are written by Connect, on the host thread, before any motion
// thread of the mount exists, and only read afterwards.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "sidera/core/telescope_mount.h"
#include "sidera/link/serial_link.h"

namespace sidera {

// Axis-state flags of this family beyond the common four.
inline constexpr uint32_t AXIS_NOT_INITIALIZED = AXIS_FAMILY_32;

class HexCommandMount : public SerialLink, public virtual TelescopeMount {
 public:
  // How long (ticks) the preparation of a rate motion waits for a halted
  // axis to report that it stands still before it gives up with the axis's
  // no-response code. A controller brakes from its top speed in well under
  // a second; ten times that covers any mount that works.
  static constexpr uint32_t kStopWaitLimitTicks = 10000;
  // Poll interval of the stop waits.
  static constexpr uint32_t kStopPollTicks = 100;
  // Steps sent with SetBrakeIncrement.
  static constexpr uint32_t kBrakeSteps = 3500;

  // Opens the port at `port` (the factory hands down the host's choice).
  explicit HexCommandMount(const PortAddress& port = {});
  ~HexCommandMount() override;

  LineHealth* Line() override { return &health; }

  // ---- Hardware slots. ----
  MountResult ReadAxisPosition(int axis) override;
  MountResult ReadAxisState(int axis) override;
  // Stops both axes and waits until the controllers report them stopped;
  // 105 when the motion is called off meanwhile, the no-response code of an
  // axis that still runs kStopWaitLimitTicks after its halt.
  MountResult HaltAxesBeforeGoto(uint32_t command) override;
  MountResult Connect() override;
  MountResult SlewAxisAtRate(int axis, double rate) override;
  // A relative move: the step count of the way from where the axis stands
  // to `angle`, a way of less than one turn in the direction it points (an
  // angle whole turns away is the same place of the axis).
  MountResult GotoAxisAngle(int axis, double angle) override;
  // A stop: it goes onto the line ahead of any other request.
  MountResult HaltAxis(int axis) override;
  MountResult WriteAxisPosition(int axis, double angle) override;

  // Prepares a rate motion at `rate`: a running slow motion that keeps its
  // direction is left running (it only gets a new step period); anything
  // else is halted and, once the controller reports it stopped, set to the
  // slow or fast rate mode in the new direction. The wait for the stop holds
  // no lock: a stop or a newer command meanwhile ends it (inside SendIf the
  // next poll is held back), and nothing of the motion is sent after it.
  MountResult PrepareRateMotion(int axis, double rate) override;
  // Halts the axis and waits until it reports stopped (a failed read, a
  // shutdown or kStopWaitLimitTicks end the wait with a code).
  MountResult HaltAndAwaitStop(int axis);

  // ---- Line handling. ----
  // Keeps the request's command letter for the reply reader.
  LineResult Write(const uint8_t* bytes, uint32_t length) override;
  // Reads one reply line; shortly after an exchange was cut short for a
  // stop, reads until one that can answer the request (ReplyFits): the late
  // answer to the request cut short is dropped.
  LineResult ReadReply(uint8_t* reply) override;
  // The late reply of a request cut short for a stop is one reply line.
  bool DrainLateReply() override;
  // An inquiry's answer and a command's are told apart (ReplyFits).
  bool LateReplyTellsApart(const uint8_t* next, uint32_t length) override;
  // InitializeAxis on axis 0, then on axis 1; the first failure or 0.
  virtual MountResult InitializeAxes();
  // Finds out whether the line echoes what is sent: writes ":" outside any
  // exchange and looks for it coming back. Sets and returns lineEchoes; true
  // without a change when the link stayed busy.
  bool ProbeEcho();

  // ---- Commands. Each is one exchange; 100/101 when the axis did not
  // answer, 4 when it refused or a reply that must be decoded is malformed.
  MountResult SendHexCommand(int axis, char letter, const char* data, size_t length,
                             uint8_t* reply);
  MountResult InquireVersion(int axis);
  MountResult InquireCountsPerRevolution(int axis);
  MountResult InquireTimerFrequency(int axis);
  MountResult InquireHighSpeedRatio(int axis);
  MountResult InquireSValue(int axis);
  MountResult InquirePosition(int axis);
  MountResult InquireStatus(int axis);
  MountResult InitializeAxis(int axis);
  MountResult SetMotionMode(int axis, char type, bool negative);
  MountResult SetGotoIncrement(int axis, uint32_t steps);
  MountResult SetBrakeIncrement(int axis, uint32_t steps);
  MountResult SetStepPeriod(int axis, uint32_t period);
  MountResult StartMotion(int axis);
  MountResult StopMotion(int axis);
  MountResult StopInstantly(int axis);
  // The angle's count, reduced by whole turns when it would not fit the
  // controller's 24-bit position.
  MountResult LoadPosition(int axis, double angle);

  // ---- Fields (countsPerRadian and radiansPerCount are the link's). ----
  // A rate of r rad/s needs a step period of stepPeriodFactor / r ticks.
  double stepPeriodFactor[2] = {0.0, 0.0};
  uint32_t modelCode = 0;  // low byte of firmwareVersion
  uint32_t timerFrequency[2] = {0, 0};
  uint32_t sValue[2] = {0, 0};  // stored only
  uint32_t highSpeedRatio[2] = {0, 0};
  uint32_t brakeSteps[2] = {0, 0};
  // Largest goto, in steps, sent as a short goto.
  uint32_t shortGotoLimit[2] = {0, 0};
  bool lineEchoes = false;
  // HaltAxis sends StopInstantly instead of StopMotion.
  bool useInstantStop = false;
  // The direction characters of SetMotionMode get 2 added. Written by the
  // equatorial model whenever the site changes (any thread), read by every
  // command that sets a mode.
  std::atomic<bool> southernHemisphere{false};

 protected:
  // The controller's angle of the axis (its count x radiansPerCount).
  MountResult QueryAxisAngle(int axis, double* angle);
  // The state a command of this driver gives the axis: the bits in `keep`
  // stay, those in `set` are added. Counted, so that a status reply already
  // on its way when the command went out does not overwrite it.
  void CommandAxisState(int axis, uint32_t keep, uint32_t set);

 private:
  // State reads and commands run on the host's thread and on the motion
  // threads at once. A status reply replaces the axis state only if no command
  // changed the state while the query was on the line.
  std::mutex stateMutex_;
  // The command letter of the latest request written; under lineLock.
  char requestLetter_ = 0;
  uint32_t stateChanges_[2] = {0, 0};  // guarded by stateMutex_
};

}  // namespace sidera
