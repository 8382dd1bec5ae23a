// One serial port, opened as a POSIX terminal.
//
// Reads and writes follow the time-out model the mount drivers are written
// for: a read of N bytes returns when N bytes have arrived, when the total
// time-out (multiplier x N + constant) has passed, or when more than the
// interval time-out passes between two bytes after the first one; a write
// gives up after multiplier x N + constant. All time-outs are real
// milliseconds (the line does not run on the scaled tick clock). A zero
// field disables that time-out, as on the original controller; an interval of
// 0xFFFFFFFF with both read totals zero makes a read return at once with
// whatever has already arrived. A time-out is not a failure: the call returns
// true with the bytes transferred so far.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sidera::platform {

struct SerialTimeouts {
  uint32_t readIntervalMs = 0;
  uint32_t readTotalMultiplierMs = 0;
  uint32_t readTotalConstantMs = 0;
  uint32_t writeTotalMultiplierMs = 0;
  uint32_t writeTotalConstantMs = 0;
};

// Why the latest operation of a port failed: what the port was doing and
// the system's error number (0 when the failure has no system error, such as
// a hang-up).
struct SerialError {
  const char* operation = nullptr;  // null: no failure recorded
  int error = 0;
  // "open: No such file or directory (errno 2)"; "" when nothing failed.
  std::string Text() const;
};

// Every byte a port wrote and read while the tap was attached, for the debug
// log of one exchange.
struct SerialTap {
  std::vector<uint8_t> written;
  std::vector<uint8_t> read;
};

// The device path of serial port `number`: the printf pattern set with
// SetSerialPattern, else the one in SIDERA_SERIAL_PATTERN (default
// "/dev/ttyS%d"), formatted with the number; a pattern without "%d" names
// the same device for every number. A Bluetooth port is the RFCOMM terminal
// "/dev/rfcomm<number>".
std::string SerialDevicePath(int number, bool bluetooth = false);
// `pattern` with the number: the first "%d" becomes it, "%%" becomes "%",
// everything else is copied; an empty pattern means "/dev/ttyS%d".
std::string ExpandSerialPattern(const std::string& pattern, int number);
// Sets the pattern SerialDevicePath uses instead of the environment's, so
// that a program with threads need not change its environment; null goes
// back to SIDERA_SERIAL_PATTERN. Thread-safe.
void SetSerialPattern(const char* pattern);

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the device for exclusive reading and writing without waiting for
  // carrier and without becoming its controlling terminal. False (and the
  // port stays closed, LastError() saying why) when the device is missing,
  // is not accessible, is not a terminal, or is held by another program.
  // A terminal that does not support exclusive mode (the request fails with
  // EINVAL or ENOTTY, as on some adapters and old kernels) is used without
  // it. Never blocks.
  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  // Raw 8 data bits, one stop bit, no parity checking, no hardware or
  // software flow control, RTS left to SetRts(). False on an unsupported
  // rate or a closed port.
  bool Configure(uint32_t baudRate);
  // Stored even while closed (they apply from the next call); false when the
  // port is not open.
  bool SetTimeouts(const SerialTimeouts& timeouts);
  SerialTimeouts Timeouts() const { return timeouts_; }

  // False when the port is closed or the system call failed; `transferred`
  // receives the byte count either way (0 on failure before any byte).
  bool Write(const uint8_t* data, size_t length, size_t* transferred);
  bool Read(uint8_t* data, size_t length, size_t* transferred);

  // Transmit: waits until written output has left the port, within the
  // write time-out and the deadline (it is never discarded). Receive:
  // discards unread input.
  bool Purge(bool transmit, bool receive);

  // A limit for every read and write until it is cleared (nullopt): each
  // one ends by then whatever its own time-outs allow, so a caller can give
  // a whole conversation one deadline. Data already waiting is still taken.
  void SetDeadline(std::optional<std::chrono::steady_clock::time_point> deadline);
  // Any thread, while the port is open: brings the deadline forward to
  // `deadline` (a later one changes nothing) and wakes a read or write that
  // is waiting, so that it ends by the new deadline. Lets another thread cut
  // short a wait for a reply that is not coming.
  void ShortenDeadline(std::chrono::steady_clock::time_point deadline);
  // Whether ShortenDeadline moved the deadline since it was last set.
  bool DeadlineShortened() const { return shortened_.load(); }
  // While `tap` is attached (null detaches), every byte written and read is
  // appended to it. The caller keeps ownership.
  void SetTap(SerialTap* tap) { tap_ = tap; }

  // The latest failure of Open, Configure, Read, Write or Purge; cleared by
  // ClearError() and by a successful Open.
  const SerialError& LastError() const { return lastError_; }
  void ClearError() { lastError_ = SerialError{}; }

  // Modem lines. On a device without modem lines (a pseudo-terminal, say)
  // SetRts succeeds and does nothing, and GetCts reports off.
  bool SetRts(bool on);
  // False when the status could not be read (the caller treats that as off).
  bool GetCts(bool* on);

 private:
  void Fail(const char* operation, int error) { lastError_ = SerialError{operation, error}; }

  // The deadline now in force (none: no limit).
  std::optional<std::chrono::steady_clock::time_point> Deadline() const;

  // The port belongs to one thread at a time (the link serialises its
  // users), so these need no lock; only the deadline and the wake-up below
  // are touched by other threads (ShortenDeadline).
  int fd_ = -1;
  SerialTimeouts timeouts_;
  SerialTap* tap_ = nullptr;
  SerialError lastError_;
  // Nanoseconds of steady_clock, kNoDeadline for none.
  static constexpr int64_t kNoDeadline = INT64_MAX;
  std::atomic<int64_t> deadlineNs_{kNoDeadline};
  std::atomic<bool> shortened_{false};
  // An eventfd that wakes a waiting read or write; open while the port is.
  std::atomic<int> wakeFd_{-1};
};

}  // namespace sidera::platform
