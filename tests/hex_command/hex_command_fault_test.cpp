// Hex-command line faults as the host sees them: silent and refusing
// controllers, malformed and noisy replies, a line that dies mid-goto, and
// an axis that never reports its stop.
#include <chrono>
#include <thread>
#include <utility>

#include "hex_command_fixture.h"
#include "platform/clock.h"
#include "sidera/drivers/hex_command/hex_command_alt_az_mount.h"
#include "tests/support/claims_access.h"

namespace sidera::testing {
namespace {

using HexCommandFaultTest = HexCommandTest;
using Change = std::function<void(emulator::HexCommandOptions&)>;

TEST_F(HexCommandFaultTest, ConnectStopsAtTheFirstFailingStepWithItsCode) {
  struct Case {
    const char* what;
    int type;
    Change fault;
    int expected;
    size_t versionQueries;
  } cases[] = {
      {"silent axis 0: the version query is tried twice", 3, [](auto& o) { o.silentAxis = 0; }, 100,
       2},
      {"silent axis 1", 3, [](auto& o) { o.silentAxis = 1; }, 101, 1},
      {"refused version", 2, [](auto& o) { o.refuse = std::string("e"); }, 4, 2},
      {"malformed version", 2, [](auto& o) { o.malformed = std::string("e"); }, 4, 2},
      {"malformed position", 3, [](auto& o) { o.malformed = std::string("j"); }, 4, 1},
      {"malformed s figure", 3,
       [](auto& o) {
         o.echo = false;
         o.malformed = std::string("s");
       },
       4, 1},
      {"refused initialisation", 2, [](auto& o) { o.refuse = std::string("F"); }, 4, 1},
      // Kept: counts, timer and ratio replies that do not decode, stray
      // bytes, and the equatorial model's initialisation (never checked).
      {"malformed counts, timer and ratio", 2, [](auto& o) { o.malformed = std::string("abg"); }, 0,
       1},
      {"stray bytes before every reply", 3, [](auto& o) { o.strayBytes = 30; }, 0, 1},
      {"equatorial initialisation refused", 3, [](auto& o) { o.refuse = std::string("FE"); }, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::HexCommandOptions o = QuickOptions();
    c.fault(o);
    EXPECT_EQ(Create(c.type, o), c.expected);
    EXPECT_EQ(Sent("e1").size(), c.versionQueries);
    uint32_t state = 0;
    EXPECT_EQ(GetMountState(&state), c.expected == 0 ? 0 : 3) << "a failed connect leaves no mount";
  }

  Finish();
  setenv("SIDERA_SERIAL_PATTERN", "/nonexistent/sidera-hex", 1);
  EXPECT_EQ(CreateMount(3, 0.6, 100.0), 100) << "no device";
}

// How each malformed reply decodes is in the transcript file; here a fault
// fails only the calls that meet it, and the link recovers.
TEST_F(HexCommandFaultTest, AFaultyAxisFailsOnlyItsOwnCallsAndTheLinkRecovers) {
  emulator::HexCommandOptions o = QuickOptions();
  o.initialCounts[1] = CountsOfDeg(45);
  ASSERT_EQ(Create(2, o), 0);
  double pos = 0;
  ASSERT_EQ(GetAxisPosition(1, &pos), 0);
  emu->UpdateOptions([](auto& o) { o.silentAxis = 1; });
  EXPECT_EQ(GetAxisPosition(1, &pos), 101);
  EXPECT_NEAR(pos, Deg(45), Deg(0.001)) << "a failed read leaves the position as it was";
  EXPECT_EQ(GetAxisPosition(0, &pos), 0) << "the other axis still answers";
  emu->UpdateOptions([](auto& o) {
    o.silentAxis = -1;
    o.lowercase = true;  // 45 degrees is "DB8A82"
  });
  EXPECT_EQ(GetAxisPosition(1, &pos), 4);
  emu->UpdateOptions([](auto& o) { o.lowercase = false; });
  EXPECT_EQ(GetAxisPosition(1, &pos), 0);
}

TEST_F(HexCommandFaultTest, ALineThatDiesMidGotoFailsPromptlyAndTheMountCanBeDestroyed) {
  emulator::HexCommandOptions o = QuickOptions();
  o.gotoFastDegPerSec = 5.0;
  o.initialised = true;
  o.initialCounts[1] = CountsOfDeg(45);  // off the pole, where axis 0 matters
  ASSERT_EQ(Create(3, o), 0);
  ASSERT_EQ(GotoAxis(0, Deg(80)), 0);
  ASSERT_TRUE(WaitFor([&] { return emu->Running(0); }));
  emu->CloseLine();

  double pos = 0;
  uint32_t state = 0;
  EXPECT_EQ(GetAxisPosition(0, &pos), 100);
  EXPECT_EQ(GetAxisPosition(1, &pos), 101);
  EXPECT_EQ(SyncAxis(1, 0.0), 101);
  EXPECT_EQ(GetMountState(&state), 0) << "state read-outs ignore the dead line";
  EXPECT_EQ(StopAxis(1), 101);
  EXPECT_EQ(Mount()->HaltAxesBeforeGoto(1), 100) << "the stop wait ends on a dead line";
  // TearDown destroys the mount while the goto thread may still poll.
}

TEST_F(HexCommandFaultTest, AnAxisThatNeverReportsItsStopEndsTheWaitsWithItsCode) {
  // Library time runs 20 times faster, so the 10 s limit passes in 0.5 s.
  platform::ScaledTickSource fast(20.0);
  platform::SetTickSource(&fast);
  emulator::HexCommandOptions o = QuickOptions();
  o.neverStopsAxis = 1;
  ASSERT_EQ(Create(3, o), 0);
  HexCommandMount* m = Mount();
  ASSERT_EQ(m->SlewAxisAtRate(1, Deg(1)), 0);
  ASSERT_TRUE(emu->Running(1));
  emu->ClearRequests();
  EXPECT_EQ(m->SlewAxisAtRate(1, -Deg(1)), 101) << "a reversal cannot wait for ever";
  EXPECT_TRUE(Sent("G2").empty()) << "no mode change while the axis runs";
  EXPECT_GE(Sent("f2").size(), 2u);

  // The stop before a goto gives way when the motion is called off.
  ClaimsAccess::Set(*g_mount, 0, 1);
  ClaimsAccess::Set(*g_mount, 1, 0);
  EXPECT_EQ(m->HaltAxesBeforeGoto(1), 105);
  EXPECT_EQ(Refusals(), 0u);
  Finish();
  platform::SetTickSource(nullptr);
}

// A slow rate asked for while the axis runs fast first halts it and waits
// for the controller to report it stopped. A stop during that wait goes out
// at once (it does not wait for the axis to brake), and the waiting rate
// never starts: no mode, step period or start reaches the controller after
// it, whether the axis brakes for five seconds or never reports stopped.
TEST_F(HexCommandFaultTest, AStopDuringTheStopWaitGoesOutAndTheWaitingRateNeverStarts) {
  const struct {
    const char* what;
    Change axis;
  } cases[] = {
      {"brakes for 5 s", [](auto& o) { o.decelerationDegPerSec2 = 3.4 / 5; }},
      {"never stops", [](auto& o) { o.neverStopsAxis = 0; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    emulator::HexCommandOptions o = QuickOptions();
    c.axis(o);
    ASSERT_EQ(Create(3, o), 0);
    ASSERT_EQ(MoveAxis(0, Deg(3.0)), 0);  // the fast mode
    ASSERT_TRUE(WaitFor(RateMoveDone("J1")));
    emu->ClearRequests();
    ASSERT_EQ(MoveAxis(0, kSidereal), 0);
    // The preparation has halted the axis and polls its status.
    ASSERT_TRUE(emu->WaitForRequest([](const auto& r) { return r.line == ":K1"; }, 5000));
    const auto halted = Sent("K1")[0].at;
    ASSERT_TRUE(
        emu->WaitForRequest([&](const auto& r) { return r.line == ":f1" && r.at > halted; }, 5000));
    const auto stopped = std::chrono::steady_clock::now();
    EXPECT_EQ(StopAxis(0), 0);
    EXPECT_TRUE(
        emu->WaitForRequest([&](const auto& r) { return r.line == ":K1" && r.at >= stopped; }, 0))
        << "the stop is on the line when StopAxis returns";
    ASSERT_TRUE(WaitFor(MotionFinished));
    for (const auto& r : emu->Requests()) {
      EXPECT_TRUE(r.letter != 'G' && r.letter != 'I' && r.letter != 'J') << r.line;
    }
  }
}

// A status reply tells how the axis stood when the query went out. A goto
// commanded while the reply was on its way (by the hook here, as a motion
// thread would between the host's query and its use of the reply) keeps
// its state until a later query reports on it.
TEST_F(HexCommandFaultTest, AStaleStatusReplyLeavesANewerGotoRunning) {
  struct AnswerHookMount : HexCommandAltAzMount {
    using HexCommandMount::CommandAxisState;
    std::function<void()> afterReply;
    LineResult ReadReply(uint8_t* reply) override {
      const LineResult r = HexCommandAltAzMount::ReadReply(reply);
      if (afterReply) std::exchange(afterReply, nullptr)();
      return r;
    }
  };
  ASSERT_TRUE(StartEmulator(QuickOptions()));
  AnswerHookMount m;
  ASSERT_EQ(m.Connect(), 0);
  const uint32_t gotoState = AXIS_GOTO | AXIS_POSITIVE;
  m.afterReply = [&] { m.CommandAxisState(0, 0, gotoState); };
  EXPECT_EQ(m.ReadAxisState(0), 0);
  EXPECT_EQ(m.Axes().State(0), gotoState);
  EXPECT_EQ(m.ReadAxisState(0), 0);
  EXPECT_EQ(m.Axes().State(0) & AXIS_STOPPED, AXIS_STOPPED) << "a reply about the current state";
  m.Shutdown();
}

// A goto is never counted as arrived when an axis did not take it: an axis
// in a rate motion is halted and waited for before its mode changes (the
// controller refuses a mode change while it runs), and a goto command that
// is refused ends the goto with that axis's code at once, without a start
// and without passes that cannot move it.
TEST_F(HexCommandFaultTest, AGotoThatAnAxisDoesNotTakeFailsWithTheAxisCode) {
  ASSERT_EQ(Create(3), 0);
  ASSERT_EQ(MoveAxis(1, Deg(0.2)), 0);
  ASSERT_TRUE(WaitFor(RateMoveDone("J2")));
  double at1 = 0;
  ASSERT_EQ(GetAxisPosition(1, &at1), 0);
  emu->ClearRequests();
  ASSERT_EQ(GotoAxes(Deg(-80), at1 + Deg(5)), 0);
  ASSERT_TRUE(WaitFor(MotionFinished));
  EXPECT_EQ(Refusals(), 0u) << "the running axis was stopped before its mode changed";
  double p1 = 0;
  ASSERT_EQ(GetAxisPosition(1, &p1), 0);
  EXPECT_NEAR(p1, at1 + Deg(5), Deg(0.05));

  for (const char* letter : {"G", "J"}) {
    SCOPED_TRACE(letter);
    emu->UpdateOptions([&](auto& o) { o.refuse = letter; });
    emu->ClearRequests();
    ASSERT_EQ(GotoAxes(Deg(-60), at1 - Deg(5)), 0);
    ASSERT_TRUE(WaitFor(MotionFinished));
    EXPECT_EQ(Sent("G2").size(), 1u) << "one try, not six passes";
    EXPECT_TRUE(Sent("G1").empty()) << "axis 0 is not commanded once axis 1 failed";
    emu->UpdateOptions([](auto& o) { o.refuse.clear(); });
    uint32_t state = 0;
    ASSERT_TRUE(WaitFor([&] { return GetMountState(&state) == 0; }));
    EXPECT_NE(state, static_cast<uint32_t>(SIDERA_MOUNT_GOTO));
    ASSERT_EQ(GetAxisPosition(1, &p1), 0);
    EXPECT_GT(p1, at1 + Deg(4)) << "axis 1 stayed where it was";
  }
}

// The controllers answer in order, so a reply that comes after its
// request gave up waiting would be read as the answer to the next one.
TEST_F(HexCommandFaultTest, AReplyThatComesAfterItsTimeOutIsNeverTakenForAnotherRequests) {
  emulator::HexCommandOptions o = QuickOptions();
  o.initialCounts[0] = CountsOfDeg(10);
  o.initialCounts[1] = CountsOfDeg(45);
  ASSERT_EQ(Create(2, o), 0);
  const auto readsTrue = [&](int axis) {
    double pos = 0;
    EXPECT_EQ(GetAxisPosition(axis, &pos), 0) << "axis " << axis;
    EXPECT_NEAR(pos, Deg(axis == 0 ? 10 : 45), Deg(0.001)) << "axis " << axis;
  };
  {
    SCOPED_TRACE("a read of the same kind after a read that timed out");
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 800; });
    double pos = 0;
    EXPECT_EQ(GetAxisPosition(0, &pos), 100);
    // Due after the late one: sent at once, this read would take axis 0's.
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 400; });
    readsTrue(1);
    readsTrue(0);
  }
  {
    SCOPED_TRACE("a read of the same kind after a read answered over 2 s late");
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 2200; });
    double pos = 0;
    EXPECT_EQ(GetAxisPosition(0, &pos), 100);
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 0; });
    readsTrue(1);
  }
  {
    SCOPED_TRACE("a stop of both axes after a read that timed out");
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 800; });
    double pos = 0;
    EXPECT_EQ(GetAxisPosition(1, &pos), 101);
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 0; });
    emu->ClearRequests();
    // The halts' replies come behind the late one; both halts are sent
    // before it comes, and their replies are their own.
    EXPECT_EQ(StopEverything(), 0);
    ASSERT_EQ(Sent("K1").size() + Sent("L1").size(), 1u);
    ASSERT_EQ(Sent("K2").size() + Sent("L2").size(), 1u);
    readsTrue(0);
    readsTrue(1);
  }
  {
    SCOPED_TRACE("a stop after a halt that timed out goes out at once");
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 800; });
    EXPECT_EQ(StopAxis(0), 100);
    emu->UpdateOptions([](auto& o) { o.replyDelayMs = 0; });
    emu->ClearRequests();
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(StopEverything(), 0) << "its replies are its own, behind the late one";
    ASSERT_FALSE(emu->Requests().empty());
    // Waiting for the late reply first would have taken about 300 ms.
    EXPECT_LT(emu->Requests()[0].at - asked, std::chrono::milliseconds(150));
    readsTrue(0);
    readsTrue(1);
  }
}

