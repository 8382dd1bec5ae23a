// Each controller emulator as the program a person or another tool starts:
// it takes its options, prints its device first, serves it, and stops
// successfully when its standard input ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/emulators/line_client.h"

namespace sidera::emulator {
namespace {

using testing::Bytes;
using testing::LineClient;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(EmulatorPrograms, TakeTheirOptionsPrintTheirDeviceAndStopWhenTheirInputEnds) {
  const struct {
    const char* command;
    std::vector<std::pair<Bytes, Bytes>> exchanges;  // request, what comes back
  } cases[] = {
      // 270 degrees is the same angle as -90: C0 00 00, after the echo.
      {PACKET_BUS_EMULATOR_PROGRAM " --position1 270",
       {{{0x3B, 0x03, 0x32, 0x11, 0x01, 0xB9},
         {0x3B, 0x03, 0x32, 0x11, 0x01, 0xB9, 0x3B, 0x06, 0x11, 0x32, 0x01, 0xC0, 0x00, 0x00,
          0xF6}}}},
      // A quarter of 1059334 counts, rounded: 264834 = 04 0A82.
      {BYTE_COMMAND_EMULATOR_PROGRAM " --model 11 --position1 90", {{{0x15}, {0x04, 0x0A, 0x82}}}},
      // 1452951 = 0x162B97; a quarter of it, rounded: 363238 = 0x058AE6, plus 0x800000.
      {HEX_COMMAND_EMULATOR_PROGRAM
       " --version 000180 --counts 1452951 --position1 90 --initialised",
       {{B(":e1\r"), B("=000180\r")}, {B(":a2\r"), B("=972B16\r")}, {B(":j2\r"), B("=E68A85\r")}}},
  };
  const std::string out = ::testing::TempDir() + "emulator-program.out";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    (void)std::remove(out.c_str());
    FILE* input = popen((std::string(c.command) + " >" + out).c_str(), "w");
    ASSERT_NE(input, nullptr);
    std::string path;
    for (int polls = 0; polls < 500 && path.empty(); ++polls) {  // at most 10 s
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      std::ifstream(out) >> path;
    }
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
    {
      LineClient line(path);
      for (const auto& [request, reply] : c.exchanges) {
        EXPECT_EQ(line.Exchange(request, reply.size()), reply);
      }
    }
    EXPECT_EQ(pclose(input), 0) << "the end of its input stops it, successfully";
  }
  (void)std::remove(out.c_str());
}

}  // namespace
}  // namespace sidera::emulator
