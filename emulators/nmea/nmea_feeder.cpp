// Playing NMEA sentences onto a pseudo-terminal at the receiver's baud rate.
#include "emulators/nmea/nmea_feeder.h"

#include <termios.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>

#include "emulators/common/line_server.h"

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

  mutable std::mutex mutex;  // guards options and next
  NmeaFeederOptions options;
  size_t next = 0;  // index of the next sentence
  std::atomic<int> sent{0};
  LineServer server;  // last: stops serving before the rest goes

  void Serve();
};

void NmeaFeeder::Impl::Serve() {
  const int master = server.MasterFd();
  Clock::time_point due = Clock::now();
  bool waiting = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    waiting = options.waitForReader;
  }

  auto turn = [&](Clock::time_point now) {
    speed_t speed = B0;
    {
      std::lock_guard<std::mutex> lock(mutex);
      speed = SpeedOf(options.baud);
    }
    termios settings{};
    // On a pseudo-terminal the master reads the terminal settings of the
    // other end, as a UART would hear the rate it was set to.
    const bool sameRate = tcgetattr(master, &settings) == 0 && cfgetispeed(&settings) == speed;
    if (waiting) {
      // Switched off until the reader listens at this receiver's rate.
      if (!sameRate) return LineServer::Turn{.wakeAt = now + std::chrono::milliseconds(10)};
      waiting = false;
      due = now;
    }
    if (now >= due) {
      std::string bytes;
      double perSecond = 1;
      {
        std::lock_guard<std::mutex> lock(mutex);
        perSecond = std::clamp(options.sentencesPerSecond, 0.01, 1000.0);
        if (next >= options.sentences.size() && options.loop) next = 0;
        if (next < options.sentences.size()) bytes = options.sentences[next++] + "\r\n";
      }
      if (!sameRate) {
        for (char& c : bytes) c = static_cast<char>(static_cast<uint8_t>(c) | 0x80);
      }
      // A receiver does not wait for a listener: what does not fit is lost.
      if (!bytes.empty() &&
          server.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) > 0) {
        ++sent;
      }
      due += std::chrono::microseconds(static_cast<int64_t>(1e6 / perSecond));
      if (due < now) due = now;  // after a stall, do not rush to catch up
    }
    return LineServer::Turn{.wakeAt = due};
  };

  // A receiver ignores what it is sent.
  server.Serve(turn, [](const uint8_t*, size_t) {});
}

NmeaFeeder::NmeaFeeder(NmeaFeederOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

NmeaFeeder::~NmeaFeeder() { Stop(); }

bool NmeaFeeder::Start() {
  return impl_->server.Start([impl = impl_.get()] { impl->Serve(); });
}

std::string NmeaFeeder::DevicePath() const { return impl_->server.DevicePath(); }

void NmeaFeeder::Stop() { impl_->server.Stop(); }

void NmeaFeeder::SetSentences(std::vector<std::string> sentences) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->options.sentences = std::move(sentences);
  impl_->next = 0;
}

int NmeaFeeder::SentencesSent() const { return impl_->sent.load(); }

}  // namespace sidera::emulator
