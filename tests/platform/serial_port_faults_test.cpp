// The serial port against what odd adapters and old kernels do, met by
// making one system call fail in a child process (a seccomp filter): a
// terminal without exclusive mode, and a device that claims to be ready but
// moves no byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <string>

#include "platform/serial_port.h"

namespace sidera::platform {
namespace {

// From now on system call `nr` fails with `error` when its first argument
// is `arg0`, or its second is `arg1` (-1: any).
bool FailSystemCall(int nr, int error, int64_t arg0, int64_t arg1) {
#if !defined(__x86_64__)
  return (void)nr, (void)error, (void)arg0, (void)arg1, false;
#else
  const auto arg = [](int i) { return uint32_t(offsetof(seccomp_data, args) + 8 * i); };
  const uint32_t match = uint32_t(arg0 >= 0 ? arg0 : arg1);
  sock_filter f[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 5),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(nr), 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, arg(arg0 >= 0 ? 0 : 1)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, match, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | uint32_t(error)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{sizeof f / sizeof f[0], f};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
#endif
}

enum class Step { kOpen, kRead, kWrite };

struct Case {
  const char* name;
  int nr, error;
  Step step;
  bool opens;  // kOpen: whether the port is usable
};

// Runs one case in the child; the exit code says what went wrong.
int RunCase(const Case& c) {
  const int peer = posix_openpt(O_RDWR | O_NOCTTY);
  if (peer < 0 || grantpt(peer) != 0 || unlockpt(peer) != 0) return 2;
  SerialPort port;
  if (c.step == Step::kOpen) {
    if (!FailSystemCall(c.nr, c.error, -1, TIOCEXCL)) return 3;
    if (port.Open(ptsname(peer)) != c.opens) return 4;
    return c.opens || port.LastError().error == c.error ? 0 : 5;
  }
  const std::string path = ptsname(peer);
  if (!port.Open(path) || !port.SetTimeouts({0, 0, 100, 0, 100})) return 6;
  int fd = 0;  // the port's descriptor: the one open on the terminal's path
  for (char link[64]; fd < 1024; ++fd) {
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, 63);
    if (n > 0 && path == std::string(link, static_cast<size_t>(n))) break;
  }
  if (write(peer, "data", 4) != 4 || !FailSystemCall(c.nr, c.error, fd, -1)) return 7;
  uint8_t buffer[16];
  size_t moved = 99;
  const auto start = std::chrono::steady_clock::now();
  const bool ok = c.step == Step::kRead ? port.Read(buffer, sizeof buffer, &moved)
                                        : port.Write(buffer, sizeof buffer, &moved);
  // A time-out (true, nothing moved) after the 100 ms, not a spin.
  if (!ok || moved != 0) return 8;
  return std::chrono::steady_clock::now() - start < std::chrono::seconds(2) ? 0 : 9;
}

TEST(SerialPortFaultDeathTest, OddTerminalsAreUsedAndBusyDevicesCannotMakeTheLoopsSpin) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Case cases[] = {
      {"no exclusive mode (EINVAL)", __NR_ioctl, EINVAL, Step::kOpen, true},
      {"no exclusive mode (ENOTTY)", __NR_ioctl, ENOTTY, Step::kOpen, true},
      {"exclusive mode refused", __NR_ioctl, EPERM, Step::kOpen, false},
      {"readable but no byte", __NR_read, EAGAIN, Step::kRead, true},
      {"writable but no room", __NR_write, EAGAIN, Step::kWrite, true},
  };
  for (const Case& c : cases) {
    // alarm: a port that spins is killed, and the case fails.
    EXPECT_EXIT((alarm(20), _exit(RunCase(c))), ::testing::ExitedWithCode(0), "") << c.name;
  }
}

}  // namespace
}  // namespace sidera::platform
