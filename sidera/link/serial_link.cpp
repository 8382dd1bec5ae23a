// The serial link: opening the port, the locked request/reply exchange with
// its deadline and debug log, the base line handling and the unit conversions.
#include "sidera/link/serial_link.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "platform/clock.h"
#include "platform/debug_log.h"
#include "sidera/link/exchange_scope.h"

namespace sidera {

namespace {

using SteadyClock = std::chrono::steady_clock;

const char* OutcomeText(LineResult result) {
  switch (result) {
    case LineResult::kOk:
      return "ok";
    case LineResult::kFailed:
      return "failed";
    case LineResult::kBusy:
      return "busy";
    case LineResult::kHeldBack:
      return "held back";
    case LineResult::kCutShort:
      return "cut short for a stop";
  }
  return "?";
}

}  // namespace

SerialLink::SerialLink(const PortAddress& address) {
  health.OnFallingSilent([this] { DropWaitForSilence(); });
  const int number = address.number;
  const std::string path = platform::SerialDevicePath(number, address.bluetooth);
  if (!port.Open(path)) {
    openError = port.LastError();
    SIDERA_DEBUG_LOG(kIo, "port %d (%s) did not open: %s; every command will fail", number,
                     path.c_str(), openError.Text().c_str());
    return;
  }
  SIDERA_DEBUG_LOG(kIo, "port %d (%s) opened", number, path.c_str());

  (void)ApplyBaudRate(9600);  // a refusal is kept in openError and logged
  timeouts.readIntervalMs = 30;
  timeouts.readTotalMultiplierMs = 2;
  timeouts.readTotalConstantMs = 500;
  timeouts.writeTotalMultiplierMs = 2;
  timeouts.writeTotalConstantMs = 30;
  (void)port.SetTimeouts(timeouts);
  SetRts(false);
}

SerialLink::~SerialLink() { port.Close(); }

LineResult SerialLink::Exchange(const uint8_t* request, uint32_t length, uint8_t* reply,
                                unsigned axes) {
  const LineRequest one{request, length, reply, axes};
  const SteadyClock::time_point asked = SteadyClock::now();
  for (;;) {
    LineResult result = LineResult::kFailed;
    ExchangeOnce(&one, 1, &result);
    if (result != LineResult::kCutShort || SteadyClock::now() - asked >= kExchangeDeadline) {
      return result;
    }
    // The stop goes first; then the request is sent again, unless its
    // motion is no longer wanted (held back then).
    SIDERA_DEBUG_LOG(kIo, "exchange %s cut short for a stop: sent again after it",
                     platform::HexBytes(request, length).c_str());
  }
}

void SerialLink::ExchangeSeries(const LineRequest* requests, size_t count, LineResult* results) {
  if (count == 0) return;
  if (RepliesInOrder()) {
    ExchangeOnce(requests, count, results);
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    results[i] =
        Exchange(requests[i].bytes, requests[i].length, requests[i].reply, requests[i].axes);
  }
}

void SerialLink::ExchangeOnce(const LineRequest* requests, size_t count, LineResult* results) {
  const auto all = [&](LineResult r) { std::fill(results, results + count, r); };
  // The first request names the exchange in the log; the axes are all of
  // the requests' together.
  const uint8_t* const request = requests[0].bytes;
  const uint32_t length = requests[0].length;
  unsigned axes = kNoAxes;
  for (size_t i = 0; i < count; ++i) axes |= requests[i].axes;

  const bool urgent = UrgentExchanges::Active();
  // A request to controllers that are silent waits for its reply briefly;
  // a read-out to them does not queue for the line either: it goes only
  // when the line is free.
  const bool readOut = ReadOutExchanges::Active();
  const auto toSilentOnly = [&] { return axes != kNoAxes && health.AllSilent(axes); };
  const auto giveUp = [&] { return readOut && !urgent && toSilentOnly(); };
  const bool silentBefore = giveUp();
  // On a line that answers in order, a stop puts its requests on the wire
  // while an earlier stop only waits for its replies (LineLock), and reads
  // its own replies after that one's. The holder is reading, not writing,
  // meanwhile; the line's deadline and RTS stay the holder's.
  size_t aheadWritten = 0;
  SteadyClock::time_point aheadAt;
  std::function<void()> writeAhead;
  if (urgent && RepliesInOrder() && port.IsOpen()) {
    writeAhead = [&] {
      if (!ExchangeGuard::Allows()) return;  // held back once it has the line
      health.Forget(axes);
      aheadAt = SteadyClock::now();
      for (; aheadWritten < count; ++aheadWritten) {
        const LineRequest& r = requests[aheadWritten];
        size_t done = 0;
        if (!port.Write(r.bytes, r.length, &done) || done != r.length) break;
      }
      SIDERA_DEBUG_LOG(kIo,
                       "exchange %s: %zu of %zu requests written while a stop reads its replies",
                       platform::HexBytes(request, length).c_str(), aheadWritten, count);
    };
  }
  bool taken = lineLock.Acquire(
      urgent, silentBefore ? std::chrono::nanoseconds(0) : platform::ToRealDuration(kLockWaitTicks),
      [this] { HurryHolder(); }, giveUp, writeAhead);
  const bool wroteAhead = aheadWritten > 0;
  // Fallen silent while this waited for the line: it goes no further.
  if (taken && !silentBefore && giveUp()) {
    lineLock.Release();
    taken = false;
  }
  if (!taken) {
    SIDERA_DEBUG_LOG(kIo, "exchange %s not sent: the link stayed busy%s",
                     platform::HexBytes(request, length).c_str(),
                     toSilentOnly() ? " (to a silent controller)" : "");
    all(LineResult::kBusy);
    return;
  }
  const bool silent = toSilentOnly();
  // The motion this request belongs to is checked with the line held, right
  // before the request goes out: a stop that came first wins.
  if (!wroteAhead && !ExchangeGuard::Allows()) {
    SIDERA_DEBUG_LOG(kIo, "exchange %s held back: its motion was stopped or replaced",
                     platform::HexBytes(request, length).c_str());
    lineLock.Release();
    all(LineResult::kHeldBack);
    return;
  }
  // Anything but a read may change what the axes would answer: the
  // readings kept for the read-outs go before the request does.
  if (!readOut || urgent) health.Forget(axes);

  // What the log needs is gathered only while the io topic is on.
  const bool logging = platform::DebugEnabled(platform::DebugTopic::kIo);
  platform::SerialTap tap;
  SteadyClock::time_point started;
  if (logging) {
    port.ClearError();
    port.SetTap(&tap);
    started = SteadyClock::now();
  }

  // A port that did not open gets no line handling (nothing to wait for);
  // the write then fails at once, and the exchange with it.
  const bool open = port.IsOpen();
  if (open) {
    // The reply to a request cut short before this one may still be on its
    // way: it is taken off the line first. A stop that cuts the drain short
    // before that reply came cuts this exchange short too, unsent: sent now,
    // its reply would follow the one still owed, and one reply would be
    // read for the other.
    // A controller judged silent is not waited for: its exchanges stay
    // short.
    if (silent) lateReplyUntil_.reset();
    // Requests written ahead are already on the wire: nothing is drained or
    // purged (their replies may be waiting), they are only read.
    if (!wroteAhead && !DrainOwedReply(request, length)) {
      SetHolder(kNoAxes, std::nullopt);
      if (logging) port.SetTap(nullptr);
      SIDERA_DEBUG_LOG(kIo, "exchange %s not sent yet: a stop came while a late reply was owed",
                       platform::HexBytes(request, length).c_str());
      lineLock.Release();
      all(LineResult::kCutShort);
      return;
    }
    SetHolder(axes, SteadyClock::now() + (silent ? kSilentExchangeDeadline : kExchangeDeadline));
    // A stop that came while this exchange was taking the line.
    if (lineLock.HurryDue()) HurryHolder();
    if (!wroteAhead) {
      (void)BeginTransmit();  // the request goes out even when the bus did not fall idle
      (void)port.Purge(true, MayPurgeInput());
    }
  } else {
    SetHolder(axes, std::nullopt);
  }
  const char* stage = "no valid reply";
  const SteadyClock::time_point sentAt = wroteAhead ? aheadAt : SteadyClock::now();
  // Every request goes out first; a request whose write fails, and those
  // after it, are not read.
  size_t written = 0;
  LineResult writeResult = LineResult::kOk;
  if (wroteAhead) {
    for (; written < aheadWritten; ++written) {
      NoteWrittenAhead(requests[written].bytes, requests[written].length, aheadAt);
    }
    if (written < count) {
      stage = "the write failed";
      writeResult = LineResult::kFailed;
    }
  }
  for (; written < count && writeResult == LineResult::kOk; ++written) {
    const LineRequest& r = requests[written];
    writeResult = Write(r.bytes, r.length);
    if (writeResult != LineResult::kOk) {
      stage = open ? "the write failed" : "the port is not open";
      break;
    }
    if (FinishWrite() != LineReady::kYes) {
      stage = "the echo stage refused";
      writeResult = LineResult::kFailed;
      break;
    }
  }
  // The replies come in the order of the requests: once one fails, those
  // after it cannot have come either.
  bool readTried = false;
  bool failedBefore = writeResult != LineResult::kOk && written == 0;
  // A stop that reads its replies lets the next stop write ahead.
  const bool reading = urgent && open && written > 0 && RepliesInOrder();
  if (reading) lineLock.BeginReading();
  for (size_t i = 0; i < count; ++i) {
    if (i >= written || failedBefore) {
      results[i] = LineResult::kFailed;
      continue;
    }
    readTried = true;
    results[i] = ReadReply(requests[i].reply);
    if (results[i] != LineResult::kOk) failedBefore = true;
  }
  if (reading) lineLock.EndReading();
  bool hurried = false;
  bool forStop = false;
  if (open) {
    EndTransmit();
    hurried = port.DeadlineShortened();
    std::lock_guard<std::mutex> lock(holderMutex_);
    forStop = stopHurried_;
  }
  SetHolder(kNoAxes, std::nullopt);
  bool anyFailed = false;
  for (size_t i = 0; i < count; ++i) {
    LineResult& result = results[i];
    if (result != LineResult::kOk) result = LineResult::kFailed;
    const unsigned own = requests[i].axes;
    // A reply cut short by a stop says nothing about the controller; nor
    // does one cut short because its controllers fell silent meanwhile.
    if (result == LineResult::kOk) {
      if (ReplyExpected()) health.RecordAnswer(own);
      continue;
    }
    anyFailed = true;
    if (!hurried) {
      health.RecordFailure(own);
      // No reply within the time-out, on a line that cannot tell replies
      // apart: it may still come, and is drained like the reply of a
      // request cut short, for as long as a late reply is matched at all.
      // Not for a controller already judged silent, whose exchanges stay
      // short.
      if (readTried && !silent && LateReplyMayFollowTimeOut()) {
        lateReplyUntil_ = sentAt + TimedOutReplyWait();
        cutShortSent_ = sentAt;
      }
    } else if (forStop) {
      result = LineResult::kCutShort;
      // Its reply may still come; the next exchange takes it off the line.
      if (ReplyExpected()) {
        lateReplyUntil_ = sentAt + CutReplyWait();
        cutShortSent_ = sentAt;
      }
    }
  }

  if (logging) {
    port.SetTap(nullptr);
    const double ms =
        std::chrono::duration<double, std::milli>(SteadyClock::now() - started).count();
    const LineResult shown = anyFailed
                                 ? *std::find_if(results, results + count,
                                                 [](LineResult r) { return r != LineResult::kOk; })
                                 : LineResult::kOk;
    std::string why;
    if (shown != LineResult::kOk) {
      why = std::string(" (") + stage;
      const platform::SerialError& error = port.IsOpen() ? port.LastError() : openError;
      if (error.operation != nullptr) why += ": " + error.Text();
      why += ")";
    }
    std::string unsent;
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) total += requests[i].length;
    if (tap.written.size() != total) {
      unsent = " of [" + platform::HexBytes(request, length) + "]";
    }
    platform::DebugPrint(
        platform::DebugTopic::kIo, "exchange%s%s sent [%s]%s read [%s] %.1f ms %s%s%s",
        urgent ? " (stop)" : "", count > 1 ? " (series)" : "",
        platform::HexBytes(tap.written.data(), tap.written.size()).c_str(), unsent.c_str(),
        platform::HexBytes(tap.read.data(), tap.read.size()).c_str(), ms, OutcomeText(shown),
        why.c_str(), hurried && shown != LineResult::kCutShort ? " (cut short)" : "");
  }
  lineLock.Release();
}

