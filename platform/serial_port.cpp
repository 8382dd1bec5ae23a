// Serial ports as POSIX terminals, with read and write time-outs done by poll.

#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/debug_log.h"

namespace sidera::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Kernel-internal "no such ioctl" code that some drivers leak to user space.
constexpr int kErrNoIoctlCmd = 515;

// Errors with which a terminal says it has no modem lines (a pseudo-terminal,
// say): SetRts then does nothing and CTS reads off.
bool LacksModemLines(int error) {
  return error == ENOTTY || error == EINVAL || error == kErrNoIoctlCmd;
}

// Errors with which a terminal turns down exclusive mode because it does not
// support it (old kernels, some adapters); the port is then used without it.
bool LacksExclusiveMode(int error) {
  return error == ENOTTY || error == EINVAL || error == kErrNoIoctlCmd;
}

// How long a loop pauses when the device claims to be ready and then moves no
// byte, so that such a device cannot make it spin.
constexpr std::chrono::milliseconds kNoProgressPause(1);

// Caps a time-out so that deadline arithmetic cannot overflow; a week is as
// good as forever for a serial line.
constexpr uint64_t kLongestTimeoutMs = 7ull * 24 * 3600 * 1000;

// multiplier x count + constant in milliseconds, or nothing when both are zero
// (no total limit).
std::optional<Clock::time_point> TotalDeadline(Clock::time_point start, uint32_t multiplierMs,
                                               uint32_t constantMs, size_t count) {
  if (multiplierMs == 0 && constantMs == 0) {
    return std::nullopt;
  }
  uint64_t ms = constantMs;
  if (multiplierMs != 0) {
    const uint64_t perByte = multiplierMs;
    ms += count > kLongestTimeoutMs / perByte ? kLongestTimeoutMs : perByte * count;
  }
  return start + std::chrono::milliseconds(std::min(ms, kLongestTimeoutMs));
}

// The earlier of two optional deadlines (none: no limit).
std::optional<Clock::time_point> Earlier(std::optional<Clock::time_point> a,
                                         std::optional<Clock::time_point> b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(*a, *b);
}

bool Passed(std::optional<Clock::time_point> deadline) {
  return deadline && Clock::now() >= *deadline;
}

void Append(std::vector<uint8_t>& to, const uint8_t* bytes, size_t count) {
  to.insert(to.end(), bytes, bytes + count);
}

enum class WaitResult { kReady, kTimedOut, kHungUp, kFailed };

// Waits until `fd` is ready for `events` or the deadline that `deadline()`
// gives (none: no limit) passes. A wake-up on `wakeFd` (another thread moved
// the deadline) or an interrupted wait looks again with the deadline then in
// force.
template <typename DeadlineOf>
WaitResult WaitReady(int fd, int wakeFd, short events, const DeadlineOf& deadline) {
  for (;;) {
    const std::optional<Clock::time_point> until = deadline();
    timespec remaining{};
    timespec* timeout = nullptr;
    if (until) {
      const auto left = *until - Clock::now();
      if (left <= Clock::duration::zero()) {
        // Still look once, so that data already waiting is not lost to a
        // deadline that passed while we were busy.
      } else {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        remaining.tv_sec = static_cast<time_t>(ns / 1000000000);
        remaining.tv_nsec = static_cast<long>(ns % 1000000000);
      }
      timeout = &remaining;
    }
    pollfd entries[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    const int n = ppoll(entries, wakeFd >= 0 ? 2 : 1, timeout, nullptr);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return WaitResult::kFailed;
    }
    const pollfd& entry = entries[0];
    if (entry.revents & events) {
      return WaitResult::kReady;
    }
    if (entry.revents & POLLNVAL) {
      errno = EBADF;
      return WaitResult::kFailed;
    }
    if (entry.revents & (POLLHUP | POLLERR)) {
      return WaitResult::kHungUp;  // without data
    }
    if (n > 0 && (entries[1].revents & POLLIN) != 0) {
      uint64_t drained = 0;
      (void)!::read(wakeFd, &drained, sizeof drained);
      continue;  // the deadline moved: wait again until the new one
    }
    return WaitResult::kTimedOut;
  }
}

