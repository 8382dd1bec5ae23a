// The serial link as a host meets it: a line that trickles noise ends an
// exchange by its deadline, a port that cannot be opened fails CreateMount at
// once and leaves its reason in the debug log, and the log's exchange lines
// show exactly the bytes the controller emulator received.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/family1/family1_fixture.h"

namespace sidera::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A pseudo-terminal whose controller end the test holds.
struct TestPty {
  TestPty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) path = ptsname(master);
  }
  ~TestPty() {
    if (master >= 0) close(master);
  }
  int master = -1;
  std::string path;
};

TEST(NoisyLine, AnExchangeOnALineThatTricklesNoiseFailsByItsDeadline) {
  TestPty pty;
  ASSERT_FALSE(pty.path.empty());
  setenv("SIDERA_SERIAL_PATTERN", pty.path.c_str(), 1);
  // One stray byte (never the 0x3B preamble) every half second: each byte
  // arrives just before a single read would time out.
  std::atomic<bool> stop{false};
  std::thread noise([&] {
    const uint8_t stray = 0x55;
    while (!stop) {
      (void)!write(pty.master, &stray, 1);
      std::this_thread::sleep_for(milliseconds(500));
    }
  });
  const auto start = steady_clock::now();
  EXPECT_EQ(CreateMount(1, 0.6, 100.0), 100) << "the first version query finds no reply";
  EXPECT_LT(steady_clock::now() - start, milliseconds(2500));
  stop = true;
  noise.join();
}

// Each case runs in a child process (it may drop privileges, and the
// death-test machinery hands us the child's standard error to match the
// reason against). Every hardware model this build has fails at once with
// the axis-0 code.
TEST(UnusablePortDeathTest, CreateMountFailsAtOnceAndTheLogSaysWhy) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  enum class Port { kMissing, kRegularFile, kNoPermission };
  const struct {
    Port port;
    const char* reason;
  } cases[] = {
      {Port::kMissing, "did not open: open: No such file or directory"},
      {Port::kRegularFile, "did not open: not a terminal"},
      // Tests run as root; the child gives up root for an account that may
      // not open the terminal (a fresh pseudo-terminal is root's, mode 0620).
      {Port::kNoPermission, "did not open: open: Permission denied"},
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          alarm(30);
          TestPty pty;
          std::string path = "/nonexistent/sidera-port";
          char file[] = "/tmp/sidera-not-a-tty-XXXXXX";
          if (c.port == Port::kRegularFile) {
            const int fd = mkstemp(file);
            if (fd < 0) _exit(3);
            close(fd);
            path = file;
          }
          if (c.port == Port::kNoPermission) {
            path = pty.path;
            if (getuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
              _exit(4);
            }
            // Keep /proc/self readable for the sanitizer runtimes.
            (void)prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
          }
          setenv("SIDERA_DEBUG", "io", 1);
          setenv("SIDERA_SERIAL_PATTERN", path.c_str(), 1);
          int failedAtOnce = 0;
          for (int model : {0, 1, 2, 3, 4, 5, 8, 9, 10, 11}) {
            const auto start = steady_clock::now();
            const int result = CreateMount(model, 0.6, 100.0);
            if (result == 300) continue;  // no class for this model in this build
            if (result != 100) _exit(10 + model);
            if (steady_clock::now() - start > milliseconds(1000)) _exit(30 + model);
            ++failedAtOnce;
          }
          if (c.port == Port::kRegularFile) unlink(file);
          _exit(failedAtOnce > 0 ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), c.reason);
  }
}

// Standard error, redirected into a temporary file until Finish().
class StderrCapture {
 public:
  StderrCapture() : file_(std::tmpfile()), saved_(dup(STDERR_FILENO)) {
    std::fflush(stderr);
    dup2(fileno(file_), STDERR_FILENO);
  }
  std::string Finish() {
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    std::string text;
    std::rewind(file_);
    for (int ch; (ch = std::fgetc(file_)) != EOF;) text.push_back(static_cast<char>(ch));
    std::fclose(file_);
    return text;
  }

 private:
  std::FILE* file_;
  int saved_;
};

Bytes ParseHex(const std::string& text) {
  Bytes out;
  for (size_t i = 0; i + 2 <= text.size(); i += 3) {
    out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return out;
}

using DebugLogTest = Family1Test;

// SIDERA_DEBUG is read again at every CreateMount: the io topic logs every
// exchange of the connect and of a position read, and nothing otherwise.
TEST_F(DebugLogTest, IoLinesShowTheBytesTheEmulatorSawAndNothingWhenOff) {
  const struct {
    const char* setting;
    bool logged;
  } cases[] = {{"io", true}, {"motion", false}, {"1", true}, {"", false}};
  const std::regex exchange(
      R"(sidera \S+ \S+ io \[t\d+\] exchange sent \[([0-9A-F ]*)\] read \[([0-9A-F ]*)\] )"
      R"([0-9.]+ ms (\w+))");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    setenv("SIDERA_DEBUG", c.setting, 1);
    StderrCapture capture;
    const int created = Create(1);
    double angle = 0.0;
    const int read = GetAxisPosition(0, &angle);
    const std::string log = capture.Finish();
    ASSERT_EQ(created, 0);
    ASSERT_EQ(read, 0);

    Bytes sent;
    int lines = 0;
    for (std::sregex_iterator m(log.begin(), log.end(), exchange), end; m != end; ++m, ++lines) {
      const Bytes out = ParseHex((*m)[1]), in = ParseHex((*m)[2]);
      EXPECT_EQ((*m)[3], "ok");
      // The shared line echoes the request ahead of the reply.
      EXPECT_TRUE(in.size() > out.size() && std::equal(out.begin(), out.end(), in.begin()));
      sent.insert(sent.end(), out.begin(), out.end());
    }
    Bytes received;
    for (const auto& r : emu->Requests())
      received.insert(received.end(), r.bytes.begin(), r.bytes.end());
    if (c.logged) {
      EXPECT_GE(lines, 9) << "the connect's eight requests and the position read";
      EXPECT_EQ(lines, static_cast<int>(emu->Requests().size()));
      EXPECT_EQ(sent, received);
      EXPECT_NE(log.find("port 4 (" + emu->DevicePath() + ") opened"), std::string::npos) << log;
    } else {
      EXPECT_EQ(log.find(" io "), std::string::npos) << log;
    }
  }
  unsetenv("SIDERA_DEBUG");
}

}  // namespace
}  // namespace sidera::testing
