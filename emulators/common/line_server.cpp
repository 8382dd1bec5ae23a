// The serving thread of an emulated line: its start and stop, the hang-up
// hand-over, and the poll loop over the pseudo-terminal and the wake event.
#include "emulators/common/line_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sidera::emulator {

namespace {

using Milliseconds = std::chrono::milliseconds;

// Before hanging up after the last permitted request, the reply is given
// this long to be read by the other side.
constexpr Milliseconds kHangUpGrace{1000};
// Bytes written to the line reach the reader's queue a moment later; a
// hang-up waits this long after the last write before trusting that the
// queue is empty.
constexpr Milliseconds kSettle{20};
// While a hang-up waits, the reader's queue is looked at this often.
constexpr Milliseconds kHangUpPoll{10};
constexpr size_t kReadChunk = 256;
constexpr size_t kWriteChunk = 256;

}  // namespace

bool LineServer::Start(std::function<void()> session) {
  if (thread_.joinable()) return false;
  if (!line_.Open()) return false;
  const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    line_.Close();
    return false;
  }
  wakeFd_ = wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    devicePath_ = line_.SlavePath();
    lineClosed_ = false;
  }
  stopRequested_ = false;
  closeRequested_ = false;
  thread_ = std::thread([this, session = std::move(session)] {
    session();
    line_.Close();
    std::lock_guard<std::mutex> lock(mutex_);
    lineClosed_ = true;
    lineClosedChanged_.notify_all();
  });
  return true;
}

void LineServer::Stop() {
  if (!thread_.joinable()) return;
  stopRequested_ = true;
  Wake();
  thread_.join();
  (void)close(wakeFd_.exchange(-1));
}

void LineServer::CloseLine() {
  if (!thread_.joinable()) return;
  closeRequested_ = true;
  Wake();
  std::unique_lock<std::mutex> lock(mutex_);
  lineClosedChanged_.wait(lock, [this] { return lineClosed_; });
}

void LineServer::Wake() const {
  const uint64_t one = 1;
  const int fd = wakeFd_;
  if (fd >= 0) (void)!write(fd, &one, sizeof one);
}

std::string LineServer::DevicePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devicePath_;
}

void LineServer::Serve(const TurnHandler& turn, const InputHandler& input) {
  lastOutput_ = Clock::now();
  hangingUp_ = false;
  const int master = line_.MasterFd();
  const int wake = wakeFd_;
  while (!stopRequested_ && !closeRequested_) {
    turnStart_ = Clock::now();
    const Turn next = turn(turnStart_);
    if (next.hangUp) break;

    Clock::time_point wakeAt = next.wakeAt;
    if (hangingUp_) wakeAt = std::min(wakeAt, turnStart_ + kHangUpPoll);
    int timeoutMs = -1;
    if (wakeAt != Clock::time_point::max()) {
      // Round up to a whole millisecond, but wake at once for what is due now.
      const auto wait = std::chrono::ceil<Milliseconds>(wakeAt - turnStart_).count();
      timeoutMs = static_cast<int>(std::clamp<int64_t>(wait, 0, 1000));
    }
    pollfd fds[2] = {{wake, POLLIN, 0}, {master, 0, 0}};
    if (!hangingUp_) fds[1].events |= POLLIN;
    if (next.writable) fds[1].events |= POLLOUT;
    if (poll(fds, 2, timeoutMs) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      uint64_t drained;
      (void)!read(wake, &drained, sizeof drained);
    }
    if (fds[1].revents & POLLIN) {
      uint8_t buffer[kReadChunk];
      const ssize_t got = read(master, buffer, sizeof buffer);
      if (got > 0) input(buffer, static_cast<size_t>(got));
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
      // Only possible while nobody holds the slave open; do not spin.
      std::this_thread::sleep_for(Milliseconds(10));
    }
  }
}

ssize_t LineServer::Write(const uint8_t* bytes, size_t count) {
  const ssize_t written = write(line_.MasterFd(), bytes, count);
  if (written > 0) lastOutput_ = turnStart_;
  return written;
}

bool LineServer::WriteFrom(std::deque<uint8_t>& queue, size_t most) {
  uint8_t chunk[kWriteChunk];
  size_t n = 0;
  for (auto it = queue.begin(); it != queue.end() && n < std::min(most, sizeof chunk); ++it) {
    chunk[n++] = *it;
  }
  const ssize_t written = Write(chunk, n);
  if (written <= 0) return false;
  queue.erase(queue.begin(), queue.begin() + written);
  return true;
}

void LineServer::BeginHangUp(Clock::time_point since) {
  if (hangingUp_) return;
  hangingUp_ = true;
  hangUpSince_ = since;
}

bool LineServer::HangUpDue(Clock::time_point now) const {
  if (!hangingUp_) return false;
  const bool settled = now - lastOutput_ >= kSettle;
  return (settled && line_.PendingForReader() == 0) ||
         now - std::max(hangUpSince_, lastOutput_) >= kHangUpGrace;
}

}  // namespace sidera::emulator
