// The byte-command family in the transcripts: its meanings carried out
// through the driver's controller commands, and its controller emulator on a
// terminal.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <thread>

#include "emulators/byte_command/byte_command_emulator.h"
#include "sidera/drivers/byte_command/byte_command_alt_az_mount.h"
#include "tests/transcripts/transcript.h"

namespace sidera::transcripts {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr uint32_t kN = 726559;
constexpr double kRadiansPerCount = 2 * kPi / kN;

double Angle(const std::string& text) {
  return Quantity(text, {{"deg", kPi / 180.0}, {"count", kRadiansPerCount}});
}
double Rate(const std::string& text) {
  return Quantity(text,
                  {{"sidereal", 2 * kPi / 86164.09065}, {"deg/s", kPi / 180.0}, {"rad/s", 1.0}});
}
// Request bytes of a command byte, by the command table: the commands
// that carry a value take 4, everything else 1.
size_t RequestLength(uint8_t command) {
  for (int withValue : {2, 6, 7, 10, 12, 14, 22, 24, 26, 27, 30, 32}) {
    if (command == withValue) return 4;
  }
  return 1;
}

// Model 8's driver on the runner's terminal.
class ByteCommandDriver : public DriverEnd {
 public:
  std::string Perform(const std::string& text) override {
    const Meaning m = SplitMeaning(text);
    ByteCommandMount& mount = *mount_;
    const int a = m.axis;
    if (m.message == "GetPosition") {
      double angle = std::numeric_limits<double>::quiet_NaN();
      const MountResult r = mount.ReadPosition(a, &angle);
      return Verdict(m, r, NoResponse(a), !std::isnan(angle), [&] {
        const double off = std::remainder(angle - Angle(m.result), 2 * kPi);
        return std::abs(off) < 1e-9 ? "" : "decoded " + std::to_string(angle * 180 / kPi) + "deg";
      });
    }
    if (m.message == "GotoDone") {
      int done = -1;
      const MountResult r = mount.QueryGotoDone(&done);
      return Verdict(m, r, 100, done >= 0, [&] {
        return std::to_string(done) == m.result ? "" : "decoded " + std::to_string(done);
      });
    }
    const bool axisFree =
        m.message == "SetPositionAxis1" || m.message == "TwoDegreeCount" || m.message == "Byte";
    if (a < 0 && !axisFree) return "needs an axis (0 or 1)";
    MountResult r = kOk;
    const std::string first = m.arguments.empty() ? "" : m.arguments[0];
    if (m.message == "Goto") {
      r = mount.GotoAngle(a, Angle(m.argument));
    } else if (m.message == "StopGoto") {
      r = mount.StopGoto(a);
    } else if (m.message == "Rate") {
      r = mount.SetRate(a, Rate(m.argument));
    } else if (m.message == "Preset") {
      r = mount.PresetCount(a, Angle(m.argument));
    } else if (m.message == "SetPositionAxis1") {
      r = mount.SetPositionAxis1(Angle(first));
    } else if (m.message == "CountsPerRevolution") {
      r = mount.SetCountsPerRevolution(a, static_cast<uint32_t>(std::atol(m.argument.c_str())));
    } else if (m.message == "TwoDegreeCount") {
      r = mount.SendTwoDegreeCount(std::atoi(first.c_str()));
    } else if (m.message == "Byte") {
      const auto byte = static_cast<uint8_t>(std::strtoul(first.c_str(), nullptr, 16));
      r = mount.SendCommand(0, &byte, 1, nullptr);
    } else {
      return "unknown meaning " + m.message;
    }
    return Verdict(m, r, 100, false, nullptr);
  }

 private:
  std::unique_ptr<ByteCommandMount> mount_ = std::make_unique<ByteCommandAltAzMount8>();
};

// Requests without reply have no answer to wait for, so each step waits
// until the emulator has taken its request in.
class ByteCommandEmulation
    : public FrozenEmulator<emulator::ByteCommandEmulator, emulator::ByteCommandOptions> {
 public:
  Bytes Exchange(const Bytes& request) override {
    if (!LineOpen() || request.empty()) return {};
    const uint8_t c = request[0];
    const size_t replyLength = c == 0x01 || c == 0x15 ? 3 : c == 0x0D ? 1 : 0;
    ++sent_;
    const Bytes reply = line_->Exchange(request, replyLength, replyLength ? 2000 : 0);
    for (int i = 0; i < 200 && emu_.Requests().size() < sent_; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return reply;
  }

  // Positions show in the replies of the file's read-backs; gotos and rates
  // only in the emulator's state.
  std::string Check(const std::string& text) override {
    const Meaning m = SplitMeaning(text);
    const int a = m.axis;
    if (m.message == "Goto" || m.message == "StopGoto") {
      return emu_.GotoInProgress(a) == (m.message == "Goto") ? "" : "goto state is wrong";
    }
    if (m.message == "Rate") {
      const double rate = Rate(m.argument);
      const int32_t wire = emu_.RateWireValue(a);
      return (rate > 0) == (wire > 0) && (rate < 0) == (wire < 0) ? "" : "rate sign is wrong";
    }
    return "";
  }

 private:
  size_t sent_ = 0;
};

[[maybe_unused]] const bool kRegistered = RegisterFamily({
    .name = "byte_command",
    .requestLength = [](const Bytes& b) -> size_t { return b.empty() ? 0 : RequestLength(b[0]); },
    .echoesRequests = false,
    .newDriver = [] { return std::unique_ptr<DriverEnd>(new ByteCommandDriver()); },
    .newEmulator = [] { return std::unique_ptr<EmulatorEnd>(new ByteCommandEmulation()); },
});

}  // namespace
}  // namespace sidera::transcripts
