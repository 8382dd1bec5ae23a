// Starting and stopping indiserver and the controller emulator for the tests.
#include "tests/indi/test_processes.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

extern char** environ;

namespace sidera::indi::test {
namespace {

bool CanConnect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

}  // namespace

TempDir::TempDir() {
  char name[] = "/tmp/sidera-indi-XXXXXX";
  path_ = mkdtemp(name) != nullptr ? name : "/tmp";
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    close(fd);
    return 0;
  }
  close(fd);
  return ntohs(a.sin_port);
}

bool Process::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    bool readStdout, const std::string& logFile) {
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const std::string& mine : env) {
      replaced |= entry.compare(0, mine.find('=') + 1, mine, 0, mine.find('=') + 1) == 0;
    }
    if (!replaced) environment.push_back(entry);
  }
  environment.insert(environment.end(), env.begin(), env.end());
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  args.push_back(nullptr);
  envp.push_back(nullptr);

  int out[2] = {-1, -1};
  int in[2] = {-1, -1};
  if (readStdout && (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0)) return false;
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    setpgid(0, 0);
    if (readStdout) {
      dup2(out[1], STDOUT_FILENO);
      dup2(in[0], STDIN_FILENO);
    } else if (!logFile.empty()) {
      const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  setpgid(pid_, pid_);
  if (readStdout) {
    close(out[1]);
    close(in[0]);
    stdoutFd_ = out[0];
    stdinFd_ = in[1];
  }
  return true;
}

std::string Process::ReadLine(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (pending_.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd p{stdoutFd_, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return "";
    char buffer[256];
    const ssize_t n = read(stdoutFd_, buffer, sizeof buffer);
    if (n <= 0) return "";
    pending_.append(buffer, static_cast<size_t>(n));
  }
  const size_t end = pending_.find('\n');
  std::string line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return line;
}

void Process::Signal(int signal) {
  if (pid_ > 0) kill(-pid_, signal);
}

void Process::Stop() {
  if (pid_ > 0) {
    kill(-pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(-pid_, SIGKILL);  // the driver, if it outlived its server
    (void)waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  for (int* fd : {&stdoutFd_, &stdinFd_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

bool IndiServer::Start(const std::vector<std::string>& drivers, const std::vector<std::string>& env,
                       const std::string& dir) {
  port_ = FreePort();
  std::vector<std::string> argv = {
      INDISERVER_PROGRAM,    "-v", "-p",
      std::to_string(port_), "-u", dir + "/indi-" + std::to_string(port_)};
  argv.insert(argv.end(), drivers.begin(), drivers.end());
  log_ = dir + "/indiserver-" + std::to_string(port_) + ".log";
  if (port_ == 0 || !process_.Start(argv, env, false, log_)) return false;
  for (int i = 0; i < 500; ++i) {
    if (CanConnect(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string IndiServer::Log() const {
  std::string text;
  if (FILE* f = std::fopen(log_.c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

}  // namespace sidera::indi::test