// A stop of everything puts both halts on the line before either's reply
// comes, and reads nothing first: with every reply 300 ms late, the second
// halt arrives well before the first halt's reply could have.
TEST_F(HexCommandFaultTest, AStopOfEverythingSendsBothHaltsAtOnce) {
  ASSERT_EQ(Create(3), 0);
  ASSERT_EQ(MoveAxis(0, Deg(1)), 0);
  ASSERT_EQ(MoveAxis(1, Deg(1)), 0);
  ASSERT_TRUE(WaitFor(RateMoveDone("J2")));
  ASSERT_TRUE(WaitFor(RateMoveDone("J1")));
  emu->UpdateOptions([](auto& o) { o.replyDelayMs = 300; });
  emu->ClearRequests();
  EXPECT_EQ(StopEverything(), 0);
  const std::vector<std::string> sent = Sent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0][0], sent[1][0]);
  EXPECT_TRUE(sent[0][0] == 'K' || sent[0][0] == 'L') << sent[0];
  EXPECT_EQ(sent[0].substr(1) + sent[1].substr(1), "12") << "both halts come first";
  const auto requests = emu->Requests();
  EXPECT_LT(requests[1].at - requests[0].at, std::chrono::milliseconds(150));
  emu->UpdateOptions([](auto& o) { o.replyDelayMs = 0; });
  EXPECT_TRUE(WaitFor([&] { return !emu->Running(0) && !emu->Running(1); }));
  uint32_t state = 0;
  ASSERT_EQ(GetMountState(&state), 0);
  EXPECT_EQ(state, static_cast<uint32_t>(SIDERA_MOUNT_STOPPED));
}

