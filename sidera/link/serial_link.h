// The serial transport of every hardware mount.
//
// A hardware mount class derives from SerialLink first (non-virtually), so
// one object is both the mount and its port. The constructor opens and
// configures the port; the destructor closes it. `Exchange` sends one request
// and collects its reply under the link lock, so the host thread and the
// motion threads can share the port. How the line is turned around (RTS/CTS
// handshake, echo, reply framing) is decided by the virtual operations, which
// each protocol family overrides.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/serial_port.h"
#include "sidera/link/line_health.h"
#include "sidera/link/line_lock.h"

namespace sidera {

// The outcome of a line operation that does something: `Exchange`, `Write`,
// `ReadReply`. The numbers are the ones the protocol layers have always
// used: 0 done, 1 failed, 5 (exchange only) the link stayed locked; 6
// (exchange only) held back, nothing sent: the motion the exchange belonged
// to was no longer wanted (see ExchangeGuard); and 7 (exchange only) cut
// short for a stop: no reply had come when a stop waiting for the line ended
// the wait, which says nothing about the controller (its reply may still
// come, and the link keeps it from the next exchanges).
enum class [[nodiscard]] LineResult : int32_t{
    kOk = 0, kFailed = 1, kBusy = 5, kHeldBack = 6, kCutShort = 7,
};

// The axes an exchange speaks to, as LineHealth bits: it records nothing
// for none.
inline constexpr unsigned kNoAxes = 0;
inline constexpr unsigned kLineAxis0 = 1;
inline constexpr unsigned kLineAxis1 = 2;
inline constexpr unsigned kLineBothAxes = 3;
inline constexpr unsigned LineAxis(int axis) { return axis == 0 ? kLineAxis0 : kLineAxis1; }

// The answer of a line operation that decides whether to go on:
// `BeginTransmit` (the bus fell idle), `FinishWrite` (go on and read the
// reply), `ProbeHandshake` (CTS answered RTS). 1 yes, 0 no.
enum class [[nodiscard]] LineReady : int32_t{
    kNo = 0,
    kYes = 1,
};

// The serial port a link opens: the host's port number, and whether it is
// a Bluetooth port (an rfcomm device) rather than a wired one.
struct PortAddress {
  int number = 0;
  bool bluetooth = false;
};

// One request of a series (SerialLink::ExchangeSeries): its bytes, where its
// reply goes (null: read, then dropped) and the axes it speaks to.
struct LineRequest {
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  uint8_t* reply = nullptr;
  unsigned axes = kNoAxes;
};

class SerialLink {
 public:
  // How long (ticks) an exchange waits for the link before giving up.
  static constexpr uint32_t kLockWaitTicks = 2000;
  // The longest one exchange may keep the line once it holds the link, in
  // real time: every read and write of the exchange ends by then. A reply
  // that comes at all comes well within it (a silent controller costs one
  // 500 ms read time-out per read), while a line that trickles noise can no
  // longer hold the link, and everything queued behind it, for minutes.
  static constexpr std::chrono::milliseconds kExchangeDeadline{2000};
  // How long an exchange that holds the line may still wait for its reply
  // once a stop is waiting for the line. A controller that answers at all
  // answers well within it (a reply takes a few milliseconds at these
  // rates); a slow or silent one no longer keeps the stop waiting.
  static constexpr std::chrono::milliseconds kHurriedReplyWait{50};
  // The whole of an exchange addressed only to silent controllers (see
  // LineHealth): one that answers again answers well within it, while a
  // controller that stays silent no longer costs every caller a full reply
  // time-out. A read-out of that kind (ReadOutExchanges) also never waits
  // for the line: when the line is taken, it fails at once (kBusy) and
  // records nothing.
  static constexpr std::chrono::milliseconds kSilentExchangeDeadline{150};
  // How long after a request was cut short for a stop its reply may still
  // come (the port's own reply time-out: a controller that answers at all
  // answers within it). Until then, or until it came, the next exchange
  // first takes that late reply off the line (DrainLateReply), so that no
  // exchange reads another request's reply as its own.
  static constexpr std::chrono::milliseconds kLateReplyWait{500};

