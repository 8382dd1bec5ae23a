// Wire-level emulator of the hex-command motor controllers: two axes on one
// serial line, served on a pseudo-terminal that the library (or any other
// program that speaks the protocol) opens as if it were the mount's port.
//
// Requests are ":", a command letter, the axis digit ("1" or "2"), data and
// a carriage return. A ":" starts a request afresh (a half-sent one is
// dropped); bytes outside a request and line feeds are ignored; a request
// longer than 32 bytes is dropped. Every request is answered with one line:
// "=" and the reply data, or "!" and an error digit, then a carriage return.
// Numbers are six uppercase hex digits, least significant byte first
// (3500 = "AC0D00"); positions are offset binary (count + 0x800000).
//
//   e  version: the six version digits as configured     "=031001"
//   a  counts per revolution                              "=005F37"
//   b  timer frequency                                    "=24F400"
//   g  high-speed ratio                                   "=100000"
//   s  a fixed controller figure (sValue)                 "=706200"
//   j  position                                           "=000080" (count 0)
//   f  status: three characters, "=" + (mode | negative<<1 | high speed<<2),
//      running, initialised, each a hex digit: "=011" goto, positive,
//      running, initialised; "=101" slow rate, stopped
//   F  initialise          G  mode: type "0" long goto, "1" slow rate,
//   H  goto increment         "2" short goto, "3" fast rate; direction
//   M  brake increment        "0"/"1" (bit 0 negative; "2"/"3" the same with
//   I  step period            the southern-hemisphere bit)
//   J  start   K  stop (brakes)   L  stop instantly   E  load position
// Commands without a reply value answer "=".
//
// Errors: "!0" unknown command letter, "!1" wrong data length (six digits
// for H, M, I, E; two characters for G; none for the rest), "!2" a mode
// change while the axis runs (a real controller refuses it too; stop and
// wait for the status to show it stopped), "!3" a character that is not
// allowed (axis digit, hex digit, mode character). Hex digits in requests
// may be upper- or lowercase.
//
// Motion runs in real time (times the time scale): a long goto ("0") runs
// at the fast goto speed until it is within the brake increment of its end,
// then at the slow goto speed; a short goto ("2") runs slowly all the way. A
// rate motion steps timer frequency / step period counts per second, times
// the high-speed ratio in the fast mode ("3"); a new step period takes
// effect at once. "K" brakes at the deceleration (the axis reports running
// until it stands), "L" stops at once. A fresh controller reports itself
// not initialised until "F". A silent controller (on demand, or after a
// number of requests) neither answers nor acts, with the line still open.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sidera::emulator {

struct HexCommandOptions {
  // The six digits answered to "e". The default is an equatorial
  // controller, firmware 3.16, model code 0x01.
  std::string version = "031001";
  uint32_t countsPerRevolution = 3628800;  // both axes; 24 bits
  uint32_t timerFrequency = 62500;
  uint32_t highSpeedRatio = 16;
  uint32_t sValue = 25200;
  int32_t initialCounts[2] = {0, 0};  // signed counts at start
  bool initialised = false;           // controllers already initialised
  double gotoFastDegPerSec = 3.4;
  double gotoSlowDegPerSec = 0.8;
  double decelerationDegPerSec2 = 4.0;  // 0: every stop is instant
  double timeScale = 1.0;               // motion runs this many times faster than real time

  bool echo = false;        // the line hands every byte back to its sender
  bool pace = false;        // bytes leave at the real rate of 9600 baud
  bool permissive = false;  // unknown letters answer "=000000" instead of "!0"
  int replyDelayMs = 0;     // wait before every reply
  // Once the connect is over, which the controllers take to be the first
  // motion they are told to start ("J"; a connect never starts one), the
  // reads (e, a, b, g, s, j, f) are answered this much later still: a
  // controller that answers slowly without slowing the host's connect.
  int readDelayAfterConnectMs = 0;

  // Misbehaviour.
  int silentAxis = -1;              // 0 or 1: that axis never answers
  std::string refuse;               // letters answered "!0" (both axes)
  std::string malformed;            // letters whose replies lose their second character
  bool lowercase = false;           // hex digits of replies in lowercase
  int strayBytes = 0;               // noise bytes (never "=" or "!") before every reply
  std::string overlong;             // letters answered with a 20-byte line
  bool ignoreFirstVersion = false;  // the first "e" gets no answer at all
  int closeAfterRequests = -1;      // hang up after this many requests (the last answered)
  int neverStopsAxis = -1;          // 0 or 1: "K" and "L" are answered but ignored
  // Both controllers fall silent (they neither answer nor act; the line
  // stays open and motions under way go on): at once, or after this many
  // requests have been answered (counted since construction).
  bool silent = false;
  int silentAfterRequests = -1;
};

// One request as it came off the line, and the reply it got ("" when none).
struct HexCommandRequest {
  std::string line;  // without the carriage return
  int axis;          // 0, 1, or -1 for a bad axis digit
  char letter;
  std::string data;
  std::string reply;                         // without stray bytes and carriage return
  bool axisRunning;                          // the axis ran when the request arrived
  std::chrono::steady_clock::time_point at;  // when its carriage return came in
};

class HexCommandEmulator {
 public:
  explicit HexCommandEmulator(HexCommandOptions options = {});
  ~HexCommandEmulator();  // Stop()
  HexCommandEmulator(const HexCommandEmulator&) = delete;
  HexCommandEmulator& operator=(const HexCommandEmulator&) = delete;

  bool Start();                    // open a pseudo-terminal, serve it on a thread
  std::string DevicePath() const;  // the terminal to open (the pty slave)
  void Stop();
  void CloseLine();  // hang up now; returns once the line is down
  // Thread-safe; takes effect for the next request.
  void UpdateOptions(const std::function<void(HexCommandOptions&)>& change);

  int32_t PositionCounts(int axis);  // signed 24-bit, advanced to now
  double PositionDegrees(int axis);  // counts x 360 / counts per revolution
  void SetPositionCounts(int axis, int32_t counts);
  bool Running(int axis);
  bool Initialised(int axis);
  std::string Status(int axis);  // the three status characters
  char MotionType(int axis);
  char Direction(int axis);
  uint32_t StepPeriod(int axis);
  uint32_t BrakeIncrement(int axis);
  std::vector<HexCommandRequest> Requests();
  void ClearRequests();
  // True once a request `match` accepts has arrived (including before the
  // call); false after `timeoutMs`.
  bool WaitForRequest(const std::function<bool(const HexCommandRequest&)>& match, int timeoutMs);
  // Calls `print` with every request from now on, on the serving thread.
  void PrintRequests(std::function<void(const HexCommandRequest&)> print);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sidera::emulator
