// The link's request/reply exchange: the order of the line-handling steps,
// the failures it reports, and the lock that serialises threads.
#include "sidera/link/serial_link.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/event.h"
#include "sidera/api/factory.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/link/exchange_scope.h"

namespace sidera {
namespace {

// A link whose line is simulated: every step is logged, each stage fails on
// demand, and the reply is held back while `replyGate` is reset.
class ScriptedLink : public SerialLink {
 public:
  ScriptedLink() : SerialLink(PortAddress{}) {}
  LineReady BeginTransmit() override { return Log("begin "), LineReady::kYes; }
  LineResult Write(const uint8_t* bytes, uint32_t) override {
    Log("write" + std::string(1, char(bytes[0])) + " ");
    return writeFails ? LineResult::kFailed : LineResult::kOk;
  }
  LineReady FinishWrite() override {
    return Log("finish "), finishRefuses ? LineReady::kNo : LineReady::kYes;
  }
  LineResult ReadReply(uint8_t*) override {
    Log("read ");
    inReply.Set();
    (void)replyGate.Wait(platform::Event::kInfinite);
    if (port.DeadlineShortened()) Log("hurried ");
    return replyFails ? LineResult::kFailed : LineResult::kOk;
  }
  void EndTransmit() override { Log("end|"); }
  int Send(char c) {
    return static_cast<int>(Exchange(reinterpret_cast<const uint8_t*>(&c), 1, nullptr));
  }
  // Only one exchange at a time runs these steps, so the log needs no lock
  // of its own; a link that let two in would show up as a data race.
  void Log(const std::string& s) { log += s; }

