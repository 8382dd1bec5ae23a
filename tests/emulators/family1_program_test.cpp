// The stand-alone emulator program as a parent process drives it: device
// path on the first line, options on the command line, stopped by closing
// its input or by SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/emulators/line_client.h"

namespace sidera::emulator {
namespace {

using testing::Bytes;

struct Child {
  pid_t pid = -1;
  int input = -1;    // write end of the child's standard input
  std::string line;  // first line of its output
  int Finish(bool terminate) {
    if (terminate) (void)kill(pid, SIGTERM);
    (void)close(input);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

Child Launch(std::vector<std::string> arguments) {
  int in[2];
  int out[2];
  Child child;
  if (pipe(in) != 0 || pipe(out) != 0) return child;
  child.pid = fork();
  if (child.pid == 0) {
    (void)dup2(in[0], STDIN_FILENO);
    (void)dup2(out[1], STDOUT_FILENO);
    (void)close(in[1]);
    (void)close(out[0]);
    arguments.insert(arguments.begin(), FAMILY1_EMULATOR_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  (void)close(in[0]);
  (void)close(out[1]);
  child.input = in[1];
  FILE* output = fdopen(out[0], "r");
  char text[256] = {};
  if (fgets(text, sizeof text, output) != nullptr) child.line = text;
  if (!child.line.empty() && child.line.back() == '\n') child.line.pop_back();
  (void)fclose(output);
  return child;
}

TEST(Family1Program, ServesWithItsOptionsUntilTheParentClosesItsInputOrTerminatesIt) {
  Child child = Launch({"--position1", "270", "--version", "2.7"});
  ASSERT_GT(child.pid, 0);
  {
    testing::LineClient line(child.line);
    ASSERT_TRUE(line.IsOpen());
    // 270 degrees is the same angle as -90: C0 00 00.
    EXPECT_EQ(line.Exchange({0x3B, 0x03, 0x32, 0x11, 0x01, 0xB9}, 15),
              (Bytes{0x3B, 0x03, 0x32, 0x11, 0x01, 0xB9,  //
                     0x3B, 0x06, 0x11, 0x32, 0x01, 0xC0, 0x00, 0x00, 0xF6}));
    EXPECT_EQ(line.Exchange({0x3B, 0x03, 0x32, 0x10, 0xFE, 0xBD}, 14),
              (Bytes{0x3B, 0x03, 0x32, 0x10, 0xFE, 0xBD,  //
                     0x3B, 0x05, 0x10, 0x32, 0xFE, 0x02, 0x07, 0xB2}));
  }
  EXPECT_EQ(child.Finish(false), 0);

  Child terminated = Launch({});
  EXPECT_FALSE(terminated.line.empty());
  EXPECT_EQ(terminated.Finish(true), 0);
}

TEST(Family1Program, RefusesOptionsItCannotHonour) {
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--silent-axis", "2"},
                                              {"--time-scale", "0"},
                                              {"--noise"},
                                              {"--position0", "north"}}) {
    Child refused = Launch(bad);
    EXPECT_EQ(refused.line, "") << bad[0];
    EXPECT_EQ(refused.Finish(false), 2) << bad[0];
  }
}

}  // namespace
}  // namespace sidera::emulator
