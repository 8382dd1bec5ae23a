// The link's request/reply exchange: the order of the line-handling steps,
// the failures it reports, and the lock that serialises threads.
#include "sidera/link/serial_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sidera/platform/clock.h"

namespace sidera {
namespace {

// A link whose line is simulated: every step is logged, the write succeeds
// or fails on demand, and the reply can be held back until released.
class ScriptedLink : public SerialLink {
 public:
  int beginTransmit() override {
    Log("begin");
    return 1;
  }
  int write(const uint8_t* bytes, uint32_t length) override {
    Log("write " + std::string(bytes, bytes + length));
    lastWriteLength = length;
    return writeFails ? 1 : 0;
  }
  int finishWrite() override {
    Log("finish");
    return finishRefuses ? 0 : 1;
  }
  int readReply(uint8_t* reply) override {
    Log("read");
    {
      std::unique_lock<std::mutex> lock(gateMutex);
      inReply = true;
      gateChanged.notify_all();
      gateChanged.wait(lock, [&] { return !holdReply; });
      inReply = false;
    }
    if (reply != nullptr) reply[0] = 0x3B;
    return replyFails ? 1 : 0;
  }
  void endTransmit() override { Log("end"); }

  void Log(const std::string& s) {
    std::lock_guard<std::mutex> lock(logMutex);
    log.push_back(s);
  }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(logMutex);
    return log;
  }
  void WaitUntilInReply() {
    std::unique_lock<std::mutex> lock(gateMutex);
    gateChanged.wait(lock, [&] { return inReply; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(gateMutex);
    holdReply = false;
    gateChanged.notify_all();
  }

  std::atomic<bool> writeFails{false};
  std::atomic<bool> finishRefuses{false};
  std::atomic<bool> replyFails{false};
  bool holdReply = false;  // guarded by gateMutex

 private:
  std::mutex logMutex;
  std::vector<std::string> log;
  std::mutex gateMutex;
  std::condition_variable gateChanged;
  bool inReply = false;
};

class SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No device behind any port number: the link opens nothing.
    setenv("SIDERA_SERIAL_PATTERN", "/nonexistent/sidera-link-test-%d", 1);
  }
};

using Steps = std::vector<std::string>;

TEST_F(SerialLinkTest, ExchangeRunsTheLineStepsInOrderAndReportsFailures) {
  struct Case {
    const char* what;
    bool writeFails, finishRefuses, replyFails;
    int result;
    Steps steps;
  };
  const Case cases[] = {
      {"reply read", false, false, false, 0, {"begin", "write AB", "finish", "read", "end"}},
      {"no valid reply", false, false, true, 1, {"begin", "write AB", "finish", "read", "end"}},
      {"echo stage refuses", false, true, false, 1, {"begin", "write AB", "finish", "end"}},
      {"write fails", true, false, false, 1, {"begin", "write AB", "end"}},
  };
  for (const Case& c : cases) {
    ScriptedLink link;
    link.writeFails = c.writeFails;
    link.finishRefuses = c.finishRefuses;
    link.replyFails = c.replyFails;
    uint8_t reply[32] = {};
    EXPECT_EQ(link.exchange(reinterpret_cast<const uint8_t*>("AB"), 2, reply), c.result) << c.what;
    EXPECT_EQ(link.Log(), c.steps) << c.what;
    EXPECT_TRUE(link.lockEvent.IsSet()) << c.what << ": the lock is free again";
  }
}

// Only the readReply slot is supplied: the base write meets a port that did
// not open.
class PortOnlyLink : public SerialLink {
 public:
  int readReply(uint8_t*) override { return 0; }
};

TEST_F(SerialLinkTest, ALinkWhosePortDidNotOpenFailsEveryExchangeAndStaysFree) {
  PortOnlyLink link;
  EXPECT_FALSE(link.port.IsOpen());
  const uint8_t request[] = {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA};
  EXPECT_EQ(link.exchange(request, sizeof request, nullptr), 1);
  EXPECT_EQ(link.lastWriteLength, sizeof request) << "recorded even when the write fails";
  EXPECT_EQ(link.exchange(request, sizeof request, nullptr), 1) << "not 5: the lock was released";
  EXPECT_EQ(link.probeHandshake(), 0) << "a dead line does not answer the handshake";
}

TEST_F(SerialLinkTest, ASecondExchangeWaitsForTheFirstReply) {
  ScriptedLink link;
  link.holdReply = true;
  std::thread first(
      [&] { EXPECT_EQ(link.exchange(reinterpret_cast<const uint8_t*>("1"), 1, nullptr), 0); });
  link.WaitUntilInReply();
  std::thread second(
      [&] { EXPECT_EQ(link.exchange(reinterpret_cast<const uint8_t*>("2"), 1, nullptr), 0); });
  // Give the second caller time to reach the lock (a few ms; far below the
  // 2000-tick limit), then let the first reply arrive.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(link.Log().size(), 4u) << "the second request was not sent meanwhile";
  link.Release();
  first.join();
  second.join();
  const Steps expected = {"begin", "write 1", "finish", "read", "end",
                          "begin", "write 2", "finish", "read", "end"};
  EXPECT_EQ(link.Log(), expected);
}

TEST_F(SerialLinkTest, AWaiterPastTheLockLimitGetsBusyAndSendsNothing) {
  // 2000 ticks pass in 20 ms of real time.
  platform::ScaledTickSource fast(100.0);
  platform::ScopedTickSource install(fast);
  ScriptedLink link;
  link.holdReply = true;
  std::thread first(
      [&] { EXPECT_EQ(link.exchange(reinterpret_cast<const uint8_t*>("1"), 1, nullptr), 0); });
  link.WaitUntilInReply();
  EXPECT_EQ(link.exchange(reinterpret_cast<const uint8_t*>("2"), 1, nullptr), 5);
  link.Release();
  first.join();
  const Steps expected = {"begin", "write 1", "finish", "read", "end"};
  EXPECT_EQ(link.Log(), expected);
  EXPECT_TRUE(link.lockEvent.IsSet()) << "the busy caller did not take or leak the lock";
}

}  // namespace
}  // namespace sidera
