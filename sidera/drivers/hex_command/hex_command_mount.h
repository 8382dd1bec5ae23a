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
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
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
  // A stop of both axes: both halts go onto the line ahead of any other
  // request, back to back, and their replies are read after.
  void HaltBothAxes(MountResult results[2]) override;
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
  // The controllers answer every request with one reply line, in the order
  // the requests came, and an inquiry's answer (with data) can be told from
  // a command's (without). A request whose reply did not come in time (a
  // time-out, or a wait cut short for a stop) owes it for kOwedReplyWait
  // after it was sent: a reader drops the owed lines that come before its
  // own, and a request whose answer would look like an owed one's first
  // waits for those to come (DrainLateReply), until the late reply is no
  // longer expected.
  static constexpr std::chrono::milliseconds kOwedReplyWait = kExchangeDeadline + kLateReplyWait;
  // Keeps the request's command letter for the reply reader.
  LineResult Write(const uint8_t* bytes, uint32_t length) override;
  void NoteWrittenAhead(const uint8_t* bytes, uint32_t length,
                        std::chrono::steady_clock::time_point at) override;
  // Reads the reply line of the oldest request of the exchange not yet
  // answered, dropping owed lines that cannot answer it.
  LineResult ReadReply(uint8_t* reply) override;
  // Takes owed reply lines off the line until none owed looks like the
  // answer to the request about to go out.
  bool DrainLateReply() override;
  // True when no reply still owed looks like the answer `next` gets, and
  // for every stop.
  bool LateReplyTellsApart(const uint8_t* next, uint32_t length) override;
  bool LateReplyMayFollowTimeOut() const override { return leftOwed_; }
  // A reply that timed out or was cut short is drained for as long as it
  // is owed.
  std::chrono::milliseconds CutReplyWait() const override { return kOwedReplyWait; }
  std::chrono::milliseconds TimedOutReplyWait() const override { return kOwedReplyWait; }
  bool RepliesInOrder() const override { return true; }
  // A reply still owed may already wait to be read.
  bool MayPurgeInput() const override { return owed_.empty(); }
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
  // A request whose reply is still to come, and until when it may come.
  struct OwedReply {
    char letter;
    int axis;
    std::chrono::steady_clock::time_point until;
  };
  // The answer of one request's exchange: kUserInterrupt cut short for a
  // stop, the axis's code without a reply, 4 refused; else 0.
  MountResult JudgeReply(int axis, char letter, LineResult sent, const uint8_t* reply);

  // Drops the owed replies whose time is up, and those of a controller
  // judged silent.
  void ForgetExpiredOwed();
  // Whether a reply still owed looks like the answer to `letter`.
  bool OwesLike(char letter) const;
  // Whether the reply `line` answers the request read for (its `letter`;
  // kNoRequest while draining) rather than an owed earlier one; drops the
  // owed requests the line shows answered or lost.
  static constexpr int kNoRequest = -1;
  bool ClaimLine(const uint8_t* line, int letter);
  // The request `bytes` went out at `at`: its reply is the next one owed
  // to this exchange.
  void NoteAsked(const uint8_t* bytes, uint32_t length, std::chrono::steady_clock::time_point at);

  // With the line held only: the requests written in this exchange and not
  // yet answered, oldest first (each with until when its reply may come);
  // the replies owed by earlier requests; whether the exchange's reads left
  // a reply owed; the letter of the request about to go out.
  std::deque<OwedReply> asked_;
  std::deque<OwedReply> owed_;
  bool leftOwed_ = false;
  char nextLetter_ = 0;
  // State reads and commands run on the host's thread and on the motion
  // threads at once. A status reply replaces the axis state only if no command
  // changed the state while the query was on the line.
  std::mutex stateMutex_;
  uint32_t stateChanges_[2] = {0, 0};  // guarded by stateMutex_
};

}  // namespace sidera
