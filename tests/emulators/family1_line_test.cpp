// The emulated controllers seen from the other end of the pseudo-terminal:
// hand-written transcripts of request, echo and reply bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <numbers>
#include <thread>

#include "emulators/family1/family1_emulator.h"
#include "tests/emulators/line_client.h"

namespace sidera::emulator {
namespace {

using testing::Bytes;
using testing::LineClient;

// Requests and replies worked out by hand (checksum: 0x100 minus the low
// byte of the sum from the length byte to the last data byte).
const Bytes kPosition0 = {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA};
const Bytes kPosition1 = {0x3B, 0x03, 0x32, 0x11, 0x01, 0xB9};
const Bytes kVersion0 = {0x3B, 0x03, 0x32, 0x10, 0xFE, 0xBD};
const Bytes kVersion1 = {0x3B, 0x03, 0x32, 0x11, 0xFE, 0xBC};
const Bytes kVersion1Reply = {0x3B, 0x05, 0x11, 0x32, 0xFE, 0x03, 0x01, 0xB6};
const Bytes kVersion0Reply = {0x3B, 0x05, 0x10, 0x32, 0xFE, 0x03, 0x01, 0xB7};
const Bytes kGotoDone1 = {0x3B, 0x03, 0x32, 0x11, 0x13, 0xA7};

struct Step {
  const char* meaning;
  Bytes request;
  Bytes reply;
};

class Family1Line : public ::testing::Test {
 protected:
  void Begin(Family1Options options = {}) {
    emulator_ = std::make_unique<Family1Emulator>(options);
    ASSERT_TRUE(emulator_->Start());
    client_ = std::make_unique<LineClient>(emulator_->DevicePath());
    ASSERT_TRUE(client_->IsOpen());
  }
  // Sends the request and expects its echo followed by exactly `reply`.
  void Expect(const Step& step) {
    SCOPED_TRACE(step.meaning);
    Bytes expected = step.request;
    expected.insert(expected.end(), step.reply.begin(), step.reply.end());
    EXPECT_EQ(client_->Exchange(step.request, expected.size()), expected);
  }
  std::unique_ptr<Family1Emulator> emulator_;
  std::unique_ptr<LineClient> client_;
};

TEST_F(Family1Line, AnswersEachMessageAsTheTranscriptSays) {
  Family1Options options;
  options.initialCounts[1] = -8388608;  // axis 1 at -180 degrees
  Begin(options);
  const Step steps[] = {
      {"position of axis 0, at 0",
       kPosition0,
       {0x3B, 0x06, 0x10, 0x32, 0x01, 0x00, 0x00, 0x00, 0xB7}},
      {"position of axis 1, at -180 degrees",
       kPosition1,
       {0x3B, 0x06, 0x11, 0x32, 0x01, 0x80, 0x00, 0x00, 0x36}},
      {"version of axis 1 is 3.1", kVersion1, kVersion1Reply},
      {"approach 1 on axis 0",
       {0x3B, 0x04, 0x32, 0x10, 0xFD, 0x01, 0xBC},
       {0x3B, 0x03, 0x10, 0x32, 0xFD, 0xBE}},
      {"setting 0x10 = 0 on axis 1",
       {0x3B, 0x04, 0x32, 0x11, 0x10, 0x00, 0xA9},
       {0x3B, 0x03, 0x11, 0x32, 0x10, 0xAA}},
      {"setting 0x11 = 7 on axis 0",
       {0x3B, 0x04, 0x32, 0x10, 0x11, 0x07, 0xA2},
       {0x3B, 0x03, 0x10, 0x32, 0x11, 0xAA}},
      {"goto done on axis 0 at rest: 1",
       {0x3B, 0x03, 0x32, 0x10, 0x13, 0xA8},
       {0x3B, 0x04, 0x10, 0x32, 0x13, 0x01, 0xA6}},
      {"sidereal rate, positive, on axis 0",
       {0x3B, 0x06, 0x32, 0x10, 0x06, 0x00, 0x3C, 0x00, 0x76},
       {0x3B, 0x03, 0x10, 0x32, 0x06, 0xB5}},
      {"set position of axis 1 to +90 degrees",
       {0x3B, 0x06, 0x32, 0x11, 0x04, 0x40, 0x00, 0x00, 0x73},
       {0x3B, 0x03, 0x11, 0x32, 0x04, 0xB6}},
      {"position of axis 1 now +90 degrees",
       kPosition1,
       {0x3B, 0x06, 0x11, 0x32, 0x01, 0x40, 0x00, 0x00, 0x76}},
      {"sidereal rate, negative, on axis 1",
       {0x3B, 0x06, 0x32, 0x11, 0x07, 0x00, 0x3C, 0x00, 0x74},
       {0x3B, 0x03, 0x11, 0x32, 0x07, 0xB3}},
      {"an unknown message gets an empty reply",
       {0x3B, 0x03, 0x32, 0x10, 0x55, 0x66},
       {0x3B, 0x03, 0x10, 0x32, 0x55, 0x66}},
  };
  for (const Step& step : steps) Expect(step);

  EXPECT_EQ(emulator_->ApproachByte(0), 1);
  EXPECT_EQ(emulator_->Setting(0, 0x11), 7);
  EXPECT_EQ(emulator_->RateWireValue(0), 0x3C00);
  EXPECT_EQ(emulator_->RateWireValue(1), -0x3C00);
  // Axis 1 was set to +90 degrees while moving backwards at the sidereal rate.
  EXPECT_LE(emulator_->PositionCounts(1), 4194304);
  const std::vector<Family1Request> log = emulator_->Requests();
  ASSERT_EQ(log.size(), std::size(steps));
  EXPECT_EQ(log[7].bytes, steps[7].request);
  EXPECT_EQ(log[7].axis, 0);
  EXPECT_EQ(log[7].id, 0x06);
  EXPECT_EQ(log[7].data, (Bytes{0x00, 0x3C, 0x00}));
  emulator_->ClearRequests();
  EXPECT_TRUE(emulator_->Requests().empty());
}

TEST_F(Family1Line, FramesNoControllerShouldAnswerAreEchoedAndLoggedButNotAnswered) {
  Begin();
  const Bytes rejected[] = {
      {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBB},  // checksum off by one
      {0x3B, 0x03, 0x32, 0xB0, 0x01, 0x1A},  // addressed to the GPS unit
  };
  for (const Bytes& frame : rejected) {
    EXPECT_EQ(client_->Exchange(frame, frame.size()), frame);
    EXPECT_TRUE(client_->Quiet(150));
  }
  // A known message with too little data is not carried out.
  const Bytes shortGoto = {0x3B, 0x04, 0x32, 0x10, 0x02, 0xC0, 0xF8};
  Expect({"goto with one data byte", shortGoto, {0x3B, 0x03, 0x10, 0x32, 0x02, 0xB9}});
  EXPECT_FALSE(emulator_->GotoInProgress(0));

  // A frame abandoned halfway is dropped after a pause; the next is answered.
  ASSERT_TRUE(client_->Send({0x3B, 0x06, 0x32, 0x11}));
  EXPECT_EQ(client_->Read(4), (Bytes{0x3B, 0x06, 0x32, 0x11}));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  Expect({"version after an abandoned frame", kVersion1, kVersion1Reply});

  std::vector<int> axes;
  for (const Family1Request& r : emulator_->Requests()) axes.push_back(r.axis);
  EXPECT_EQ(axes, (std::vector<int>{-1, -1, 0, -1, 1}));
}

TEST_F(Family1Line, AGotoRunsUntilItArrivesAndTheDoneQueryFollowsIt) {
  Begin();  // real time: a 90-degree fast goto takes 22.5 s
  const Bytes gotoMinus90 = {0x3B, 0x06, 0x32, 0x11, 0x02, 0xC0, 0x00, 0x00, 0xF5};
  Expect({"fast goto to -90 degrees on axis 1", gotoMinus90, {0x3B, 0x03, 0x11, 0x32, 0x02, 0xB8}});
  Expect({"still running", kGotoDone1, {0x3B, 0x04, 0x11, 0x32, 0x13, 0x00, 0xA6}});
  EXPECT_TRUE(emulator_->GotoInProgress(1));
  EXPECT_TRUE(emulator_->LastGotoWasFast(1));

  emulator_->UpdateOptions([](Family1Options& o) { o.timeScale = 1e6; });
  Bytes done;
  for (int poll = 0; poll < 50 && done != Bytes{0x3B, 0x04, 0x11, 0x32, 0x13, 0x01, 0xA5}; ++poll) {
    done = client_->Exchange(kGotoDone1, kGotoDone1.size() + 7);
    done.erase(done.begin(), done.begin() + std::min(done.size(), kGotoDone1.size()));
  }
  EXPECT_EQ(done, (Bytes{0x3B, 0x04, 0x11, 0x32, 0x13, 0x01, 0xA5}));
  Expect({"arrived at -90 degrees",
          kPosition1,
          {0x3B, 0x06, 0x11, 0x32, 0x01, 0xC0, 0x00, 0x00, 0xF6}});
  EXPECT_NEAR(emulator_->PositionRadians(1), -std::numbers::pi / 2, 1e-12);
}

TEST_F(Family1Line, TheLineSurvivesTheOtherSideClosingAndReopeningIt) {
  Begin();
  Expect({"first session", kVersion0, kVersion0Reply});
  client_.reset();
  client_ = std::make_unique<LineClient>(emulator_->DevicePath());
  ASSERT_TRUE(client_->IsOpen());
  Expect({"second session", kVersion0, kVersion0Reply});
}

TEST_F(Family1Line, EachFaultBreaksOnlyWhatItNames) {
  Family1Options options;
  struct Case {
    const char* fault;
    std::function<void(Family1Options&)> set;
    Bytes axis0Reply;  // what follows the echo, for the version request
    Bytes axis1Reply;
  };
  const Case cases[] = {
      {"axis 1 silent", [](Family1Options& o) { o.silentAxis = 1; }, kVersion0Reply, {}},
      {"axis 0 silent", [](Family1Options& o) { o.silentAxis = 0; }, {}, kVersion1Reply},
      {"axis 1 length byte 30",
       [](Family1Options& o) { o.badLengthAxis = 1; },
       kVersion0Reply,
       {0x3B, 0x1E, 0x11, 0x32, 0xFE, 0x03, 0x01, 0x9D}},
      {"axis 0 cut short",
       [](Family1Options& o) { o.shortPacketAxis = 0; },
       {0x3B, 0x05, 0x10, 0x32, 0xFE, 0x03},
       kVersion1Reply},
  };
  Begin();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    emulator_->UpdateOptions([&](Family1Options& o) {
      o = Family1Options{};
      c.set(o);
    });
    Expect({"axis 0", kVersion0, c.axis0Reply});
    EXPECT_TRUE(client_->Quiet(100));
    Expect({"axis 1", kVersion1, c.axis1Reply});
    EXPECT_TRUE(client_->Quiet(100));
  }
  // The silent axis still heard and logged its request.
  EXPECT_EQ(emulator_->Requests()[1].axis, 1);
}

TEST_F(Family1Line, NoiseAndDelayComeBetweenTheEchoAndTheReply) {
  Family1Options options;
  options.noiseBytes = 40;
  options.replyDelayMs = 300;
  Begin(options);
  ASSERT_TRUE(client_->Send(kVersion1));
  EXPECT_EQ(client_->Read(kVersion1.size()), kVersion1);  // the echo does not wait
  EXPECT_TRUE(client_->Quiet(50));
  const Bytes noise = client_->Read(40);
  ASSERT_EQ(noise.size(), 40u);
  for (uint8_t byte : noise) EXPECT_NE(byte, 0x3B);
  EXPECT_EQ(client_->Read(kVersion1Reply.size()), kVersion1Reply);
}

TEST_F(Family1Line, TheLineHangsUpAfterTheAllowedRequestsOrOnDemand) {
  Family1Options options;
  options.closeAfterRequests = 2;
  Begin(options);
  Expect({"first", kVersion0, kVersion0Reply});
  Expect({"second, answered in full before the hang-up", kVersion1, kVersion1Reply});
  EXPECT_TRUE(client_->HungUp());

  Begin();
  Expect({"before", kVersion0, kVersion0Reply});
  emulator_->CloseLine();
  EXPECT_TRUE(client_->HungUp());
  emulator_->CloseLine();  // a second hang-up is harmless
  emulator_->Stop();
}

}  // namespace
}  // namespace sidera::emulator
