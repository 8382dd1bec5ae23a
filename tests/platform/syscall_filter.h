// Makes one system call fail with a chosen error for the rest of the
// process (a seccomp filter), so that tests can meet what odd devices and
// old kernels do. Use it only in a child process, such as a death test's.
#pragma once

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace sidera::platform::testing {

// From now on, system call `number` fails with `error` when its first
// argument equals `arg0` and its second equals `arg1` (either may be
// unset: any value); every other call runs as usual. The low 32 bits of an
// argument are compared. False when the filter could not be installed.
inline bool FailSystemCall(int number, int error, std::optional<uint32_t> arg0 = std::nullopt,
                           std::optional<uint32_t> arg1 = std::nullopt) {
#if defined(__x86_64__) || defined(__aarch64__)
#if defined(__x86_64__)
  constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#else
  constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#endif
  auto low = [](int i) {  // the low half of argument i (little-endian)
    return static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * i);
  };
  // Every test that does not match jumps to the final "allow".
  sock_filter f[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 0, 7),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(number), 0, 5),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, low(0)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arg0.value_or(0), 0, static_cast<uint8_t>(arg0 ? 3 : 0)),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, low(1)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arg1.value_or(0), 0, static_cast<uint8_t>(arg1 ? 1 : 0)),
      BPF_STMT(BPF_RET | BPF_K,
               SECCOMP_RET_ERRNO | (static_cast<uint32_t>(error) & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof f / sizeof f[0]), f};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
#else
  (void)number, (void)error, (void)arg0, (void)arg1;
  return false;
#endif
}

}  // namespace sidera::platform::testing
