// The emulator kit: the option table the programs share (what it accepts,
// what it says and the exit status), and the line noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "emulators/common/line_noise.h"
#include "emulators/common/option_table.h"

namespace sidera::emulator {
namespace {

struct Parsed {
  int status = -1;  // -1: the program goes on
  std::string err;
  int count = 7;
  double speed = 1.0;
  bool flag = false;
  const char* file = nullptr;  // points into the words, which end with ParseLine
  std::string fileName;        // the positional argument, kept
};

Parsed ParseLine(std::vector<std::string> words, bool positional, bool firmwareVersion = false) {
  Parsed p;
  OptionTable table("prog", "Usage: prog\n");
  // Like an emulator whose controller reports a firmware version.
  if (firmwareVersion) table.Integer("--version", "N", 0, 9, p.count, "firmware version");
  table.Integer("--count", "N", 0, 9, p.count, "a count")
      .Positive("--speed", "X", p.speed, "a speed")
      .Flag("--flag", p.flag, "a flag")
      .Value(
          "--rate", "N", [](const char*) { return false; }, "never right", "bad rate");
  if (positional) table.Positional(p.file);
  words.insert(words.begin(), "prog");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  p.status = table.Parse(static_cast<int>(argv.size()), argv.data()).value_or(-1);
  testing::internal::GetCapturedStdout();
  p.err = testing::internal::GetCapturedStderr();
  if (p.file != nullptr) p.fileName = p.file;
  p.file = nullptr;
  return p;
}

TEST(OptionTable, ParsesComplainsAndExitsAsThePrograms) {
  const struct {
    std::vector<std::string> words;
    bool positional;
    int status;
    const char* err;
  } cases[] = {
      {{"--count", "3", "--flag", "--speed", "2.5"}, false, -1, ""},
      {{"--help", "--bogus"}, false, 0, ""},
      {{"-h"}, false, 0, ""},
      {{"--count", "10"}, false, 2, "prog: bad value '10' for --count\n"},
      {{"--speed", "0"}, false, 2, "prog: bad value '0' for --speed\n"},
      {{"--count"}, false, 2, "prog: --count needs a value (see --help)\n"},
      // Without an argument of its own, anything but a flag takes a value.
      {{"--bogus"}, false, 2, "prog: --bogus needs a value (see --help)\n"},
      {{"--bogus", "1"}, false, 2, "prog: unknown option --bogus (see --help)\n"},
      {{"--rate", "1"}, false, 2, "prog: bad rate 1\n"},
      {{"file", "--flag"}, true, -1, ""},
      {{"--bogus"}, true, 2, "prog: unknown option --bogus (see --help)\n"},
      {{"a", "b"}, true, 2, "prog: unknown option b (see --help)\n"},
  };
  for (const auto& c : cases) {
    const Parsed p = ParseLine(c.words, c.positional);
    SCOPED_TRACE(c.words[0]);
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(p.err, c.err);
  }
  const Parsed p = ParseLine({"--count", "3", "--flag", "--speed", "2.5", "f"}, true);
  EXPECT_EQ(p.count, 3);
  EXPECT_EQ(p.speed, 2.5);
  EXPECT_TRUE(p.flag);
  EXPECT_EQ(p.fileName, "f");
}

// --version is the program's version, unless the table takes a value for a
// --version of its own: then only alone.
TEST(OptionTable, AnswersVersionAloneOrWhenItHasNoneOfItsOwn) {
  const struct {
    std::vector<std::string> words;
    bool firmwareVersion;
    int status;
    int count;
  } cases[] = {
      {{"--version"}, false, 0, 7},
      {{"--flag", "--version"}, false, 0, 7},
      {{"--version"}, true, 0, 7},
      {{"--version", "5"}, true, -1, 5},
      {{"--flag", "--version", "4"}, true, -1, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words.size());
    const Parsed p = ParseLine(c.words, false, c.firmwareVersion);
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(p.count, c.count);
    EXPECT_EQ(p.err, "");
  }
}

TEST(LineNoise, RepeatsForASeedIsBoundedAndNeverStartsAReply) {
  LineNoise a(1), b(1);
  EXPECT_EQ(a.Bytes(64), b.Bytes(64));
  EXPECT_EQ(a.Bytes(-3).size(), 0u);
  const std::vector<uint8_t> noise = a.Bytes(LineNoise::kMaxBytes + 1, {'=', '!'}, '?');
  EXPECT_EQ(noise.size(), size_t{LineNoise::kMaxBytes});
  EXPECT_EQ(std::count(noise.begin(), noise.end(), '='), 0);
  EXPECT_EQ(std::count(noise.begin(), noise.end(), '!'), 0);
}

}  // namespace
}  // namespace sidera::emulator
