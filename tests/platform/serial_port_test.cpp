// The serial port over a pseudo-terminal: time-outs, purge, exclusive
// open, failures and hang-ups. Ports that cannot be opened (missing, not a
// terminal, no permission) are met through CreateMount in link_host_tests.

#include "platform/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

namespace sidera::platform {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A pseudo-terminal: the test holds the controller's end, the port opens the
// terminal end by its path.
class SerialPortOverPty : public ::testing::Test {
 protected:
  void SetUp() override {
    peer_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(peer_, 0);
    ASSERT_EQ(grantpt(peer_), 0);
    ASSERT_EQ(unlockpt(peer_), 0);
    path_ = ptsname(peer_);
    ASSERT_TRUE(port_.Open(path_));
    ASSERT_TRUE(port_.Configure(9600));
  }
  void TearDown() override {
    if (peer_ >= 0) close(peer_);
  }
  void PeerSends(const Bytes& bytes) {
    ASSERT_EQ(write(peer_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // What the peer receives, waiting at most 2 s for each chunk.
  Bytes PeerReceives(size_t count) {
    Bytes got(count);
    size_t n = 0;
    for (pollfd p{peer_, POLLIN, 0}; n < count && poll(&p, 1, 2000) > 0;) {
      const ssize_t r = read(peer_, got.data() + n, count - n);
      if (r <= 0) break;
      n += static_cast<size_t>(r);
    }
    got.resize(n);
    return got;
  }
  Bytes PortReads(size_t count, bool* ok) {
    Bytes buffer(count);
    size_t got = 99;
    *ok = port_.Read(buffer.data(), count, &got);
    buffer.resize(got);
    return buffer;
  }

  int peer_ = -1;
  std::string path_;
  SerialPort port_;
  bool ok_ = false;
};

TEST_F(SerialPortOverPty, RawBytesPassBothWaysUnchanged) {
  // Line-discipline characters: CR, LF, interrupt, end-of-file, XON, XOFF.
  const Bytes toPort = {0x0D, 0x0A, 0x03, 0x04, 0x11, 0x13, 0x00, 0xFF, 0x7F, 0x55};
  const Bytes toPeer = {0x13, 0x11, 0x0A, 0x0D, 0x00, 0x80, 0xAA};
  ASSERT_TRUE(port_.SetTimeouts({30, 2, 500, 2, 30}));
  EXPECT_FALSE(port_.Configure(14400)) << "not a rate the mounts use";
  ASSERT_TRUE(port_.Configure(19200));
  PeerSends(toPort);
  EXPECT_EQ(PortReads(toPort.size(), &ok_), toPort);
  size_t sent = 0;
  ASSERT_TRUE(port_.Write(toPeer.data(), toPeer.size(), &sent));
  EXPECT_EQ(sent, toPeer.size());
  EXPECT_EQ(PeerReceives(toPeer.size()), toPeer) << "nothing echoed ahead of the bytes";
  // Purge discards input that arrived before it.
  PeerSends({9, 9, 9});
  ASSERT_TRUE(port_.Purge(true, true));
  PeerSends({4, 5});
  EXPECT_EQ(PortReads(5, &ok_), (Bytes{4, 5}));
  // ... but never output already written: a request without reply, purged
  // right after, still reaches the far end whole.
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(port_.Write(toPeer.data(), toPeer.size(), &sent));
    ASSERT_TRUE(port_.Purge(true, true));
    ASSERT_EQ(PeerReceives(toPeer.size()), toPeer) << i;
  }
}

// A time-out is not a failure: the read returns true with what it has.
TEST_F(SerialPortOverPty, ReadsEndAtTheTotalOrIntervalTimeout) {
  // No time-out ends early: 100 ms + 2 ms per requested byte. (How late
  // one ends is the scheduler's; only a read that never ends would fail.)
  ASSERT_TRUE(port_.SetTimeouts({30, 2, 100, 0, 0}));
  const auto start = steady_clock::now();
  EXPECT_TRUE(PortReads(10, &ok_).empty());
  EXPECT_GE(steady_clock::now() - start, milliseconds(120));
  EXPECT_TRUE(ok_);
  // After a partial burst the 30 ms interval ends the read, not the 10 s
  // total (half of it is a margin no scheduler delay comes near).
  ASSERT_TRUE(port_.SetTimeouts({30, 0, 10000, 0, 0}));
  PeerSends({1, 2, 3});
  const auto burst = steady_clock::now();
  EXPECT_EQ(PortReads(10, &ok_), (Bytes{1, 2, 3}));
  EXPECT_TRUE(ok_);
  EXPECT_LT(steady_clock::now() - burst, milliseconds(5000));
}

TEST_F(SerialPortOverPty, SecondOpenerIsRefusedUntilTheFirstCloses) {
  SerialPort second;
  EXPECT_FALSE(second.Open(path_));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_STREQ(second.LastError().operation, "held by another program");
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

TEST_F(SerialPortOverPty, WritesGiveUpAfterTheirTimeoutAndHangUpFailsRatherThanWaits) {
  ASSERT_TRUE(port_.SetTimeouts({0, 0, 0, 0, 50}));
  const Bytes large(1 << 20, 0x5A);  // far beyond what the terminal buffers
  size_t sent = 0;
  EXPECT_TRUE(port_.Write(large.data(), large.size(), &sent));
  EXPECT_GT(sent, 0u);
  EXPECT_LT(sent, large.size());
  ASSERT_TRUE(port_.SetTimeouts({0, 0, 0, 0, 0}));  // no time-outs at all
  close(peer_);
  peer_ = -1;
  EXPECT_TRUE(PortReads(4, &ok_).empty());
  EXPECT_FALSE(ok_);
  EXPECT_FALSE(port_.Write(large.data(), 1, &sent));
  EXPECT_EQ(sent, 0u);
}

}  // namespace
}  // namespace sidera::platform
