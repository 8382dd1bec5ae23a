#include "sidera/platform/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "env_guard.h"

namespace sidera::platform {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(SerialDevicePath, PatternFromTheEnvironmentIsFormattedLiterally) {
  struct Case {
    const char* pattern;  // nullptr: unset
    int number;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, 2, "/dev/ttyS2"},
      {"", 0, "/dev/ttyS0"},
      {"/dev/ttyUSB%d", 0, "/dev/ttyUSB0"},
      {"/tmp/mount-line", 7, "/tmp/mount-line"},  // one device for every number
      {"/dev/x%d-%d", 5, "/dev/x5-%d"},           // only the first %d is a number
      {"100%%-%d", 5, "100%-5"},
      // Anything printf would act on stays text.
      {"%s%n", 1, "%s%n"},
      {"%x%p%d%", 4, "%x%p4%"},
  };
  for (const Case& c : cases) {
    testing::EnvGuard env("SIDERA_SERIAL_PATTERN", c.pattern);
    EXPECT_EQ(SerialDevicePath(c.number), c.expected) << (c.pattern ? c.pattern : "(unset)");
  }
  testing::EnvGuard env("SIDERA_SERIAL_PATTERN", "/dev/ttyUSB%d");
  EXPECT_EQ(SerialDevicePath(3, true), "/dev/rfcomm3");
}

// A pseudo-terminal: the test holds the controller's end, the port opens the
// terminal end by its path.
class SerialPortOverPty : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    path_ = ptsname(master_);
    ASSERT_TRUE(port_.Open(path_));
    ASSERT_TRUE(port_.Configure(9600));
  }
  void TearDown() override {
    if (master_ >= 0) close(master_);
  }

  void PeerSends(const Bytes& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // What the peer receives, waiting at most 2 s for each chunk.
  Bytes PeerReceives(size_t count) {
    Bytes got;
    while (got.size() < count) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) break;
      uint8_t buffer[256];
      const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }
  Bytes PortReads(size_t count, bool* ok = nullptr) {
    Bytes buffer(count);
    size_t got = 99;
    const bool result = port_.Read(buffer.data(), count, &got);
    if (ok) *ok = result;
    buffer.resize(got);
    return buffer;
  }

  int master_ = -1;
  std::string path_;
  SerialPort port_;
};

TEST_F(SerialPortOverPty, RawBytesPassBothWaysUnchanged) {
  // Line-discipline characters: CR, LF, interrupt, end-of-file, XON, XOFF.
  const Bytes toPort = {0x0D, 0x0A, 0x03, 0x04, 0x11, 0x13, 0x00, 0xFF, 0x7F, 0x55};
  const Bytes toPeer = {0x13, 0x11, 0x0A, 0x0D, 0x00, 0x80, 0xAA};
  ASSERT_TRUE(port_.SetTimeouts({30, 2, 500, 2, 30}));
  EXPECT_FALSE(port_.Configure(14400)) << "not a rate the mounts use";
  ASSERT_TRUE(port_.Configure(19200));
  PeerSends(toPort);
  EXPECT_EQ(PortReads(toPort.size()), toPort);
  size_t sent = 0;
  ASSERT_TRUE(port_.Write(toPeer.data(), toPeer.size(), &sent));
  EXPECT_EQ(sent, toPeer.size());
  // Nothing echoed ahead of what the port wrote.
  EXPECT_EQ(PeerReceives(toPeer.size()), toPeer);
}

TEST_F(SerialPortOverPty, SilentPeerCostsTheTotalReadTimeout) {
  ASSERT_TRUE(port_.SetTimeouts({30, 2, 100, 0, 0}));
  const auto start = steady_clock::now();
  bool ok = false;
  EXPECT_TRUE(PortReads(10, &ok).empty());
  const auto elapsed = steady_clock::now() - start;
  EXPECT_TRUE(ok) << "a time-out is not a failure";
  // 100 ms + 2 ms per requested byte.
  EXPECT_GE(elapsed, milliseconds(120));
  EXPECT_LT(elapsed, milliseconds(120 + 300));
}

