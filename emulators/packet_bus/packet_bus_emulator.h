// Wire-level emulator of the packet-bus motor controllers: two controllers on
// one half-duplex packet bus, served on a pseudo-terminal. The library opens
// the terminal as if it were the serial port of a real mount.
//
// The line hands every byte the library writes straight back to it (the
// shared bus echoes), whatever the controllers make of it. A complete frame
// with a good checksum addressed to 0x10 or 0x11 is then carried out and
// answered by that controller; other frames are only logged. A frame cut off
// by 100 ms of quiet is dropped, so it cannot swallow the next one. A known
// command with too few data bytes is not carried out and gets an empty reply.
// With options.gps.present, a GPS unit at 0xB0 answers frames addressed to it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulators/packet_bus/gps_unit.h"

namespace sidera::emulator {

struct PacketBusOptions {
  int silentAxis = -1;     // 0 or 1: that controller never answers (its requests are still echoed)
  int noiseBytes = 0;      // this many bytes of line noise (never 0x3B) before every reply
  int badLengthAxis = -1;  // replies of that axis carry a length byte of 30
  int shortPacketAxis = -1;  // replies of that axis are cut 2 bytes short
  int replyDelayMs = 0;      // delay before every reply
  // Once the connect is over, which the controllers take to be the first
  // motion they are told to start (a goto or a rate; a connect never starts
  // one), the reads (position, goto-done query, version) are answered this
  // much later still: a slow controller that does not slow the connect.
  int readDelayAfterConnectMs = 0;
  // Hang up the line after this many requests (-1: never). Counted since
  // construction: frames addressed to a controller, silent ones included. The
  // last one is answered, and read by the other side, before the hang-up.
  int closeAfterRequests = -1;
  // Both controllers fall silent, as silentAxis (the line stays open): at
  // once, or after this many requests have been answered (counted as for
  // closeAfterRequests).
  bool silent = false;
  int silentAfterRequests = -1;
  double fastDegPerSec = 4.0;         // fast goto speed
  double slowDegPerSec = 0.5;         // slow goto speed
  double timeScale = 1.0;             // axis motion runs this many times faster than real time
  int32_t initialCounts[2] = {0, 0};  // signed 24-bit positions at start
  uint8_t versionMajor = 3;
  uint8_t versionMinor = 1;
  GpsUnitOptions gps;  // a GPS unit at 0xB0 on the same bus (absent by default)
};

// One request frame as it arrived on the line. axis is -1 when the frame
// could not be decoded (bad checksum, unknown destination, bad length).
struct PacketBusRequest {
  std::vector<uint8_t> bytes;
  int axis;
  uint8_t id;
  std::vector<uint8_t> data;
  std::chrono::steady_clock::time_point at;  // when its last byte came in
};

class PacketBusEmulator {
 public:
  explicit PacketBusEmulator(PacketBusOptions options = {});
  ~PacketBusEmulator();  // Stop()
  PacketBusEmulator(const PacketBusEmulator&) = delete;
  PacketBusEmulator& operator=(const PacketBusEmulator&) = delete;

  bool Start();                    // open a pseudo-terminal, start serving on a thread
  std::string DevicePath() const;  // the terminal the library opens (the pty slave)
  void Stop();
  void CloseLine();  // hang up now, mid-session; returns once the line is down
  // Thread-safe; takes effect for the next request.
  void UpdateOptions(const std::function<void(PacketBusOptions&)>& change);

  int32_t PositionCounts(int axis);  // current position, signed 24-bit, advanced to now
  double PositionRadians(int axis);  // counts x pi / 2^23
  void SetPositionCounts(int axis, int32_t counts);
  bool GotoInProgress(int axis);
  bool LastGotoWasFast(int axis);
  // The constant rate in effect: + for RatePositive, - for RateNegative (the
  // 3-byte wire value); 0 once stopped or when a goto has taken over.
  int32_t RateWireValue(int axis);
  uint8_t ApproachByte(int axis);
  uint8_t Setting(int axis, uint8_t id);     // last value of 0x10 / 0x11
  std::vector<PacketBusRequest> Requests();  // every request received, in order
  void ClearRequests();
  // True once a request `match` accepts has arrived (including before the
  // call); false after `timeoutMs`.
  bool WaitForRequest(const std::function<bool(const PacketBusRequest&)>& match, int timeoutMs);
  // Calls `print` with every request from now on, on the serving thread.
  void PrintRequests(std::function<void(const PacketBusRequest&)> print);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sidera::emulator
