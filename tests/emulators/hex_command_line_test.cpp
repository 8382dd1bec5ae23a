// The hex-command controller emulator seen from the other end of its
// pseudo-terminal: the motion model at chosen instants and each misbehaviour
// option. Its replies to each command are checked against the transcript
// file (tests/transcripts); a silent axis and an ignored first version query
// show in the exact request sequences of the family's connect tests
// (tests/hex_command).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "emulators/hex_command/hex_command_emulator.h"
#include "emulators/hex_command/motor_axis.h"
#include "tests/emulators/line_client.h"

namespace sidera::emulator {
namespace {

using testing::Bytes;
using testing::LineClient;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Sends `request` and a carriage return; returns what comes back up to the
// `lines`-th carriage return, or nothing when no byte comes within `waitMs`.
std::string Ask(LineClient& line, const std::string& request, int lines = 1, int waitMs = 2000) {
  return S(line.ExchangeLines(B(request + "\r"), lines, waitMs));
}

// Runs request/reply steps; an empty reply means no answer within 300 ms.
void Expect(LineClient& line, const std::vector<std::pair<std::string, std::string>>& steps) {
  for (const auto& [request, reply] : steps) {
    const int lines = static_cast<int>(std::count(reply.begin(), reply.end(), '\r'));
    EXPECT_EQ(Ask(line, request, lines, reply.empty() ? 300 : 2000), reply) << request;
  }
}

TEST(HexCommandMotion, GotosRatesAndBrakingFollowTheControllerFigures) {
  hex_command::AxisConfig config;
  config.timerFrequency = 62500;
  config.highSpeedRatio = 16;
  config.gotoFastCountsPerSecond = 10000;
  config.gotoSlowCountsPerSecond = 1000;
  config.decelerationCountsPerSecond2 = 1250;
  struct Sample {
    double t;
    int32_t counts;
    std::string status;
  };
  struct Case {
    const char* what;
    char type, direction;
    uint32_t increment, period;
    double stopAt;  // -1: no stop
    std::vector<Sample> samples;
  } cases[] = {
      // clang-format off
      {"short goto runs slowly", '2', '0', 1000, 0, -1, {{0.5, 500, "011"}, {1.0, 1000, "001"}}},
      {"long goto brakes for the last 1000 steps", '0', '1', 10000, 0, -1,
       {{0.45, -4500, "611"}, {1.4, -9500, "211"}, {1.9, -10000, "201"}}},
      // 62500 / 100 = 625 counts per second; 16 times that in the fast mode
      {"slow rate", '1', '0', 0, 100, -1, {{2.0, 1250, "111"}}},
      {"fast rate", '3', '1', 0, 100, -1, {{0.5, -5000, "711"}}},
      // braking from 625 at 1250 per second squared: 0.5 s, 156.25 counts
      {"stop brakes", '1', '0', 0, 100, 1.0, {{1.25, 742, "111"}, {2.0, 781, "101"}}},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    hex_command::MotorAxis axis(0, 0.0);
    axis.SetConfig(config, 0.0);
    axis.Initialize();
    ASSERT_TRUE(axis.SetMode(c.type, c.direction, 0.0));
    axis.SetGotoIncrement(c.increment);
    axis.SetBrakeIncrement(1000);
    axis.SetStepPeriod(c.period, 0.0);
    axis.Start(0.0);
    if (c.stopAt >= 0) axis.Stop(false, c.stopAt);
    for (const Sample& s : c.samples) {
      char status[3];
      axis.StatusCharacters(s.t, status);
      EXPECT_NEAR(axis.Counts(s.t), s.counts, 1) << s.t;
      EXPECT_EQ(std::string(status, 3), s.status) << s.t;
    }
  }
}

TEST(HexCommandLine, EachMisbehaviourBreaksOnlyWhatItNames) {
  struct Case {
    const char* what;
    std::function<void(HexCommandOptions&)> set;
    std::vector<std::pair<std::string, std::string>> steps;
  } cases[] = {
      // clang-format off
      {"echo", [](auto& o) { o.echo = true; }, {{":e1", ":e1\r=031001\r"}}},
      {"lowercase", [](auto& o) { o.lowercase = true; }, {{":b1", "=24f400\r"}}},
      {"malformed", [](auto& o) { o.malformed = std::string("jf"); },
       {{":j1", "=00080\r"}, {":f1", "=10\r"}, {":e1", "=031001\r"}}},
      {"overlong", [](auto& o) { o.overlong = std::string("e"); }, {{":e1", "=031001000000000000\r"}}},
      {"refuse", [](auto& o) { o.refuse = std::string("F"); }, {{":F2", "!0\r"}, {":f2", "=100\r"}}},
      {"permissive", [](auto& o) { o.permissive = true; }, {{":X1", "=000000\r"}}},
      {"never stops", [](auto& o) { o.neverStopsAxis = 0; },
       {{":I1640000", "=\r"}, {":J1", "=\r"}, {":L1", "=\r"}, {":f1", "=110\r"}}},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HexCommandOptions o;
    c.set(o);
    HexCommandEmulator emu(o);
    ASSERT_TRUE(emu.Start());
    LineClient line(emu.DevicePath());
    ASSERT_TRUE(line.IsOpen());
    Expect(line, c.steps);
  }

  // Stray bytes come before the marker and never contain one.
  HexCommandOptions o;
  o.strayBytes = 40;
  HexCommandEmulator emu(o);
  ASSERT_TRUE(emu.Start());
  LineClient line(emu.DevicePath());
  const std::string got = S(line.Exchange(B(":e1\r"), 48));
  ASSERT_EQ(got.size(), 48u);
  EXPECT_EQ(got.find_first_of("=!"), 40u);
  EXPECT_EQ(got.substr(40), "=031001\r");

  // A paced reply of 8 bytes cannot arrive in less than 7 byte times.
  emu.UpdateOptions([](auto& o) {
    o.strayBytes = 0;
    o.pace = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ask(line, ":e2"), "=031001\r");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(7 * 1042));

  emu.UpdateOptions([](auto& o) { o = HexCommandOptions{}; });
  ExpectHangUpAfterOneMore(emu, line, B(":e1\r"), B("=031001\r"));
}

}  // namespace
}  // namespace sidera::emulator