void SerialLink::SetHolder(unsigned axes,
                           std::optional<std::chrono::steady_clock::time_point> deadline) {
  std::lock_guard<std::mutex> lock(holderMutex_);
  holderAxes_ = axes;
  stopHurried_ = false;
  port.SetDeadline(deadline);
}

void SerialLink::HurryHolder() {
  std::lock_guard<std::mutex> lock(holderMutex_);
  stopHurried_ = true;
  port.ShortenDeadline(SteadyClock::now() + kHurriedReplyWait);
}

void SerialLink::DropWaitForSilence() {
  // Looked at and shortened in one step: the line cannot change hands in
  // between, so the next holder's exchange is never cut to nothing.
  std::lock_guard<std::mutex> lock(holderMutex_);
  if (holderAxes_ != kNoAxes && health.AllSilent(holderAxes_)) {
    port.ShortenDeadline(SteadyClock::now());
  }
}

bool SerialLink::MayMeetLateReply() const {
  return cutShortSent_ && SteadyClock::now() - *cutShortSent_ < kExchangeDeadline;
}

bool SerialLink::LateReplyTellsApart(const uint8_t*, uint32_t) { return false; }

bool SerialLink::DrainOwedReply(const uint8_t* next, uint32_t length) {
  if (!lateReplyUntil_) return true;
  const SteadyClock::time_point until = *lateReplyUntil_;
  if (SteadyClock::now() < until) {
    if (LateReplyTellsApart(next, length)) return true;
    SetHolder(kNoAxes, until);
    // A stop waiting meanwhile hurries the drain like any holder.
    if (lineLock.HurryDue()) HurryHolder();
    const bool came = DrainLateReply();
    SIDERA_DEBUG_LOG(kIo, "late reply of a request cut short for a stop: %s",
                     came ? "taken off the line" : "did not come");
    // A drain cut short for a stop before its reply came leaves it owed.
    bool cut = false;
    {
      std::lock_guard<std::mutex> lock(holderMutex_);
      cut = stopHurried_;
    }
    if (!came && cut && SteadyClock::now() < until) return false;
  }
  lateReplyUntil_.reset();
  return true;
}

