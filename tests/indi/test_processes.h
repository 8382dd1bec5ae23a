// Programs the server tests start: indiserver (with the driver, or chained to
// another server) and the packet-bus controller emulator. Each runs in a
// process group of its own, so stopping it also stops the driver it started.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace sidera::indi::test {

// A temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A TCP port on the loopback interface that nothing listens on now.
int FreePort();

class Process {
 public:
  ~Process() { Stop(); }
  // Runs argv[0] with the current environment plus `env` ("NAME=value").
  // With `readStdout` its output comes through ReadLine and its input is a
  // pipe that closes with Stop; otherwise its output goes to `logFile`.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             bool readStdout, const std::string& logFile = "");
  // The next line the program prints, or "" after `timeoutMs`.
  std::string ReadLine(int timeoutMs);
  // Sends `signal` to the whole group.
  void Signal(int signal);
  // Ends the group (SIGTERM, then SIGKILL after a second) and reaps the program.
  void Stop();
  bool running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  int stdinFd_ = -1;
  std::string pending_;
};

class IndiServer {
 public:
  // Serves `drivers` (driver programs, or "Device@host:port" of another
  // server) on a free port with a local socket of its own under `dir`.
  bool Start(const std::vector<std::string>& drivers, const std::vector<std::string>& env,
             const std::string& dir);
  void Stop() { process_.Stop(); }
  int port() const { return port_; }
  // What indiserver and the driver wrote to their standard error.
  std::string Log() const;

 private:
  Process process_;
  int port_ = 0;
  std::string log_;
};

}  // namespace sidera::indi::test
