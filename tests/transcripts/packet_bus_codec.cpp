// The packet-bus family in the transcripts: its meanings carried out through
// the bus driver's messages, and its controller emulator on a terminal.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "emulators/packet_bus/packet_bus_emulator.h"
#include "sidera/drivers/packet_bus/packet_bus_mount.h"
#include "tests/transcripts/transcript.h"

namespace sidera::transcripts {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kRadiansPerCount = kPi / 8388608.0;  // 2^24 counts a turn
constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

double Angle(const std::string& text) {
  return Quantity(text, {{"deg", kPi / 180.0}, {"count", kRadiansPerCount}});
}
double Rate(const std::string& text) {
  return Quantity(text, {{"sidereal", 2 * kPi / 86164.09065},
                         {"qas/s", kPi / (180.0 * 3600.0 * 4.0)},
                         {"rad/s", 1.0}});
}

// The bus driver alone, on the runner's terminal.
class PacketBusDriver : public DriverEnd {
 public:
  std::string Perform(const std::string& text) override {
    const Meaning m = SplitMeaning(text);
    if (m.axis < 0) return "needs a message and an axis (0 or 1)";
    PacketBusMount& bus = *bus_;
    const int a = m.axis;
    if (m.message == "GetPosition") {
      double angle = kNoValue;
      const MountResult r = bus.QueryPosition(a, &angle);
      return Verdict(m, r, NoResponse(a), !std::isnan(angle), [&] {
        return std::abs(angle - Angle(m.result)) < 1e-9
                   ? ""
                   : "decoded " + std::to_string(angle * 180.0 / kPi) + "deg";
      });
    }
    if (m.message == "GotoDone") {
      int32_t done = INT32_MIN;
      const MountResult r = bus.QueryGotoDone(a, &done);
      return Verdict(m, r, NoResponse(a), done != INT32_MIN, [&] {
        return std::to_string(done) == m.result ? "" : "decoded " + std::to_string(done);
      });
    }
    if (m.message == "GetVersion") {
      uint32_t version = UINT32_MAX;
      const MountResult r = bus.QueryVersion(a, &version);
      return Verdict(m, r, NoResponse(a), version != UINT32_MAX, [&] {
        const std::string got =
            std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF);
        return got == m.result ? "" : "decoded " + got;
      });
    }
    MountResult r = kOk;
    if (m.message == "GotoFast" || m.message == "GotoSlow") {
      r = bus.SendGoto(a, Angle(m.argument), m.message == "GotoFast");
    } else if (m.message == "SetPosition") {
      r = bus.SendSetPosition(a, Angle(m.argument));
    } else if (m.message == "Rate") {
      r = bus.SendRate(a, Rate(m.argument));
    } else if (m.message == "SetApproach" || m.message == "Setting10" || m.message == "Setting11") {
      const int value = ByteValue(m.argument);
      if (value < 0) return "needs a byte value";
      const auto v = static_cast<uint8_t>(value);
      r = m.message == "SetApproach" ? bus.SendApproach(a, v)
          : m.message == "Setting10" ? bus.SendSetting10(a, v)
                                     : bus.SendSetting11(a, v);
    } else if (m.message == "Message") {
      Bytes bytes;  // id, then data
      for (size_t i = 1; i < m.arguments.size(); ++i) {
        bytes.push_back(static_cast<uint8_t>(std::strtoul(m.arguments[i].c_str(), nullptr, 16)));
      }
      if (bytes.empty()) return "needs a message id";
      r = bus.SendPacket(a, bytes[0], bytes.data() + 1, bytes.size() - 1, nullptr);
    } else {
      return "unknown message " + m.message;
    }
    return Verdict(m, r, NoResponse(a), false, nullptr);
  }

 private:
  std::unique_ptr<PacketBusMount> bus_ = std::make_unique<PacketBusMount>();
};

class PacketBusEmulation
    : public FrozenEmulator<emulator::PacketBusEmulator, emulator::PacketBusOptions> {
 public:
  Bytes Exchange(const Bytes& request) override {
    if (!LineOpen()) return {};
    if (line_->Exchange(request, request.size()) != request) echoFault_ = true;
    Bytes reply = line_->Exchange({}, 2);  // preamble and length
    if (reply.size() == 2) {
      const Bytes rest = line_->Exchange({}, reply[1] + 1u);
      reply.insert(reply.end(), rest.begin(), rest.end());
    }
    return reply;
  }

  std::string Check(const std::string& text) override {
    if (echoFault_) return "did not echo the request";
    const Meaning m = SplitMeaning(text);
    const int a = m.axis;
    if (a < 0) return "";  // the driver end reports it
    if (m.message == "SetPosition") {
      // Within a count of the angle, modulo a turn.
      const double expected = Angle(m.argument) / kRadiansPerCount;
      const double off = std::remainder(emu_.PositionCounts(a) - expected, 16777216.0);
      return std::abs(off) <= 1.0 ? "" : "is at count " + std::to_string(emu_.PositionCounts(a));
    }
    if (m.message == "GotoFast" || m.message == "GotoSlow") {
      const bool ok =
          emu_.GotoInProgress(a) && emu_.LastGotoWasFast(a) == (m.message == "GotoFast");
      return ok ? "" : "runs no such goto";
    }
    int held = -1;
    if (m.message == "SetApproach") held = emu_.ApproachByte(a);
    if (m.message == "Setting10" || m.message == "Setting11") {
      held = emu_.Setting(a, m.message == "Setting10" ? 0x10 : 0x11);
    }
    return held < 0 || held == ByteValue(m.argument) ? "" : "holds " + std::to_string(held);
  }

 private:
  bool echoFault_ = false;
};

[[maybe_unused]] const bool kRegistered = RegisterFamily({
    .name = "packet_bus",
    .requestLength = [](const Bytes& b) -> size_t { return b.size() >= 2 ? b[1] + 3u : 0; },
    .echoesRequests = true,
    .newDriver = [] { return std::unique_ptr<DriverEnd>(new PacketBusDriver()); },
    .newEmulator = [] { return std::unique_ptr<EmulatorEnd>(new PacketBusEmulation()); },
});

}  // namespace
}  // namespace sidera::transcripts
