// Reading the shell's lines beside the Ctrl-C watch.
#include "tools/sidera/line_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "tools/sidera/interrupt.h"

namespace sidera::tool {

LineInput::Result LineInput::Read(std::string* line) {
  for (;;) {
    if (const size_t end = buffer_.find('\n'); end != std::string::npos) {
      *line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return Result::kLine;
    }
    if (ended_) {
      if (buffer_.empty()) return Result::kEnd;
      *line = buffer_;
      buffer_.clear();
      return Result::kLine;
    }
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {InterruptFd(), POLLIN, 0}};
    if (poll(fds, fds[1].fd >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      ended_ = true;
      continue;
    }
    if ((fds[1].revents & POLLIN) != 0) {
      DrainInterruptFd();
      buffer_.clear();
      return Result::kInterrupted;
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    char chunk[512];
    const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
    if (got > 0) {
      buffer_.append(chunk, static_cast<size_t>(got));
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
      ended_ = true;
    }
  }
}

}  // namespace sidera::tool