  // Opens the serial port at `address` at 9600 baud with the link's
  // time-outs and lowers RTS. A port that cannot be opened leaves the
  // object usable, with the reason in `openError`: every exchange then fails
  // at once, without any line handling.
  explicit SerialLink(const PortAddress& address);
  virtual ~SerialLink();
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  // Sends `length` request bytes and reads the reply into `reply` (null: the
  // reply is still read, then dropped). kOk success; kFailed the port is not
  // open, the write failed, the echo stage refused, or no valid reply came
  // within kExchangeDeadline; kBusy the link stayed locked for 2000 ticks
  // (nothing was sent); kHeldBack the calling thread's ExchangeGuard no
  // longer wants the motion (nothing was sent). Inside an UrgentExchanges
  // scope the exchange goes before every other waiting one and hurries the
  // holder (kHurriedReplyWait). A holder so hurried that got no reply in
  // time judges nothing of its controller and, once the stop has had the
  // line, is sent again (a motion's request is then held back: kHeldBack);
  // kCutShort when it was still cut short kExchangeDeadline after it first asked for the line
  // (stops that keep coming). `axes` are the axes whose
  // controllers the request addresses: what came back is recorded for them
  // in `health` (an exchange cut short records nothing). With the io debug topic
  // on, each exchange logs the bytes written and read, its duration and its
  // outcome.
  LineResult Exchange(const uint8_t* request, uint32_t length, uint8_t* reply,
                      unsigned axes = kNoAxes);
  // Exchanges the `count` requests of a series, each outcome as `Exchange`
  // gives it into `results` (kCutShort is not sent again). On a line whose
  // controllers answer in the order they were asked (RepliesInOrder) the
  // requests go out back to back under one hold of the line and their
  // replies are read afterwards, in order: the last request reaches the wire
  // without waiting for the reply to the first (a stop's halts of both axes,
  // whose replies may queue behind a late one). Elsewhere each request is
  // one Exchange, in turn.
  void ExchangeSeries(const LineRequest* requests, size_t count, LineResult* results);

  // ---- Line handling, called only from inside `Exchange` (slots 1..5) or
  // during connect (ProbeHandshake). They take no lock of their own. ----
  // Prepares the line for sending. Its answer is not used by `Exchange`: the
  // request goes out even when the bus did not fall idle.
  virtual LineReady BeginTransmit();
  // Writes the bytes and records `length` in lastWriteLength.
  virtual LineResult Write(const uint8_t* bytes, uint32_t length);
  // After the write: kYes = go on and read the reply, kNo = fail.
  virtual LineReady FinishWrite();
  // Reads one reply: kOk a reply was read, kFailed no valid reply.
  virtual LineResult ReadReply(uint8_t* reply) = 0;
  virtual void EndTransmit();
  // RTS/CTS probe: waits up to about 400 ticks for CTS to drop, raises RTS
  // and reports whether CTS followed (kNo also when the line stayed busy).
  virtual LineReady ProbeHandshake();
  // Whether the exchange in progress waits for a reply (one that succeeds
  // then shows that the controller answers). Protocols with commands that
  // get no reply say so per request.
  virtual bool ReplyExpected() const { return true; }
  // Takes the late reply to a request cut short for a stop off the line
  // before the next request goes out, reading until the port's deadline
  // (set to when that reply is no longer expected) at most. True when it
  // came. The default suits a line without framing: it reads until the line
  // has been quiet for the port's interval time-out once bytes came.
  // Families with framed replies read one frame with their own reader.
  virtual bool DrainLateReply();
  // Whether the late reply of the request cut short cannot be taken for the
  // reply to `next`, or cannot harm it (a request without a reply): `next`
  // then goes out without waiting for the drain, and the late reply stays
  // owed (a framed reader that meets it drops it and calls LateReplyTaken).
  // Called with the line held, before `next` is written.
  virtual bool LateReplyTellsApart(const uint8_t* next, uint32_t length);
  // Whether the reply to the exchange that just failed on its time-out
  // may still come and be taken for the next one's: true on a line without
  // framing when no byte of it came. It is then drained like the late
  // reply of a request cut short, until kExchangeDeadline after it was
  // sent. Called with the line held, after ReadReply failed.
  virtual bool LateReplyMayFollowTimeOut() const { return false; }
  // Whether the controllers answer every request, one reply each, in the
  // order the requests came, so that several may be on the line at once
  // (ExchangeSeries sends them back to back, and a stop writes its requests
  // while an earlier stop reads its replies).
  virtual bool RepliesInOrder() const { return false; }
  // A request of the exchange that now holds the line went onto the wire
  // at `at`, while an earlier exchange still held it (a stop's write ahead,
  // on a line that RepliesInOrder): the family notes it as it notes what
  // Write sends, before its reply is read. Called with the line held.
  virtual void NoteWrittenAhead(const uint8_t* bytes, uint32_t length,
                                std::chrono::steady_clock::time_point at) {
    (void)bytes;
    (void)length;
    (void)at;
  }
  // Whether what is waiting to be read may be thrown away before a request
  // goes out. A family that counts the replies still owed to earlier
  // requests says no while it owes one: that reply may already have come.
  virtual bool MayPurgeInput() const { return true; }
  // How long after it was sent the reply to a request cut short for a stop
  // is still drained for (kLateReplyWait unless the family matches replies
  // by their place in the line's order and waits as long as for a reply
  // that timed out).
  virtual std::chrono::milliseconds CutReplyWait() const { return kLateReplyWait; }
  // How long after it was sent the reply to a request that timed out is
  // still drained for: as long as an exchange may last, unless the family
  // keeps such a reply owed for longer (then the drain waits as long as the
  // reply is owed, so that a reply which comes in between is never read as
  // the next request's).
  virtual std::chrono::milliseconds TimedOutReplyWait() const { return kExchangeDeadline; }

