// Starting and stopping a controller emulator as a child process.

#include "tools/sidera/emulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace sidera::tool {

EmulatorProcess::~EmulatorProcess() { Stop(); }

bool EmulatorProcess::Start(const std::string& program, const std::vector<std::string>& args,
                            int timeoutMs) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  if (pipe2(out, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    close(in[0]);
    close(in[1]);
    return false;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) {
    error_ = std::string("fork: ") + std::strerror(errno);
    for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    return false;
  }
  if (pid_ == 0) {
    // A session of its own: the terminal's Ctrl-C goes to the program that
    // started it, which stops the mount through this emulator first. The
    // emulator ends when that program stops it or goes away (its standard
    // input closes).
    (void)setsid();
    sigset_t none;
    sigemptyset(&none);
    (void)sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  stdinFd_ = in[1];
  stdoutFd_ = out[0];

  // The first line it prints is the terminal to open.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string line;
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      error_ = program + " printed no device path";
      Stop();
      return false;
    }
    pollfd p{stdoutFd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[256];
    const ssize_t n = read(stdoutFd_, buf, sizeof buf);
    if (n <= 0) {
      error_ = program + " ended before printing its device path";
      Stop();
      return false;
    }
    line.append(buf, static_cast<size_t>(n));
  }
  devicePath_ = line.substr(0, line.find('\n'));
  while (!devicePath_.empty() && (devicePath_.back() == '\r' || devicePath_.back() == ' ')) {
    devicePath_.pop_back();
  }
  return true;
}

void EmulatorProcess::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (stdinFd_ >= 0) close(stdinFd_);
    stdinFd_ = -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
  for (int* fd : {&stdinFd_, &stdoutFd_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

}  // namespace sidera::tool
