// The test's end of an emulated serial line: opens the device as the
// library would (raw), writes frames and reads what comes back.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace sidera::emulator::testing {

using Bytes = std::vector<uint8_t>;

class LineClient {
 public:
  explicit LineClient(const std::string& path)
      : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    termios settings{};
    if (fd_ >= 0 && tcgetattr(fd_, &settings) == 0) {
      cfmakeraw(&settings);
      (void)tcsetattr(fd_, TCSANOW, &settings);
    }
  }
  ~LineClient() {
    if (fd_ >= 0) (void)close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }

  // Sends `request` and returns what comes back until `count` bytes have
  // come, the line stays quiet for `quietMs` or the other end hangs up
  // (hungUp is set).
  Bytes Exchange(const Bytes& request, size_t count, int quietMs = 2000) {
    Bytes got;
    if (write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
      return got;
    }
    pollfd pfd{fd_, POLLIN, 0};
    uint8_t byte = 0;
    while (got.size() < count && poll(&pfd, 1, quietMs) > 0) {
      if (read(fd_, &byte, 1) != 1) {
        hungUp = true;
        break;
      }
      got.push_back(byte);
    }
    return got;
  }

  // Sends `request` and returns what comes back up to the `lines`-th
  // carriage return, or nothing when no byte comes within `waitMs`.
  Bytes ExchangeLines(const Bytes& request, int lines = 1, int waitMs = 2000) {
    Bytes got = Exchange(request, 1, waitMs);
    while (!got.empty() && std::count(got.begin(), got.end(), '\r') < lines) {
      const Bytes more = Exchange({}, 1, 300);
      if (more.empty()) break;
      got.insert(got.end(), more.begin(), more.end());
    }
    return got;
  }

  bool hungUp = false;

 private:
  int fd_;
};

// The hang-up limit counts every request since the emulator started: one
// more `request` is answered in full with `answer`, then the line goes down.
template <typename Emulator>
void ExpectHangUpAfterOneMore(Emulator& emu, LineClient& line, const Bytes& request,
                              const Bytes& answer) {
  const int limit = static_cast<int>(emu.Requests().size()) + 1;
  emu.UpdateOptions([&](auto& o) { o.closeAfterRequests = limit; });
  EXPECT_EQ(line.Exchange(request, answer.size()), answer);
  EXPECT_TRUE(line.Exchange({}, 1, 3000).empty());
  EXPECT_TRUE(line.hungUp);
}

}  // namespace sidera::emulator::testing