std::optional<speed_t> SpeedFor(uint32_t baudRate) {
  switch (baudRate) {
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string SerialError::Text() const {
  if (operation == nullptr) return "";
  std::string text = operation;
  if (error != 0) {
    char buffer[128];
    // GNU strerror_r: returns the message, which may or may not be `buffer`.
    text += ": ";
    text += strerror_r(error, buffer, sizeof buffer);
    text += " (errno " + std::to_string(error) + ")";
  }
  return text;
}

namespace {

std::mutex g_patternMutex;
std::optional<std::string> g_pattern;  // set by SetSerialPattern; g_patternMutex

}  // namespace

void SetSerialPattern(const char* pattern) {
  std::lock_guard<std::mutex> lock(g_patternMutex);
  if (pattern == nullptr) {
    g_pattern.reset();
  } else {
    g_pattern = pattern;
  }
}

std::string ExpandSerialPattern(const std::string& pattern, int number) {
  // The pattern comes from the environment, so it is interpreted here rather
  // than by printf: the first "%d" becomes the number, "%%" becomes "%", and
  // every other character, including any other conversion, is copied as is.
  const std::string p = pattern.empty() ? "/dev/ttyS%d" : pattern;
  std::string path;
  bool substituted = false;
  for (size_t i = 0; i < p.size(); ++i) {
    const bool percentNext = p[i] == '%' && i + 1 < p.size();
    if (percentNext && p[i + 1] == '%') {
      path += '%';
      ++i;
    } else if (!substituted && percentNext && p[i + 1] == 'd') {
      path += std::to_string(number);
      substituted = true;
      ++i;
    } else {
      path += p[i];
    }
  }
  return path;
}

std::string SerialDevicePath(int number, bool bluetooth) {
  if (bluetooth) {
    return "/dev/rfcomm" + std::to_string(number);
  }
  std::string chosen;
  {
    std::lock_guard<std::mutex> lock(g_patternMutex);
    if (g_pattern) chosen = *g_pattern;
  }
  if (chosen.empty()) {
    const char* fromEnvironment = std::getenv("SIDERA_SERIAL_PATTERN");
    if (fromEnvironment != nullptr) chosen = fromEnvironment;
  }
  return ExpandSerialPattern(chosen, number);
}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Open(const std::string& path) {
  Close();
  ClearError();
  // Non-blocking, so that neither a missing carrier nor a busy device can hold
  // the open; reads and writes wait in poll instead.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Fail("open", errno);
    return false;
  }
  auto refuse = [this, fd](const char* operation, int error) {
    Fail(operation, error);
    ::close(fd);
    return false;
  };
  if (!::isatty(fd)) {
    return refuse("not a terminal", errno);
  }
  // Exclusive use: the advisory lock turns away every other SerialPort,
  // privileged or not, and TIOCEXCL later opens by unprivileged programs. A
  // terminal without exclusive mode is still usable; one that is held is not.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return refuse(errno == EWOULDBLOCK ? "held by another program" : "lock", errno);
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    const int error = errno;
    if (!LacksExclusiveMode(error)) return refuse("exclusive mode", error);
    SIDERA_DEBUG_LOG(kIo, "%s: used without exclusive mode (%s)", path.c_str(),
                     SerialError{"TIOCEXCL", error}.Text().c_str());
  }
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    return refuse("eventfd", errno);
  }
  wakeFd_ = wake;
  fd_ = fd;
  return true;
}

void SerialPort::Close() {
  if (fd_ < 0) {
    return;
  }
  // Exclusive mode belongs to the terminal, not to this descriptor; a
  // pseudo-terminal outlives our close, so give the mode up explicitly or the
  // next unprivileged open of the same device would be refused.
  (void)::ioctl(fd_, TIOCNXCL);
  (void)::close(fd_);
  fd_ = -1;
  (void)::close(wakeFd_.exchange(-1));
}

void SerialPort::SetDeadline(std::optional<Clock::time_point> deadline) {
  deadlineNs_ = deadline ? deadline->time_since_epoch().count() : kNoDeadline;
  shortened_ = false;
}

