// The serving side of an emulated serial line: a pseudo-terminal, the thread
// that serves it, and the hand-over between that thread and the emulator's
// controlling thread (start, stop, hang up mid-session, wake early).
//
// The emulator keeps its protocol: on the serving thread it sets up its
// state and hands the loop to Serve(), which calls it back once a turn to
// send what is due (and say when the next turn is due), and with every
// chunk of bytes the other side writes.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "emulators/common/pty_line.h"

namespace sidera::emulator {

class LineServer {
 public:
  using Clock = std::chrono::steady_clock;

  // What one turn of the serving loop asks for.
  struct Turn {
    bool hangUp = false;                                  // close the line now and stop serving
    Clock::time_point wakeAt = Clock::time_point::max();  // the next turn, at the latest
    bool writable = false;  // also wake as soon as the line takes bytes again
  };
  // Sends what is due at `now`; runs first thing every turn.
  using TurnHandler = std::function<Turn(Clock::time_point now)>;
  // Bytes the other side wrote, as one read took them off the line.
  using InputHandler = std::function<void(const uint8_t* bytes, size_t count)>;

  LineServer() = default;
  ~LineServer() { Stop(); }
  LineServer(const LineServer&) = delete;
  LineServer& operator=(const LineServer&) = delete;

  // Controlling thread. Opens a pseudo-terminal and runs `session` on a new
  // serving thread; the line closes when the session returns. False when
  // already serving (until Stop) or when the system has no pseudo-terminal.
  bool Start(std::function<void()> session);
  bool Serving() const { return thread_.joinable(); }
  // Ends the session and joins the thread; the line is closed after it.
  void Stop();
  // Hangs up mid-session; returns once the line is down. The thread stays
  // to be joined by Stop.
  void CloseLine();
  // Any thread: starts a turn early (e.g. after the options changed).
  void Wake() const;
  // Any thread: the terminal the other side opens (the pty slave); it stays
  // readable after the line is closed.
  std::string DevicePath() const;

  // Serving thread only, from the session: turns until stopped, hung up, or
  // the turn handler asks for a hang-up.
  void Serve(const TurnHandler& turn, const InputHandler& input);
  // Writes to the line; the bytes the line took (<= 0 when it took none).
  ssize_t Write(const uint8_t* bytes, size_t count);
  // Writes up to `most` bytes (at most 256) from the front of `queue` and
  // removes what the line took. False when it took nothing (the reader's
  // buffer is full).
  bool WriteFrom(std::deque<uint8_t>& queue, size_t most = SIZE_MAX);
  int MasterFd() const { return line_.MasterFd(); }

  // A hang-up that lets the last reply be read first: once begun, the line
  // is no longer read and turns come at least every 10 ms; HangUpDue tells
  // when the reader has taken what was written, or gave up.
  void BeginHangUp(Clock::time_point since);
  bool HangingUp() const { return hangingUp_; }
  bool HangUpDue(Clock::time_point now) const;

 private:
  PtyLine line_;                 // controlling thread while stopped; serving thread while serving
  std::thread thread_;           // controlling thread
  std::atomic<int> wakeFd_{-1};  // eventfd that interrupts the serving poll; set by Start/Stop
  std::atomic<bool> stopRequested_{false};   // set by Stop, read by the serving loop
  std::atomic<bool> closeRequested_{false};  // set by CloseLine, read by the serving loop

  mutable std::mutex mutex_;  // guards devicePath_ and lineClosed_
  std::string devicePath_;
  bool lineClosed_ = true;  // set by the serving thread (and Start); CloseLine waits on it
  std::condition_variable lineClosedChanged_;

  // Serving thread only.
  Clock::time_point turnStart_;
  Clock::time_point lastOutput_;  // start of the turn of the last write that took bytes
  bool hangingUp_ = false;
  Clock::time_point hangUpSince_;
};

}  // namespace sidera::emulator