// Replies come in order, so a stop need not wait for an earlier stop's
// replies to write its halts: they go out at once and are read after the
// earlier stop's, and each stop's result is its own reply.
TEST_F(HexCommandFaultTest, AStopWritesItsHaltsWhileAnEarlierStopWaitsForItsReplies) {
  ASSERT_EQ(Create(3), 0);
  ASSERT_EQ(MoveAxis(0, Deg(1)), 0);
  ASSERT_EQ(MoveAxis(1, Deg(1)), 0);
  ASSERT_TRUE(WaitFor(RateMoveDone("J2")));
  ASSERT_TRUE(WaitFor(RateMoveDone("J1")));
  // Replies in 450 ms, within the reply time-out.
  emu->UpdateOptions([](auto& o) { o.replyDelayMs = 450; });
  emu->ClearRequests();
  int first = -1;
  std::thread earlier([&] { first = StopEverything(); });
  ASSERT_TRUE(emu->WaitForRequest([](const auto& r) { return r.axis == 1; }, 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(StopEverything(), 0) << "its own replies";
  earlier.join();
  EXPECT_EQ(first, 0);
  std::vector<emulator::HexCommandRequest> halts;
  for (const auto& r : emu->Requests()) {
    if ((r.letter == 'K' || r.letter == 'L') && r.at >= asked) halts.push_back(r);
  }
  ASSERT_EQ(halts.size(), 2u);
  // Behind the earlier stop's replies they would come 400 ms later.
  EXPECT_LT(halts[1].at - asked, std::chrono::milliseconds(200));
  emu->UpdateOptions([](auto& o) { o.replyDelayMs = 0; });
  EXPECT_TRUE(WaitFor([&] { return !emu->Running(0) && !emu->Running(1); }));
  // No reply was left over for the reads to take.
  for (int axis = 0; axis < 2; ++axis) {
    double pos = 0;
    EXPECT_EQ(GetAxisPosition(axis, &pos), 0) << "axis " << axis;
  }
  uint32_t state = 0;
  ASSERT_EQ(GetMountState(&state), 0);
  EXPECT_EQ(state, static_cast<uint32_t>(SIDERA_MOUNT_STOPPED));
}

// A reply that comes after its read gave up is a late controller, not a
// dead one: the goto sends that axis's command again (taking the late reply
// off the line first) and arrives. A controller that stays silent still
// fails it with the axis's code (ALineThatDiesMidGoto...).
TEST_F(HexCommandFaultTest, AGotoWhoseReadIsAnsweredLateGoesOnAndArrives) {
  ASSERT_EQ(Create(3), 0);
  double at0 = 0, at1 = 0;
  ASSERT_EQ(GetAxisPosition(0, &at0), 0);
  ASSERT_EQ(GetAxisPosition(1, &at1), 0);
  // Reads come 1.5 s late from axis 1's start ("J2") on: axis 0's first
  // read of the goto times out (0.5 s); later ones are prompt again.
  emu->UpdateOptions([](auto& o) { o.readDelayAfterConnectMs = 1500; });
  emu->ClearRequests();
  ASSERT_EQ(GotoAxes(at0 + Deg(10), at1 + Deg(10)), 0);
  ASSERT_TRUE(emu->WaitForRequest([](const auto& r) { return r.letter == 'J'; }, 10000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  emu->UpdateOptions([](auto& o) { o.readDelayAfterConnectMs = 0; });
  ASSERT_TRUE(WaitFor(MotionFinished));
  MotionOutcome o{};
  ASSERT_EQ(GetMotionOutcome(SIDERA_OUTCOME_MOUNT, &o), 0);
  EXPECT_EQ(o.outcome, SIDERA_OUTCOME_ARRIVED) << "code " << o.code;
  double p0 = 0;
  ASSERT_EQ(GetAxisPosition(0, &p0), 0);
  EXPECT_NEAR(p0, at0 + Deg(10), Deg(0.05));
}

}  // namespace
}  // namespace sidera::testing