void SerialPort::ShortenDeadline(Clock::time_point deadline) {
  const int64_t ns = deadline.time_since_epoch().count();
  int64_t seen = deadlineNs_.load();
  while (ns < seen) {
    if (deadlineNs_.compare_exchange_weak(seen, ns)) {
      shortened_ = true;
      break;
    }
  }
  const uint64_t one = 1;
  const int wake = wakeFd_.load();
  if (wake >= 0) (void)!::write(wake, &one, sizeof one);
}

std::optional<Clock::time_point> SerialPort::Deadline() const {
  const int64_t ns = deadlineNs_.load();
  if (ns == kNoDeadline) return std::nullopt;
  return Clock::time_point(Clock::duration(ns));
}

bool SerialPort::Configure(uint32_t baudRate) {
  const std::optional<speed_t> speed = SpeedFor(baudRate);
  if (fd_ < 0) {
    Fail("configure a port that is not open", 0);
    return false;
  }
  if (!speed) {
    Fail("configure", EINVAL);
    return false;
  }
  termios settings{};
  if (::tcgetattr(fd_, &settings) != 0) {
    Fail("read the terminal settings", errno);
    return false;
  }
  ::cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD | CS8;
  settings.c_cflag &= ~(CSTOPB | CRTSCTS);
  settings.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
  // Reads never block in the driver; the time-outs are ours.
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (::cfsetispeed(&settings, *speed) != 0 || ::cfsetospeed(&settings, *speed) != 0 ||
      ::tcsetattr(fd_, TCSANOW, &settings) != 0) {
    Fail("apply the terminal settings", errno);
    return false;
  }
  return true;
}

bool SerialPort::SetTimeouts(const SerialTimeouts& timeouts) {
  timeouts_ = timeouts;
  return fd_ >= 0;
}

bool SerialPort::Read(uint8_t* data, size_t length, size_t* transferred) {
  size_t got = 0;
  if (transferred != nullptr) {
    *transferred = 0;
  }
  if (fd_ < 0) {
    Fail("read from a port that is not open", 0);
    return false;
  }
  if (data == nullptr && length != 0) {
    Fail("read", EINVAL);
    return false;
  }
  const Clock::time_point start = Clock::now();
  const std::optional<Clock::time_point> ownDeadline =
      TotalDeadline(start, timeouts_.readTotalMultiplierMs, timeouts_.readTotalConstantMs, length);
  // An interval of all ones with no total limit means "return at once with
  // whatever has arrived".
  const bool returnAtOnce = timeouts_.readIntervalMs == UINT32_MAX && !ownDeadline;
  // The shared deadline may move while we wait (ShortenDeadline), so it is
  // looked up afresh every time.
  const auto totalDeadline = [&] { return Earlier(ownDeadline, Deadline()); };
  Clock::time_point lastByte = start;
  bool ok = true;
  while (got < length) {
    const auto deadline = [&]() -> std::optional<Clock::time_point> {
      if (returnAtOnce) return start;
      std::optional<Clock::time_point> d = totalDeadline();
      if (got > 0 && timeouts_.readIntervalMs != 0) {
        d = Earlier(d, lastByte + std::chrono::milliseconds(timeouts_.readIntervalMs));
      }
      return d;
    };
    const WaitResult wait = WaitReady(fd_, wakeFd_.load(), POLLIN, deadline);
    if (wait == WaitResult::kTimedOut) {
      break;
    }
    if (wait != WaitResult::kReady) {
      Fail(wait == WaitResult::kHungUp ? "read: the line hung up" : "read: poll",
           wait == WaitResult::kHungUp ? 0 : errno);
      ok = got > 0;
      break;
    }
    const ssize_t n = ::read(fd_, data + got, length - got);
    if (n > 0) {
      if (tap_ != nullptr) Append(tap_->read, data + got, static_cast<size_t>(n));
      got += static_cast<size_t>(n);
      lastByte = Clock::now();
      // A line that keeps delivering must not stretch the total time-out.
      if (const auto total = totalDeadline(); total && lastByte >= *total) {
        break;
      }
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      // Readable but nothing to read is a hang-up; anything else is an error.
      Fail(n == 0 ? "read: the line hung up" : "read", n == 0 ? 0 : errno);
      ok = got > 0;
      break;
    }
    // Reported readable, yet nothing came (another reader took the bytes, or
    // a spurious wake-up). Past the deadline that ends the read; before it,
    // pause a moment so that such a device cannot make this loop spin.
    if (returnAtOnce || Passed(deadline())) {
      break;
    }
    std::this_thread::sleep_for(kNoProgressPause);
  }
  if (transferred != nullptr) {
    *transferred = got;
  }
  return ok;
}