bool SerialLink::DrainLateReply() {
  // Read in pieces until the interval time-out (quiet) ends a read that got
  // bytes, or the deadline ends one that got none.
  bool came = false;
  for (;;) {
    uint8_t scratch[32];
    size_t got = 0;
    const bool ok = port.Read(scratch, sizeof scratch, &got);
    if (got == 0) {
      // A read ends on its own time-out, which a slow controller's late
      // reply may outlast: until the drain's deadline it is read again. A
      // failed read (the line is gone) or a stop's hurry ends the drain.
      if (!came && ok && !port.DeadlineShortened() && lateReplyUntil_ &&
          SteadyClock::now() < *lateReplyUntil_) {
        continue;
      }
      return came;
    }
    came = true;
    if (got < sizeof scratch) return true;
  }
}

bool SerialLink::AcquireLine() {
  return lineLock.Acquire(UrgentExchanges::Active(), platform::ToRealDuration(kLockWaitTicks),
                          [this] { HurryHolder(); });
}

LineReady SerialLink::BeginTransmit() { return LineReady::kYes; }

LineResult SerialLink::Write(const uint8_t* bytes, uint32_t length) {
  size_t written = 0;
  const bool ok = port.Write(bytes, length, &written);
  // A short write is not detected here: the missing reply reports it.
  lastWriteLength = length;
  return ok ? LineResult::kOk : LineResult::kFailed;
}

