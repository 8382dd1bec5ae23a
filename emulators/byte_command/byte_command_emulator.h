// Wire-level emulator of the byte-command controller: one controller for both
// axes of a small alt-azimuth mount, on a point-to-point line at 4800 baud,
// served on a pseudo-terminal. The library opens the terminal as if it were
// the serial port of a real mount.
//
// Requests are unframed: a command byte, and for some commands a 24-bit
// argument. Each known command is carried out; a position read is answered
// with 3 bytes, the goto-done query with 1 byte, everything else with
// nothing. There is no echo. An unknown byte is logged and dropped; a
// request whose argument stops for 100 ms is dropped, so it cannot swallow
// the next one.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sidera::emulator {

struct ByteCommandOptions {
  // Counts per revolution at power-on: 726559 (model 8) or 1059334 (model
  // 9). The controller uses the value that OpSetCountsPerRevolution gives
  // it from then on.
  uint32_t countsPerRevolution = 726559;
  double gotoDegPerSec = 8.0;  // goto speed
  double timeScale = 1.0;      // axes move this many times faster than real time
  // Deliver every byte at the line's rate (10 bits a byte at `baud`), and
  // take as long to receive a request as the line would.
  bool pace = false;
  int baud = 4800;
  bool silent = false;  // carries out commands but never answers (the line stays open)
  // Falls silent after this many requests have been answered (counted as
  // for closeAfterRequests).
  int silentAfterRequests = -1;
  int cutReplyBytes = 0;  // this many bytes are missing from the end of every reply
  int replyDelayMs = 0;   // delay before every reply
  // Once the connect is over, which the controller takes to be the first
  // motion it is told to start (a goto or a rate; a connect never starts
  // one), its replies, which answer reads only, come this much later still:
  // a slow controller that does not slow the connect.
  int readDelayAfterConnectMs = 0;
  int strayBytes = 0;  // this many bytes of line noise follow every reply
  // Hang up the line after this many requests (-1: never), counted since
  // construction: known commands, silent ones included. The last one is
  // answered, and read by the other side, before the hang-up.
  int closeAfterRequests = -1;
  uint32_t initialCounts[2] = {0, 0};
};

// One request as it arrived on the line.
struct ByteCommandRequest {
  std::vector<uint8_t> bytes;
  uint8_t command = 0;
  bool known = false;                        // a command of the table, argument complete
  uint32_t value = 0;                        // the 24-bit argument (0 without)
  double seconds = 0;                        // arrival, real seconds since Start
  std::chrono::steady_clock::time_point at;  // arrival
};

class ByteCommandEmulator {
 public:
  explicit ByteCommandEmulator(ByteCommandOptions options = {});
  ~ByteCommandEmulator();  // Stop()
  ByteCommandEmulator(const ByteCommandEmulator&) = delete;
  ByteCommandEmulator& operator=(const ByteCommandEmulator&) = delete;

  bool Start();                    // open a pseudo-terminal, start serving on a thread
  std::string DevicePath() const;  // the terminal the library opens (the pty slave)
  void Stop();
  void CloseLine();  // hang up now, mid-session; returns once the line is down
  // Thread-safe; takes effect for the next request.
  void UpdateOptions(const std::function<void(ByteCommandOptions&)>& change);

  uint32_t PositionCounts(int axis);  // [0, N), advanced to now
  double PositionRadians(int axis);   // counts x 2 pi / N
  void SetPositionCounts(int axis, uint32_t counts);
  bool GotoInProgress(int axis);
  // The constant rate in effect: + for RatePositive, - for RateNegative (the
  // wire value); 0 once stopped or when a goto has taken over.
  int32_t RateWireValue(int axis);
  uint32_t CountsPerRevolutionSetting(int axis);  // last value received, 0 before
  uint32_t Op14Value();                           // last value received, 0 before
  std::vector<ByteCommandRequest> Requests();     // every request received, in order
  void ClearRequests();
  // True once a request `match` accepts has arrived (including before the
  // call); false after `timeoutMs`.
  bool WaitForRequest(const std::function<bool(const ByteCommandRequest&)>& match, int timeoutMs);
  // Calls `print` with every request from now on, on the serving thread.
  void PrintRequests(std::function<void(const ByteCommandRequest&)> print);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sidera::emulator