  // ---- Unit conversions; the factors are set by each family. ----
  // The double-to-integer conversions truncate toward zero; a value beyond
  // the 32-bit range saturates and NaN gives 0 (never undefined behaviour).
  int32_t ToCounts(int axis, double angle) const;
  int32_t ToRateUnits(int axis, double rate) const;
  double ToRadians(int axis, int32_t count) const;

  // Truncates toward zero into int32, saturating out-of-range values and
  // mapping NaN to 0.
  static int32_t TruncateToInt32(double value);

  // ---- Fields. ----
  // Controller version, (major << 16) | (minor << 8); written by connect.
  std::atomic<uint32_t> firmwareVersion{0};
  // The port. Used only inside exchange (under lineLock) or at connect,
  // before any motion thread exists; another thread only ever shortens its
  // deadline (HurryHolder).
  platform::SerialPort port;
  // Why the port is not open (or could not be configured): what failed and
  // the system's error. Written by the constructors only (the link's and the
  // family's, through ApplyBaudRate); read by exchange for the debug log.
  platform::SerialError openError;
  // Baud rate last applied to the port (the family constructor raises it).
  uint32_t baudRate = 9600;
  platform::SerialTimeouts timeouts;
  // Held for the duration of one exchange (and by the hex-command echo probe).
  LineLock lineLock;
  // What the exchanges have shown of each axis's controller.
  LineHealth health;
  // 1 when the far end did not answer the handshake probe; written by
  // connect before the first exchange, read inside exchanges.
  std::atomic<bool> noHandshake{false};
  // Byte count of the latest write; only touched under lineLock.
  uint32_t lastWriteLength = 0;
  // Conversion factors per axis; written by the family constructor only.
  double countsPerRadian[2] = {1.0, 1.0};
  double radiansPerCount[2] = {1.0, 1.0};
  double rateUnitsPerRadian[2] = {1.0, 1.0};

 protected:
  // Applies `baud` and the link's fixed settings to the port again (used by
  // family constructors). False when the port is closed or refused it (the
  // refusal is kept in openError).
  bool ApplyBaudRate(uint32_t baud);
  // RTS and CTS; a failed status read counts as CTS off.
  void SetRts(bool on);
  bool CtsOn();
  // Polls CTS until it drops, sleeping 10 ticks between polls, for at most
  // `retries` sleeps. False when CTS is still on after the last one.
  bool WaitForCtsOff(int retries);
  // True within kExchangeDeadline of an exchange cut short for a stop: a
  // late reply to it may still come whatever the drain saw, and framed
  // readers drop a frame that cannot answer the request (only then: at
  // other times a frame of the wrong shape is the controller's malformed
  // answer). Called by the reply readers, with the line held.
  bool MayMeetLateReply() const;
  // A reader met the late reply of the request cut short and dropped it.
  void LateReplyTaken() { lateReplyUntil_.reset(); }
  // Until when a late reply is drained for (none: nothing is owed). Line
  // held.
  std::optional<std::chrono::steady_clock::time_point> LateReplyDue() const {
    return lateReplyUntil_;
  }
  // Takes the line for a conversation outside `Exchange` (the hex-command echo
  // probe): false when it stayed locked for 2000 ticks.
  bool AcquireLine();

 private:
  // An urgent caller waits for the holder: its reply wait ends soon.
  void HurryHolder();
  // An axis fell silent: an exchange that waits for a reply only from silent
  // controllers waits no longer.
  void DropWaitForSilence();
  // Sets the port's deadline for the holder that speaks to `axes` (kNoAxes
  // and no deadline once it is done), with the hand-over lock held, so that
  // a deadline shortened for one holder is never applied to the next.
  void SetHolder(unsigned axes, std::optional<std::chrono::steady_clock::time_point> deadline);
  // One exchange of the `count` requests as `Exchange` describes it (all
  // written, then every reply read), without the sending again.
  void ExchangeOnce(const LineRequest* requests, size_t count, LineResult* results);
  // Drains a late reply still owed (see kLateReplyWait) before `next`
  // goes out; line held. False when a stop cut the drain short before that
  // reply came: it is still owed, and `next` must not go out yet.
  bool DrainOwedReply(const uint8_t* next, uint32_t length);

  // Guards holderAxes_, stopHurried_ and the port's deadline against the
  // hand-over of the line; held only for a few instructions, never across
  // a wait.
  std::mutex holderMutex_;
  // The axes of the exchange that holds the line (kNoAxes between them).
  unsigned holderAxes_ = kNoAxes;
  // A stop hurried the holder's exchange.
  bool stopHurried_ = false;
  // Until when the reply to a request cut short for a stop may still come
  // (none when nothing is owed). Touched only with the line held.
  std::optional<std::chrono::steady_clock::time_point> lateReplyUntil_;
  // When the latest exchange cut short for a stop was sent; line held.
  std::optional<std::chrono::steady_clock::time_point> cutShortSent_;
};

}  // namespace sidera