  bool writeFails = false, finishRefuses = false, replyFails = false;
  platform::Event inReply{platform::Event::Mode::kManualReset, false};
  platform::Event replyGate{platform::Event::Mode::kManualReset, true};
  std::string log;
};

// Only the ReadReply slot is supplied: the base write meets a closed port.
class PortOnlyLink : public SerialLink {
 public:
  PortOnlyLink() : SerialLink(PortAddress{}) {}
  LineResult ReadReply(uint8_t*) override { return LineResult::kOk; }
};

// Every link opens a fresh pseudo-terminal (each open of /dev/ptmx is a new
// one), or, with `device` false, a path where nothing exists.
template <typename Link>
std::unique_ptr<Link> NewLink(bool device = true) {
  setenv("SIDERA_SERIAL_PATTERN", device ? "/dev/ptmx" : "/nonexistent/sidera-link-%d", 1);
  return std::make_unique<Link>();
}

// A port that did not open gets no line handling (begin and end): the
// write is where the exchange fails, at once.
TEST(SerialLink, ExchangeRunsTheLineStepsInOrderAndReportsFailures) {
  struct Case {
    bool device, writeFails, finishRefuses, replyFails;
    int result;
    const char* steps;
  } cases[] = {
      {true, false, false, false, 0, "begin write1 finish read end|"},
      {true, false, false, true, 1, "begin write1 finish read end|"},
      {true, false, true, false, 1, "begin write1 finish end|"},
      {true, true, false, false, 1, "begin write1 end|"},
      {false, true, false, false, 1, "write1 "},
  };
  for (const Case& c : cases) {
    auto link = NewLink<ScriptedLink>(c.device);
    ASSERT_EQ(link->port.IsOpen(), c.device);
    link->writeFails = c.writeFails;
    link->finishRefuses = c.finishRefuses;
    link->replyFails = c.replyFails;
    EXPECT_EQ(link->Send('1'), c.result);
    EXPECT_EQ(link->log, c.steps);
    EXPECT_FALSE(link->lineLock.Held()) << "the lock is free again";
  }
  auto dead = NewLink<PortOnlyLink>(false);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(dead->Exchange(reinterpret_cast<const uint8_t*>("x"), 1, nullptr),
              LineResult::kFailed)
        << "not busy: a port that did not open still releases the lock";
  }
  EXPECT_EQ(dead->ProbeHandshake(), LineReady::kNo) << "a dead line does not answer";
}

TEST(SerialLink, ThreadsExchangeOneAtATimeAndAWaiterPastTheLimitGetsBusy) {
  {
    auto linkOwner = NewLink<ScriptedLink>();
    ScriptedLink& link = *linkOwner;
    link.replyGate.Reset();
    std::thread first([&] { EXPECT_EQ(link.Send('1'), 0); });
    ASSERT_TRUE(link.inReply.Wait(platform::Event::kInfinite));
    std::thread second([&] { EXPECT_EQ(link.Send('2'), 0); });
    // Give the second caller time to reach the lock (far below the 2000-tick
    // limit) before the first reply arrives: it must not send meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    link.replyGate.Set();
    first.join();
    second.join();
    EXPECT_EQ(link.log, "begin write1 finish read end|begin write2 finish read end|");
  }  // the link closes its terminal (each is exclusive)

  // With 2000 ticks passing in 20 ms, a waiter gives up and sends nothing.
  platform::ScaledTickSource fast(100.0);
  platform::ScopedTickSource install(fast);
  auto heldOwner = NewLink<ScriptedLink>();
  ScriptedLink& held = *heldOwner;
  held.replyGate.Reset();
  std::thread third([&] { EXPECT_EQ(held.Send('3'), 0); });
  ASSERT_TRUE(held.inReply.Wait(platform::Event::kInfinite));
  EXPECT_EQ(held.Send('4'), 5);
  held.replyGate.Set();
  third.join();
  EXPECT_EQ(held.log, "begin write3 finish read end|");
  EXPECT_FALSE(held.lineLock.Held()) << "the busy caller did not take or leak the lock";
}

// A stop goes onto the line before every request that was waiting for it,
// and the holder is hurried; a motion request whose motion is no longer
// wanted is held back with the line held, and nothing is sent.
TEST(SerialLink, AStopGoesFirstAndAnUnwantedMotionIsHeldBack) {
  auto linkOwner = NewLink<ScriptedLink>();
  ScriptedLink& link = *linkOwner;
  link.replyGate.Reset();
  std::thread holder([&] { EXPECT_EQ(link.Send('1'), 0); });
  ASSERT_TRUE(link.inReply.Wait(platform::Event::kInfinite));
  std::thread waiter([&] { EXPECT_EQ(link.Send('2'), 0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the waiter queues first
  std::thread stop([&] {
    const UrgentExchanges urgent;
    EXPECT_EQ(link.Send('3'), 0);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  link.replyGate.Set();
  holder.join();
  waiter.join();
  stop.join();
  EXPECT_EQ(link.log,
            "begin write1 finish read hurried end|begin write3 finish read end|"
            "begin write2 finish read end|");

  link.log.clear();
  bool wanted = false;
  const ExchangeGuard guard([&] { return wanted; });
  EXPECT_EQ(link.Send('4'), 6);
  EXPECT_TRUE(guard.Tripped());
  EXPECT_EQ(link.log, "") << "nothing was sent";
  EXPECT_FALSE(link.lineLock.Held());
}

// The factory hands the host's port down to the link: with a pattern that
// names a device by number, only the chosen number opens.
TEST(SerialLink, OpensThePortTheHostChose) {
  char dir[] = "/tmp/sidera-link-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string device = std::string(dir) + "/port-7";
  ASSERT_EQ(symlink("/dev/ptmx", device.c_str()), 0);
  setenv("SIDERA_SERIAL_PATTERN", (std::string(dir) + "/port-%d").c_str(), 1);
  for (const int number : {7, 8}) {
    g_comPortNumber = number;
    std::unique_ptr<TelescopeMount> mount(CreateModel(0));
    ASSERT_NE(mount, nullptr);
    auto* link = dynamic_cast<SerialLink*>(mount.get());
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->port.IsOpen(), number == 7) << "port " << number;
    mount->Shutdown();
  }
  g_comPortNumber = 2;
  unlink(device.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace sidera
