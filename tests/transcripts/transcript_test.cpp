// Replays every family's transcript file against both ends of the wire:
// the driver, whose serial port is a pseudo-terminal this runner answers
// from the file, and the controller emulator, which must answer as the file
// says. With SIDERA_TRANSCRIPT_UPDATE=1 the file's bytes are rewritten from
// what the driver sent and the emulator answered instead of compared.
#include "tests/transcripts/transcript.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "emulators/common/pty_line.h"

namespace sidera::transcripts {
namespace {

bool UpdateMode() {
  const char* v = std::getenv("SIDERA_TRANSCRIPT_UPDATE");
  return v != nullptr && std::string(v) == "1";
}

// The far end of the driver's serial port. A thread takes each request
// frame off the line, records it and answers with the echo (when the family
// has one) and the reply that `answer` gives for it.
class DeviceLine {
 public:
  explicit DeviceLine(const FamilyCodec& codec) : codec_(codec) {}
  ~DeviceLine() {
    stop_ = true;
    if (server_.joinable()) server_.join();
  }

  bool Start() {
    if (!pty_.Open()) return false;
    server_ = std::thread([this] { Serve(); });
    return true;
  }
  std::string Path() const { return pty_.SlavePath(); }

  void SetAnswer(std::function<Bytes(const Bytes&)> answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answer_ = std::move(answer);
  }
  // Everything the driver has written since the last call, once at least
  // `expected` bytes have come (0: once the line has been quiet for 100 ms)
  // or 2 s have passed: a request without reply may still be on its way
  // when the driver's call returns.
  Bytes TakeReceived(size_t expected) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto quiet = [&, since = std::chrono::steady_clock::now()] {
      const auto now = std::chrono::steady_clock::now();
      return now - std::max(since, lastByte_) > std::chrono::milliseconds(100);
    };
    for (int waited = 0;
         (expected == 0 ? !quiet() : received_.size() + pending_.size() < expected) &&
         waited < 2000;
         ++waited) {
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      lock.lock();
    }
    Bytes out = std::move(received_);
    out.insert(out.end(), pending_.begin(), pending_.end());
    received_.clear();
    pending_.clear();
    return out;
  }

 private:
  void Serve() {
    pollfd pfd{pty_.MasterFd(), POLLIN, 0};
    while (!stop_) {
      if (poll(&pfd, 1, 20) <= 0 || (pfd.revents & POLLIN) == 0) continue;
      uint8_t buffer[256];
      const ssize_t got = read(pty_.MasterFd(), buffer, sizeof buffer);
      if (got <= 0) continue;
      std::unique_lock<std::mutex> lock(mutex_);
      lastByte_ = std::chrono::steady_clock::now();
      pending_.insert(pending_.end(), buffer, buffer + got);
      for (size_t n; (n = codec_.requestLength(pending_)) != 0 && pending_.size() >= n;) {
        const Bytes request(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(n));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(n));
        received_.insert(received_.end(), request.begin(), request.end());
        Bytes out = codec_.echoesRequests ? request : Bytes{};
        const Bytes reply = answer_ ? answer_(request) : Bytes{};
        out.insert(out.end(), reply.begin(), reply.end());
        lock.unlock();
        for (size_t done = 0; done < out.size();) {
          const ssize_t w = write(pty_.MasterFd(), out.data() + done, out.size() - done);
          if (w <= 0) break;
          done += static_cast<size_t>(w);
        }
        lock.lock();
      }
    }
  }

  const FamilyCodec& codec_;
  emulator::PtyLine pty_;
  std::thread server_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;  // guards the four below
  std::function<Bytes(const Bytes&)> answer_;
  std::chrono::steady_clock::time_point lastByte_;
  Bytes received_;  // whole request frames, in order
  Bytes pending_;   // the start of a frame not yet complete
};

class Transcript : public ::testing::TestWithParam<FamilyCodec> {};

TEST_P(Transcript, DriverAndEmulatorAgreeWithTheFile) {
  const FamilyCodec& codec = GetParam();
  const bool update = UpdateMode();
  TranscriptFile file =
      ReadTranscript(std::string(TRANSCRIPT_DIR) + "/" + codec.name + ".transcript");
  ASSERT_EQ(file.error, "");
  const char* path = file.path.c_str();
  for (Session& session : file.sessions) {
    SCOPED_TRACE("session " + session.name);
    DeviceLine device(codec);
    ASSERT_TRUE(device.Start());
    ASSERT_EQ(setenv("SIDERA_SERIAL_PATTERN", device.Path().c_str(), 1), 0);
    const std::unique_ptr<DriverEnd> driver = codec.newDriver();
    const std::unique_ptr<EmulatorEnd> emulator =
        session.driverOnly || !codec.newEmulator ? nullptr : codec.newEmulator();
    for (Step& step : session.steps) {
      // While updating, the driver hears the emulator's answer to what it
      // sent; otherwise the file's reply.
      Bytes emulatorReply;
      bool emulatorAnswered = false;
      device.SetAnswer([&](const Bytes& request) {
        if (!update || emulator == nullptr) return step.reply;
        emulatorReply = emulator->Exchange(request);
        emulatorAnswered = true;
        return emulatorReply;
      });
      const std::string driverSays = driver->Perform(step.meaning);
      const Bytes sent = device.TakeReceived(update ? 0 : step.request.size());
      device.SetAnswer(nullptr);
      if (!driverSays.empty()) {
        ADD_FAILURE_AT(path, step.line) << step.meaning << ": driver " << driverSays;
      }
      if (update) {
        step.request = sent;
        if (emulatorAnswered) step.reply = emulatorReply;
      } else {
        if (sent != step.request) {
          ADD_FAILURE_AT(path, step.line)
              << step.meaning << ": driver sent " << Hex(sent) << ", not " << Hex(step.request);
        }
        if (emulator != nullptr) {
          const Bytes answered = emulator->Exchange(step.request);
          if (answered != step.reply) {
            ADD_FAILURE_AT(path, step.line) << step.meaning << ": emulator answered "
                                            << Hex(answered) << ", not " << Hex(step.reply);
          }
        }
      }
      if (emulator != nullptr) {
        const std::string emulatorSays = emulator->Check(step.meaning);
        if (!emulatorSays.empty()) {
          ADD_FAILURE_AT(path, step.line) << step.meaning << ": emulator " << emulatorSays;
        }
      }
    }
    unsetenv("SIDERA_SERIAL_PATTERN");
  }
  if (update) {
    EXPECT_TRUE(RewriteTranscript(file)) << file.path;
  }
}

INSTANTIATE_TEST_SUITE_P(Families, Transcript, ::testing::ValuesIn(Families()),
                         [](const auto& info) { return info.param.name; });

// A data file nobody reads would pass silently.
TEST(TranscriptFiles, EachFileHasARegisteredFamily) {
  for (const auto& entry : std::filesystem::directory_iterator(TRANSCRIPT_DIR)) {
    if (entry.path().extension() != ".transcript") continue;
    const std::string stem = entry.path().stem().string();
    bool registered = false;
    for (const FamilyCodec& codec : Families()) registered = registered || codec.name == stem;
    EXPECT_TRUE(registered) << entry.path() << " has no codec";
  }
}

}  // namespace
}  // namespace sidera::transcripts