LineReady SerialLink::FinishWrite() { return LineReady::kYes; }

void SerialLink::EndTransmit() {}

LineReady SerialLink::ProbeHandshake() {
  // The line must fall idle within about 400 ticks.
  if (!port.IsOpen()) return LineReady::kNo;  // nothing to wait for
  LineReady answered = LineReady::kNo;
  if (WaitForCtsOff(40)) {
    SetRts(true);
    answered = CtsOn() ? LineReady::kYes : LineReady::kNo;
    SetRts(false);
  }
  SIDERA_DEBUG_LOG(kIo, "handshake probe: %s",
                   answered == LineReady::kYes ? "CTS followed RTS" : "no answer, sending without");
  return answered;
}

int32_t SerialLink::TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  // Both bounds are exactly representable; anything at or beyond them
  // saturates instead of overflowing the conversion.
  constexpr double kMax = 2147483647.0;
  constexpr double kMin = -2147483648.0;
  if (value >= kMax) return std::numeric_limits<int32_t>::max();
  if (value <= kMin) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);  // truncates toward zero
}

int32_t SerialLink::ToCounts(int axis, double angle) const {
  return TruncateToInt32(angle * countsPerRadian[axis]);
}

int32_t SerialLink::ToRateUnits(int axis, double rate) const {
  return TruncateToInt32(rate * rateUnitsPerRadian[axis]);
}

double SerialLink::ToRadians(int axis, int32_t count) const {
  return static_cast<double>(count) * radiansPerCount[axis];
}

bool SerialLink::ApplyBaudRate(uint32_t baud) {
  baudRate = baud;
  if (!port.IsOpen()) return false;  // why is already in openError
  if (port.Configure(baud)) return true;
  openError = port.LastError();
  SIDERA_DEBUG_LOG(kIo, "port not configured for %u baud: %s", baud, openError.Text().c_str());
  return false;
}

void SerialLink::SetRts(bool on) { (void)port.SetRts(on); }

bool SerialLink::WaitForCtsOff(int retries) {
  int used = 0;
  while (CtsOn()) {
    if (used >= retries) return false;
    platform::Sleep(10);
    ++used;
  }
  return true;
}

bool SerialLink::CtsOn() {
  bool on = false;
  if (!port.GetCts(&on)) return false;
  return on;
}

}  // namespace sidera
