// The serial port against what odd adapters and old kernels do, met through
// system calls made to fail in a child process: exclusive mode or file
// locks that are not supported, and a device that claims to be ready but
// moves no byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include "sidera/platform/serial_port.h"
#include "tests/platform/syscall_filter.h"

namespace sidera::platform {
namespace {

// The descriptor through which this process has `path` open, or -1.
int DescriptorOf(const std::string& path) {
  for (int fd = 0; fd < 1024; ++fd) {
    char link[PATH_MAX] = {};
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(proc.c_str(), link, sizeof link - 1);
    if (n > 0 && path == link) return fd;
  }
  return -1;
}

enum class Step { kOpen, kRead, kWrite };

struct Case {
  const char* name;
  int call;      // system call made to fail
  int error;     // with this error
  bool onPort;   // only on the port's descriptor (installed after opening)
  long request;  // ioctl request to match, 0: any
  Step step;
  bool opens;  // for kOpen: whether the port is usable
  const char* refusal;
};

// Runs one case; the exit code says what went wrong (0: as expected).
int RunCase(const Case& c) {
  const int peer = posix_openpt(O_RDWR | O_NOCTTY);
  if (peer < 0 || grantpt(peer) != 0 || unlockpt(peer) != 0) return 2;
  const std::string path = ptsname(peer);
  auto fail = [&](std::optional<uint32_t> fd) {
    const auto request = c.request != 0 ? std::optional<uint32_t>(c.request) : std::nullopt;
    return testing::FailSystemCall(c.call, c.error, fd, request);
  };
  SerialPort port;
  if (!c.onPort && !fail(std::nullopt)) return 3;
  const bool opened = port.Open(path);
  if (c.step == Step::kOpen) {
    if (opened != c.opens) return 4;
    if (!opened &&
        (port.LastError().Text() != std::string(c.refusal) + ": " + std::strerror(c.error) +
                                        " (errno " + std::to_string(c.error) + ")")) {
      return 5;
    }
    return 0;
  }
  if (!opened || !port.Configure(19200)) return 6;
  const uint8_t bytes[4] = {1, 2, 3, 4};
  if (write(peer, bytes, sizeof bytes) != sizeof bytes) return 7;  // input is waiting
  if (!fail(static_cast<uint32_t>(DescriptorOf(path)))) return 3;
  // 100 ms total time-outs; the port must give up by then, not spin.
  if (!port.SetTimeouts({0, 0, 100, 0, 100})) return 8;
  uint8_t buffer[16];
  size_t moved = 99;
  const auto start = std::chrono::steady_clock::now();
  const bool ok = c.step == Step::kRead ? port.Read(buffer, sizeof buffer, &moved)
                                        : port.Write(buffer, sizeof buffer, &moved);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (!ok || moved != 0) return 9;  // a time-out, not a failure
  if (elapsed > std::chrono::seconds(2)) return 10;
  return 0;
}

TEST(SerialPortFaultDeathTest, OddDevicesAreToleratedOrRefusedWithTheirReason) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Case cases[] = {
      {"no exclusive mode (EINVAL)", __NR_ioctl, EINVAL, false, TIOCEXCL, Step::kOpen, true, ""},
      {"no exclusive mode (ENOTTY)", __NR_ioctl, ENOTTY, false, TIOCEXCL, Step::kOpen, true, ""},
      {"exclusive mode refused", __NR_ioctl, EPERM, false, TIOCEXCL, Step::kOpen, false,
       "exclusive mode"},
      {"no file locks", __NR_flock, ENOLCK, false, 0, Step::kOpen, true, ""},
      {"held by another program", __NR_flock, EWOULDBLOCK, false, 0, Step::kOpen, false,
       "held by another program"},
      {"readable but no byte", __NR_read, EAGAIN, true, 0, Step::kRead, true, ""},
      {"writable but no room", __NR_write, EAGAIN, true, 0, Step::kWrite, true, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          alarm(20);  // a port that spins is killed, and the case fails
          _exit(RunCase(c));
        },
        ::testing::ExitedWithCode(0), "")
        << c.name;
  }
}

}  // namespace
}  // namespace sidera::platform
