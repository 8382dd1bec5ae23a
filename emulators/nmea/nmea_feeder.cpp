// Playing NMEA sentences onto a pseudo-terminal at the receiver's baud rate.
#include "emulators/nmea/nmea_feeder.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

#include "emulators/common/pty_line.h"

namespace sidera::emulator {
namespace {

using Clock = std::chrono::steady_clock;

speed_t SpeedOf(uint32_t baud) {
  switch (baud) {
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    default:
      return B0;
  }
}

}  // namespace

bool ReadSentenceFile(const std::string& path, std::vector<std::string>& sentences) {
  std::ifstream file(path);
  if (!file) return false;
  sentences.clear();
  std::string line;
  while (std::getline(file, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    sentences.push_back(line);
  }
  return true;
}

std::string NmeaSentence(const std::string& body) {
  uint8_t sum = 0;
  for (const char c : body) sum ^= static_cast<uint8_t>(c);
  char checksum[4];
  std::snprintf(checksum, sizeof checksum, "%02X", sum);
  return "$" + body + "*" + checksum;
}

struct NmeaFeeder::Impl {
  explicit Impl(NmeaFeederOptions o) : options(std::move(o)) {}

  mutable std::mutex mutex;  // guards options, next and devicePath
  NmeaFeederOptions options;
  size_t next = 0;  // index of the next sentence
  std::string devicePath;
  std::atomic<int> sent{0};

  // Owned by the server thread while it runs.
  PtyLine line;
  std::thread server;
  int wakeFd = -1;
  std::atomic<bool> stopRequested{false};

  void Serve();
};

void NmeaFeeder::Impl::Serve() {
  const int master = line.MasterFd();
  Clock::time_point due = Clock::now();
  while (!stopRequested) {
    const Clock::time_point now = Clock::now();
    double perSecond = 1;
    if (now >= due) {
      std::string bytes;
      speed_t speed = B0;
      {
        std::lock_guard<std::mutex> lock(mutex);
        perSecond = std::clamp(options.sentencesPerSecond, 0.01, 1000.0);
        speed = SpeedOf(options.baud);
        if (next >= options.sentences.size() && options.loop) next = 0;
        if (next < options.sentences.size()) bytes = options.sentences[next++] + "\r\n";
      }
      termios settings{};
      // On a pseudo-terminal the master reads the terminal settings of the
      // other end, as a UART would hear the rate it was set to.
      const bool sameRate = tcgetattr(master, &settings) == 0 && cfgetispeed(&settings) == speed;
      if (!sameRate) {
        for (char& c : bytes) c = static_cast<char>(static_cast<uint8_t>(c) | 0x80);
      }
      // A receiver does not wait for a listener: what does not fit is lost.
      if (!bytes.empty() && write(master, bytes.data(), bytes.size()) > 0) ++sent;
      due += std::chrono::microseconds(static_cast<int64_t>(1e6 / perSecond));
      if (due < now) due = now;  // after a stall, do not rush to catch up
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {master, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(std::clamp<int64_t>(wait, 0, 1000))) < 0 && errno != EINTR) {
      break;
    }
    if (fds[0].revents & POLLIN) {
      uint64_t drained;
      (void)!read(wakeFd, &drained, sizeof drained);
    }
    if (fds[1].revents & POLLIN) {
      char discard[256];
      (void)!read(master, discard, sizeof discard);  // a receiver ignores what it is sent
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  line.Close();
}

NmeaFeeder::NmeaFeeder(NmeaFeederOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

NmeaFeeder::~NmeaFeeder() { Stop(); }

bool NmeaFeeder::Start() {
  if (impl_->server.joinable() || !impl_->line.Open()) return false;
  impl_->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (impl_->wakeFd < 0) {
    impl_->line.Close();
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->devicePath = impl_->line.SlavePath();
  }
  impl_->stopRequested = false;
  impl_->server = std::thread([impl = impl_.get()] { impl->Serve(); });
  return true;
}

std::string NmeaFeeder::DevicePath() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->devicePath;
}

void NmeaFeeder::Stop() {
  if (!impl_->server.joinable()) return;
  impl_->stopRequested = true;
  const uint64_t one = 1;
  (void)!write(impl_->wakeFd, &one, sizeof one);
  impl_->server.join();
  (void)close(impl_->wakeFd);
  impl_->wakeFd = -1;
}

void NmeaFeeder::SetSentences(std::vector<std::string> sentences) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->options.sentences = std::move(sentences);
  impl_->next = 0;
}

int NmeaFeeder::SentencesSent() const { return impl_->sent.load(); }

}  // namespace sidera::emulator
