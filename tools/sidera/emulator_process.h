// A controller emulator run as a child process for the demo: started with
// its options in a session of its own (so that the terminal's Ctrl-C
// reaches only the demo, which stops the mount through it), its
// pseudo-terminal path read from the first line it prints, and stopped
// again at the end.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace sidera::tool {

class EmulatorProcess {
 public:
  EmulatorProcess() = default;
  ~EmulatorProcess();  // Stop()
  EmulatorProcess(const EmulatorProcess&) = delete;
  EmulatorProcess& operator=(const EmulatorProcess&) = delete;

  // Starts `program` with `args`; returns false (and error()) when it cannot
  // be started or prints no device path within `timeoutMs`.
  bool Start(const std::string& program, const std::vector<std::string>& args, int timeoutMs);
  const std::string& devicePath() const { return devicePath_; }
  const std::string& error() const { return error_; }
  // Ends the emulator (SIGTERM, closing its stdin) and reaps it.
  void Stop();

 private:
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  int stdoutFd_ = -1;
  std::string devicePath_;
  std::string error_;
};

}  // namespace sidera::tool
