// The stand-alone emulator program as a parent process drives it: device
// path on the first line, options on the command line, stop by closing stdin.
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
using testing::LineClient;

struct Child {
  pid_t pid = -1;
  int input = -1;  // write end of the child's standard input
  FILE* output = nullptr;
};

Child Launch(const std::vector<std::string>& arguments) {
  int in[2];
  int out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return {};
  Child child;
  child.pid = fork();
  if (child.pid == 0) {
    (void)dup2(in[0], STDIN_FILENO);
    (void)dup2(out[1], STDOUT_FILENO);
    (void)close(in[1]);
    (void)close(out[0]);
    std::vector<char*> argv = {const_cast<char*>(FAMILY1_EMULATOR_PROGRAM)};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  (void)close(in[0]);
  (void)close(out[1]);
  child.input = in[1];
  child.output = fdopen(out[0], "r");
  return child;
}

std::string FirstLine(FILE* output) {
  char line[256] = {};
  if (fgets(line, sizeof line, output) == nullptr) return {};
  std::string text = line;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

int WaitExit(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Family1Program, ServesWithItsOptionsAndStopsWhenTheParentClosesTheInput) {
  Child child = Launch({"--position0", "-90", "--position1", "270", "--version", "2.7"});
  ASSERT_GT(child.pid, 0);
  const std::string path = FirstLine(child.output);
  ASSERT_FALSE(path.empty());
  {
    LineClient line(path);
    ASSERT_TRUE(line.IsOpen());
    const Bytes position0 = {0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA};
    const Bytes position1 = {0x3B, 0x03, 0x32, 0x11, 0x01, 0xB9};
    const Bytes version1 = {0x3B, 0x03, 0x32, 0x11, 0xFE, 0xBC};
    // -90 and 270 degrees are the same angle: C0 00 00.
    EXPECT_EQ(line.Exchange(position0, 15), (Bytes{0x3B, 0x03, 0x32, 0x10, 0x01, 0xBA, 0x3B, 0x06,
                                                   0x10, 0x32, 0x01, 0xC0, 0x00, 0x00, 0xF7}));
    EXPECT_EQ(line.Exchange(position1, 15), (Bytes{0x3B, 0x03, 0x32, 0x11, 0x01, 0xB9, 0x3B, 0x06,
                                                   0x11, 0x32, 0x01, 0xC0, 0x00, 0x00, 0xF6}));
    EXPECT_EQ(line.Exchange(version1, 14), (Bytes{0x3B, 0x03, 0x32, 0x11, 0xFE, 0xBC, 0x3B, 0x05,
                                                  0x11, 0x32, 0xFE, 0x02, 0x07, 0xB1}));
  }
  (void)close(child.input);
  EXPECT_EQ(WaitExit(child.pid), 0);
  (void)fclose(child.output);
}

TEST(Family1Program, StopsOnTerminateAndRefusesBadOptions) {
  Child child = Launch({});
  ASSERT_GT(child.pid, 0);
  ASSERT_FALSE(FirstLine(child.output).empty());
  (void)kill(child.pid, SIGTERM);
  EXPECT_EQ(WaitExit(child.pid), 0);
  (void)close(child.input);
  (void)fclose(child.output);

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--silent-axis", "2"},
                                              {"--time-scale", "0"},
                                              {"--noise"},
                                              {"--bogus", "1"},
                                              {"--position0", "north"}}) {
    Child refused = Launch(bad);
    ASSERT_GT(refused.pid, 0);
    EXPECT_EQ(FirstLine(refused.output), "") << bad[0];
    EXPECT_EQ(WaitExit(refused.pid), 2) << bad[0];
    (void)close(refused.input);
    (void)fclose(refused.output);
  }
}

}  // namespace
}  // namespace sidera::emulator