bool SerialPort::Write(const uint8_t* data, size_t length, size_t* transferred) {
  size_t sent = 0;
  if (transferred != nullptr) {
    *transferred = 0;
  }
  if (fd_ < 0) {
    Fail("write to a port that is not open", 0);
    return false;
  }
  if (data == nullptr && length != 0) {
    Fail("write", EINVAL);
    return false;
  }
  const std::optional<Clock::time_point> ownDeadline = TotalDeadline(
      Clock::now(), timeouts_.writeTotalMultiplierMs, timeouts_.writeTotalConstantMs, length);
  const auto deadline = [&] { return Earlier(ownDeadline, Deadline()); };
  bool ok = true;
  bool reportedReady = false;  // the last wait said there was room
  while (sent < length) {
    const ssize_t n = ::write(fd_, data + sent, length - sent);
    if (n > 0) {
      if (tap_ != nullptr) Append(tap_->written, data + sent, static_cast<size_t>(n));
      sent += static_cast<size_t>(n);
      reportedReady = false;
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN) {
      Fail("write", errno);
      ok = false;
      break;
    }
    if (reportedReady) {
      // The device said it had room and still took nothing: past the
      // deadline that ends the write; before it, pause rather than spin.
      if (Passed(deadline())) {
        break;
      }
      std::this_thread::sleep_for(kNoProgressPause);
    }
    // The output buffer is full: wait for room until the time-out.
    const WaitResult wait = WaitReady(fd_, wakeFd_.load(), POLLOUT, deadline);
    if (wait == WaitResult::kTimedOut) {
      break;
    }
    if (wait != WaitResult::kReady) {
      Fail(wait == WaitResult::kHungUp ? "write: the line hung up" : "write: poll",
           wait == WaitResult::kHungUp ? 0 : errno);
      ok = false;
      break;
    }
    reportedReady = true;
  }
  if (transferred != nullptr) {
    *transferred = sent;
  }
  return ok;
}

bool SerialPort::Purge(bool transmit, bool receive) {
  if (fd_ < 0) {
    return false;
  }
  // Bytes a Write has accepted count as sent, as on a port whose writes
  // complete once the bytes are out: the transmit side waits (within the
  // write time-out and the exchange deadline) for them to leave rather than
  // discarding them. Discarding would cut off a request that a protocol
  // without echo or reply has just written (on a pseudo-terminal even after
  // the write has returned).
  bool ok = true;
  if (transmit) {
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) queued = 0;
    // Without any time-out a stuck transmitter still gets no more than 2 s.
    const Clock::time_point now = Clock::now();
    const std::optional<Clock::time_point> limit =
        Earlier(Earlier(TotalDeadline(now, timeouts_.writeTotalMultiplierMs,
                                      timeouts_.writeTotalConstantMs, static_cast<size_t>(queued)),
                        Deadline()),
                now + std::chrono::seconds(2));
    while (queued > 0 && !Passed(limit) && ::ioctl(fd_, TIOCOUTQ, &queued) == 0) {
      if (queued > 0) std::this_thread::sleep_for(kNoProgressPause);
    }
  }
  if (receive && ::tcflush(fd_, TCIFLUSH) != 0) {
    Fail("purge", errno);
    ok = false;
  }
  return ok;
}

bool SerialPort::SetRts(bool on) {
  if (fd_ < 0) {
    return false;
  }
  int bits = TIOCM_RTS;
  if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) {
    return true;
  }
  return LacksModemLines(errno);
}

bool SerialPort::GetCts(bool* on) {
  bool cts = false;
  bool ok = false;
  if (fd_ >= 0) {
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) == 0) {
      cts = (bits & TIOCM_CTS) != 0;
      ok = true;
    } else {
      ok = LacksModemLines(errno);
    }
  }
  if (on != nullptr) {
    *on = cts;
  }
  return ok;
}

}  // namespace sidera::platform
