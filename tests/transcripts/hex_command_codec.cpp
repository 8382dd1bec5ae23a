// The hex-command family in the transcripts: its meanings carried out
// through the driver's commands, and its controller emulator on a terminal.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>

#include "emulators/hex_command/hex_command_emulator.h"
#include "sidera/drivers/hex_command/hex_command_mount.h"
#include "tests/transcripts/transcript.h"

namespace sidera::transcripts {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kCountsPerTurn = 3628800.0;  // the emulator's default
constexpr double kRadiansPerCount = 2 * kPi / kCountsPerTurn;
constexpr MountResult kRefused = 4;

// A meaning of this family: MESSAGE AXIS [ARGUMENT...] [= RESULT], where
// the result may also be "refused"/"malformed" (4, nothing stored) or
// "kept" (0, the stored value kept).
struct HexMeaning : Meaning {
  explicit HexMeaning(const std::string& text)
      : Meaning(SplitMeaning(text)),
        refused(result == "refused" || result == "malformed"),
        kept(result == "kept") {}
  bool refused, kept;
};

double Angle(const std::string& text) {
  return Quantity(text, {{"deg", kPi / 180.0}, {"count", kRadiansPerCount}});
}

uint32_t Number(const std::string& text) {
  return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

char MotionType(const std::string& name) {
  if (name == "long-goto") return '0';
  if (name == "slow-rate") return '1';
  if (name == "short-goto") return '2';
  if (name == "fast-rate") return '3';
  return 0;
}

// The driver alone, on the runner's terminal, with the emulator's counts
// per revolution as its conversion factor.
class HexCommandDriver : public DriverEnd {
 public:
  HexCommandDriver() {
    for (int axis = 0; axis < 2; ++axis) {
      mount_->countsPerRadian[axis] = 1.0 / kRadiansPerCount;
      mount_->radiansPerCount[axis] = kRadiansPerCount;
    }
  }

  std::string Perform(const std::string& text) override {
    const HexMeaning m(text);
    if (m.axis < 0) return "needs a command and an axis (0 or 1)";
    HexCommandMount& d = *mount_;
    const int a = m.axis;
    MountResult r = kOk;
    bool wrote = false;
    std::string got;  // the decoded value, in the meaning's words
    if (m.message == "Version") {
      d.firmwareVersion = UINT32_MAX;
      r = d.InquireVersion(a);
      wrote = d.firmwareVersion != UINT32_MAX;
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%06X", d.firmwareVersion.load());
      got = hex;
    } else if (m.message == "Counts") {
      d.countsPerRadian[a] = -1.0;
      r = d.InquireCountsPerRevolution(a);
      wrote = d.countsPerRadian[a] != -1.0;
      got = std::to_string(std::lround(d.countsPerRadian[a] * 2 * kPi));
    } else if (m.message == "Timer" || m.message == "Ratio" || m.message == "SValue") {
      uint32_t* field = m.message == "Timer"   ? &d.timerFrequency[a]
                        : m.message == "Ratio" ? &d.highSpeedRatio[a]
                                               : &d.sValue[a];
      *field = UINT32_MAX;
      r = m.message == "Timer"   ? d.InquireTimerFrequency(a)
          : m.message == "Ratio" ? d.InquireHighSpeedRatio(a)
                                 : d.InquireSValue(a);
      wrote = *field != UINT32_MAX;
      got = std::to_string(*field);
    } else if (m.message == "Position") {
      d.Axes().NotePosition(a, std::numeric_limits<double>::quiet_NaN());
      r = d.InquirePosition(a);
      const double angle = d.Axes().Position(a);
      wrote = !std::isnan(angle);
      if (wrote && std::abs(angle - Angle(m.result)) < 1e-9) got = m.result;
      if (wrote && got.empty()) got = std::to_string(angle / kRadiansPerCount) + "count";
    } else if (m.message == "Status") {
      d.Axes().NoteState(a, UINT32_MAX);
      r = d.InquireStatus(a);
      wrote = d.Axes().State(a) != UINT32_MAX;
      got = std::to_string(d.Axes().State(a));
    } else {
      return Command(m, d);
    }
    if (m.refused || m.kept) {
      if (r != (m.refused ? kRefused : kOk)) return "returned " + std::to_string(r);
      return wrote ? "stored " + got : "";
    }
    return Verdict(m, r, NoResponse(a), wrote,
                   [&] { return got == m.result ? "" : "decoded " + got; });
  }

 private:
  static std::string Command(const HexMeaning& m, HexCommandMount& d) {
    using Plain = MountResult (HexCommandMount::*)(int);
    using WithNumber = MountResult (HexCommandMount::*)(int, uint32_t);
    static const std::map<std::string, Plain> plain = {
        {"Initialize", &HexCommandMount::InitializeAxis},
        {"Start", &HexCommandMount::StartMotion},
        {"Stop", &HexCommandMount::StopMotion},
        {"StopInstantly", &HexCommandMount::StopInstantly}};
    static const std::map<std::string, WithNumber> withNumber = {
        {"GotoIncrement", &HexCommandMount::SetGotoIncrement},
        {"BrakeIncrement", &HexCommandMount::SetBrakeIncrement},
        {"StepPeriod", &HexCommandMount::SetStepPeriod}};
    const int a = m.axis;
    MountResult r = kOk;
    if (plain.count(m.message) != 0) {
      r = (d.*plain.at(m.message))(a);
    } else if (withNumber.count(m.message) != 0) {
      r = (d.*withNumber.at(m.message))(a, Number(m.argument));
    } else if (m.message == "Mode") {
      const char type = MotionType(m.argument);
      if (type == 0 || m.arguments.size() < 3) return "needs a motion type and a direction";
      d.southernHemisphere = m.arguments.size() > 3 && m.arguments[3] == "south";
      r = d.SetMotionMode(a, type, m.arguments[2] == "-");
    } else if (m.message == "LoadPosition") {
      r = d.LoadPosition(a, Angle(m.argument));
    } else if (m.message == "Command" && m.argument.size() == 1) {
      const std::string data = m.arguments.size() > 2 ? m.arguments[2] : "";
      r = d.SendHexCommand(a, m.argument[0], data.data(), data.size(), nullptr);
    } else {
      return "unknown command " + m.message;
    }
    if (m.refused) return r == kRefused ? "" : "returned " + std::to_string(r);
    return Verdict(m, r, NoResponse(a), false, nullptr);
  }

  std::unique_ptr<HexCommandMount> mount_ = std::make_unique<HexCommandMount>();
};

class HexCommandEmulation
    : public FrozenEmulator<emulator::HexCommandEmulator, emulator::HexCommandOptions> {
 public:
  // The reply up to its carriage return; empty when none came.
  Bytes Exchange(const Bytes& request) override {
    return LineOpen() ? line_->ExchangeLines(request) : Bytes{};
  }

  std::string Check(const std::string& text) override {
    const HexMeaning m(text);
    if (m.axis < 0 || m.refused) return "";  // the driver end reports it
    const int a = m.axis;
    bool ok = true;
    if (m.message == "LoadPosition") {
      ok = emu_.PositionCounts(a) == std::trunc(Angle(m.argument) / kRadiansPerCount);
    } else if (m.message == "Mode") {
      const int south = m.arguments.size() > 3 ? 2 : 0;
      ok = emu_.MotionType(a) == MotionType(m.argument) &&
           emu_.Direction(a) == ((m.arguments[2] == "-" ? '1' : '0') | south);
    } else if (m.message == "StepPeriod") {
      ok = emu_.StepPeriod(a) == Number(m.argument);
    } else if (m.message == "BrakeIncrement") {
      ok = emu_.BrakeIncrement(a) == Number(m.argument);
    } else if (m.message == "Initialize") {
      ok = emu_.Initialised(a);
    } else if (m.message == "Start" || m.message == "StopInstantly") {
      ok = emu_.Running(a) == (m.message == "Start");
    }
    return ok ? "" : "did not take on " + text;
  }
};

// A request runs from its ":" to its carriage return.
size_t RequestLength(const Bytes& received) {
  const auto end = std::find(received.begin(), received.end(), '\r');
  return end == received.end() ? 0 : static_cast<size_t>(end - received.begin()) + 1;
}

[[maybe_unused]] const bool kRegistered = RegisterFamily({
    .name = "hex_command",
    .requestLength = RequestLength,
    .echoesRequests = false,
    .newDriver = [] { return std::unique_ptr<DriverEnd>(new HexCommandDriver()); },
    .newEmulator = [] { return std::unique_ptr<EmulatorEnd>(new HexCommandEmulation()); },
});

}  // namespace
}  // namespace sidera::transcripts
