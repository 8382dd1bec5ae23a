// The serial link as a host meets it: a line that trickles noise ends an
// exchange by its deadline, a port that cannot be opened fails CreateMount at
// once and leaves its reason in the debug log, and the log's exchange lines
// show exactly the bytes the controller emulator received.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulators/common/pty_line.h"
#include "tests/packet_bus/packet_bus_fixture.h"

namespace sidera::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(NoisyLine, AnExchangeOnALineThatTricklesNoiseFailsByItsDeadline) {
  emulator::PtyLine pty;
  ASSERT_TRUE(pty.Open());
  setenv("SIDERA_SERIAL_PATTERN", pty.SlavePath().c_str(), 1);
  // One stray byte (never the 0x3B preamble) every half second: each byte
  // arrives just before a single read would time out.
  std::atomic<bool> stop{false};
  std::thread noise([&] {
    const uint8_t stray = 0x55;
    while (!stop) {
      (void)!write(pty.MasterFd(), &stray, 1);
      std::this_thread::sleep_for(milliseconds(500));
    }
  });
  const auto start = steady_clock::now();
  EXPECT_EQ(CreateMount(1, 0.6, 100.0), 100) << "the first version query finds no reply";
  EXPECT_LT(steady_clock::now() - start, milliseconds(2500));
  stop = true;
  noise.join();
}

enum class Port { kMissing, kRegularFile, kNoPermission };

// Runs in a child process: creates every hardware model of this build on an
// unusable port with the io log on. 0 when each failed at once with the
// axis-0 code.
int CreateOnUnusablePort(Port port) {
  emulator::PtyLine pty;
  char file[] = "/tmp/sidera-not-a-tty-XXXXXX";
  std::string path = "/nonexistent/sidera-port";
  if (port == Port::kRegularFile) close(mkstemp(file)), path = file;
  if (port == Port::kNoPermission) {
    // Tests run as root: give root up for an account that may not open a
    // fresh pseudo-terminal (root's, mode 0620).
    if (!pty.Open()) return 4;
    path = pty.SlavePath();
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return 2;
    (void)prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);  // keeps /proc/self readable for the sanitizers
  }
  setenv("SIDERA_DEBUG", "io", 1);
  setenv("SIDERA_SERIAL_PATTERN", path.c_str(), 1);
  int failedAtOnce = 0;
  for (int model : {0, 1, 2, 3, 4, 5, 8, 9, 10, 11}) {
    const auto start = steady_clock::now();
    const int result = CreateMount(model, 0.6, 100.0);
    if (result == 300) continue;  // no class for this model in this build
    if (result != 100 || steady_clock::now() - start > milliseconds(1000)) return 10 + model;
    ++failedAtOnce;
  }
  if (port == Port::kRegularFile) unlink(file);
  return failedAtOnce > 0 ? 0 : 3;
}

// The death-test machinery hands us the child's standard error to match.
TEST(UnusablePortDeathTest, CreateMountFailsAtOnceAndTheLogSaysWhy) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::pair<Port, const char*> cases[] = {
      {Port::kMissing, "did not open: open: No such file or directory"},
      {Port::kRegularFile, "did not open: not a terminal"},
      {Port::kNoPermission, "did not open: open: Permission denied"}};
  for (const auto& [port, reason] : cases) {
    EXPECT_EXIT((alarm(30), _exit(CreateOnUnusablePort(port))), ::testing::ExitedWithCode(0),
                reason);
  }
}

// "3B 03 32 10 01 BA " for each frame, as the log writes bytes (plus a space).
std::string Hex(const Bytes& bytes) {
  std::string text;
  char digits[4];
  for (uint8_t b : bytes) text += (std::snprintf(digits, sizeof digits, "%02X ", b), digits);
  return text;
}

using DebugLogTest = PacketBusTest;

// SIDERA_DEBUG is read again at every CreateMount: the io topic logs every
// exchange of the connect and of a position read, and nothing otherwise.
TEST_F(DebugLogTest, IoLinesShowTheBytesTheEmulatorSawAndNothingWhenOff) {
  for (const char* setting : {"io", "1", "motion", ""}) {
    SCOPED_TRACE(setting);
    setenv("SIDERA_DEBUG", setting, 1);
    double angle = 0.0;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Create(1), 0);
    EXPECT_EQ(GetAxisPosition(0, &angle), 0);
    const std::string log = ::testing::internal::GetCapturedStderr();
    std::string sent, expected;
    int lines = 0;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
      const size_t out = line.find(" io [t"), at = line.find("] exchange sent [");
      if (out == std::string::npos || at == std::string::npos) continue;
      ++lines;
      const std::string bytes = line.substr(at + 17, line.find(']', at + 17) - at - 17) + " ";
      sent += bytes;
      // The shared line echoes the request ahead of the reply.
      EXPECT_NE(line.find("read [" + bytes), std::string::npos) << line;
      EXPECT_EQ(line.substr(line.size() - 6), " ms ok") << line;
    }
    for (const auto& r : emu->Requests()) expected += Hex(r.bytes);
    const bool io = setting[0] == 'i' || setting[0] == '1';
    ASSERT_GE(emu->Requests().size(), 9u) << "the connect's requests and the position read";
    EXPECT_EQ(lines, io ? static_cast<int>(emu->Requests().size()) : 0);
    if (io) {
      EXPECT_EQ(sent, expected);
      EXPECT_NE(log.find("port 4 (" + emu->DevicePath() + ") opened"), std::string::npos) << log;
    } else {
      EXPECT_EQ(log, "");
    }
  }
  unsetenv("SIDERA_DEBUG");
}

}  // namespace
}  // namespace sidera::testing
