// The test's end of an emulated serial line: opens the device as the
// library would (raw), writes frames and reads what comes back.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace sidera::emulator::testing {

using Bytes = std::vector<uint8_t>;

class LineClient {
 public:
  explicit LineClient(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios settings{};
    if (tcgetattr(fd_, &settings) == 0) {
      cfmakeraw(&settings);
      (void)tcsetattr(fd_, TCSANOW, &settings);
    }
  }
  ~LineClient() {
    if (fd_ >= 0) (void)close(fd_);
  }
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  bool Send(const Bytes& bytes) {
    return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Reads until `count` bytes have come or `limitMs` has passed.
  Bytes Read(size_t count, int limitMs = 2000) {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            end - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
      uint8_t buffer[256];
      const size_t want = std::min(sizeof buffer, count - got.size());
      const ssize_t n = read(fd_, buffer, want);
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  // Sends a request and returns everything that comes back up to `count` bytes.
  Bytes Exchange(const Bytes& request, size_t count) {
    if (!Send(request)) return {};
    return Read(count);
  }

  // True when nothing at all arrives within `quietMs`.
  bool Quiet(int quietMs) { return Read(1, quietMs).empty(); }

  // True once the other end has hung up (data still arriving is discarded).
  bool HungUp(int limitMs = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < end) {
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, 50) < 0) return false;
      if (pfd.revents & POLLHUP) return true;
      if (pfd.revents & POLLIN) {
        uint8_t buffer[256];
        if (read(fd_, buffer, sizeof buffer) <= 0) return true;
      }
    }
    return false;
  }

 private:
  int fd_ = -1;
};

}  // namespace sidera::emulator::testing