TEST_F(SerialPortOverPty, IntervalTimeoutEndsAReadAfterAPartialBurst) {
  ASSERT_TRUE(port_.SetTimeouts({30, 0, 10000, 0, 0}));
  PeerSends({1, 2, 3});
  const auto start = steady_clock::now();
  bool ok = false;
  EXPECT_EQ(PortReads(10, &ok), (Bytes{1, 2, 3}));
  EXPECT_TRUE(ok);
  EXPECT_LT(steady_clock::now() - start, milliseconds(5000)) << "waited for the total time-out";
}

TEST_F(SerialPortOverPty, PurgeDiscardsInputThatArrivedBefore) {
  ASSERT_TRUE(port_.SetTimeouts({30, 2, 200, 0, 0}));
  PeerSends({9, 9, 9});
  ASSERT_TRUE(port_.Purge(true, true));
  PeerSends({4, 5});
  EXPECT_EQ(PortReads(5), (Bytes{4, 5}));
}

TEST_F(SerialPortOverPty, SecondOpenerIsRefusedUntilTheFirstCloses) {
  SerialPort second;
  EXPECT_FALSE(second.Open(path_));
  EXPECT_FALSE(second.IsOpen());
  port_.Close();
  // Exclusive mode is handed back with the port, or unprivileged programs
  // could never open the terminal again.
  const int probe = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(probe, 0);
  int exclusive = 1;
  ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  close(probe);
  EXPECT_TRUE(second.Open(path_));
}

TEST_F(SerialPortOverPty, PtyHasNoModemLinesSoRtsIsIgnoredAndCtsReadsOff) {
  EXPECT_TRUE(port_.SetRts(true));
  EXPECT_TRUE(port_.SetRts(false));
  bool cts = true;
  EXPECT_TRUE(port_.GetCts(&cts));
  EXPECT_FALSE(cts);
}

TEST_F(SerialPortOverPty, PeerHangUpFailsReadsAndWritesInsteadOfWaiting) {
  ASSERT_TRUE(port_.SetTimeouts({0, 0, 0, 0, 0}));  // no time-outs at all
  close(master_);
  master_ = -1;
  bool ok = true;
  EXPECT_TRUE(PortReads(4, &ok).empty());
  EXPECT_FALSE(ok);
  const uint8_t byte = 0x42;
  size_t sent = 99;
  EXPECT_FALSE(port_.Write(&byte, 1, &sent));
  EXPECT_EQ(sent, 0u);
}

TEST_F(SerialPortOverPty, WriteToAPeerThatStopsReadingGivesUpAfterItsTimeout) {
  ASSERT_TRUE(port_.SetTimeouts({0, 0, 0, 0, 50}));
  const Bytes large(1 << 20, 0x5A);  // far beyond what the terminal buffers
  size_t sent = 0;
  EXPECT_TRUE(port_.Write(large.data(), large.size(), &sent));
  EXPECT_GT(sent, 0u);
  EXPECT_LT(sent, large.size());
}

TEST(SerialPort, OpenRefusesWhatIsNotAnAvailableTerminal) {
  for (const char* path : {"/nonexistent/ttyS0", "/dev/null", "/tmp", ""}) {
    SerialPort port;
    EXPECT_FALSE(port.Open(path)) << path;
    EXPECT_FALSE(port.IsOpen());
  }
}

TEST(SerialPort, ClosedPortFailsReadsAndWrites) {
  SerialPort port;
  uint8_t byte = 0;
  size_t count = 99;
  EXPECT_FALSE(port.Read(&byte, 1, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(port.Write(&byte, 1, &count));
  EXPECT_FALSE(port.Configure(9600));
}

}  // namespace
}  // namespace sidera::platform
