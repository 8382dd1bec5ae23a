// The three families behind LineFamily, with their requests classified from
// the wire tables.
#include "tests/line_safety/line_family.h"

#include <cstdlib>
#include <functional>
#include <vector>

#include "sidera/include/sidera.h"

namespace sidera::testing {
namespace {

using emulator::ByteCommandRequest;
using emulator::HexCommandRequest;
using emulator::PacketBusRequest;

// Packet bus: ids 01 position, 02/17 goto, 06/07 rate, 13 goto done; a
// rate of zero is a halt.
bool Is(const PacketBusRequest& r, Wire what, int axis) {
  if (r.axis != axis) return false;
  const bool rate = r.id == 0x06 || r.id == 0x07;
  const bool zero = r.data.size() >= 3 && r.data[0] == 0 && r.data[1] == 0 && r.data[2] == 0;
  switch (what) {
    case Wire::kRead:
      return r.id == 0x01 || r.id == 0x13;
    case Wire::kHalt:
      return rate && zero;
    case Wire::kStart:
      return r.id == 0x02 || r.id == 0x17 || (rate && !zero);
  }
  return false;
}

// Byte commands: 1/21 position, 13 goto done, 2/22 goto, 5/25 stop goto,
// 6/7 and 26/27 rates (zero: a halt); axis 1's command is axis 0's + 20.
bool Is(const ByteCommandRequest& r, Wire what, int axis) {
  if (!r.known) return false;
  const int base = r.command >= 20 ? r.command - 20 : r.command;
  const int forAxis = r.command >= 20 ? 1 : 0;
  const bool rate = base == 6 || base == 7;
  if (what == Wire::kRead) return r.command == 13 || (base == 1 && forAxis == axis);
  if (forAxis != axis) return false;
  if (what == Wire::kHalt) return base == 5 || (rate && r.value == 0);
  return base == 2 || (rate && r.value != 0);
}

// Hex commands: j position, f status, K/L stop, J start.
bool Is(const HexCommandRequest& r, Wire what, int axis) {
  if (r.axis != axis) return false;
  switch (what) {
    case Wire::kRead:
      return r.letter == 'j' || r.letter == 'f';
    case Wire::kHalt:
      return r.letter == 'K' || r.letter == 'L';
    case Wire::kStart:
      return r.letter == 'J';
  }
  return false;
}

template <typename Emulator, typename Options, typename Request>
class FamilyOf : public LineFamily {
 public:
  using Fault = std::function<void(Options&, int axis)>;
  FamilyOf(std::string name, int altAz, int equatorial, Options options, std::vector<Fault> faults)
      : name_(std::move(name)),
        altAz_(altAz),
        equatorial_(equatorial),
        options_(options),
        faults_(std::move(faults)) {}

  std::string Name() const override { return name_; }
  int AltAzModel() const override { return altAz_; }
  int EquatorialModel() const override { return equatorial_; }
  bool Start() override {
    emu_ = std::make_unique<Emulator>(options_);
    return emu_->Start();
  }
  std::string Device() const override { return emu_->DevicePath(); }
  void SetSilent(bool silent) override {
    emu_->UpdateOptions([&](Options& o) { o.silent = silent; });
  }
  void SetReplyDelay(int ms) override {
    emu_->UpdateOptions([&](Options& o) { o.replyDelayMs = ms; });
  }
  void ClearRequests() override { emu_->ClearRequests(); }
  std::optional<Clock::time_point> Arrival(Wire what, int axis, int timeoutMs,
                                           Clock::time_point since) override {
    std::optional<Clock::time_point> at;
    (void)emu_->WaitForRequest(
        [&](const Request& r) {
          if (!at && r.at >= since && Is(r, what, axis)) at = r.at;
          return at.has_value();
        },
        timeoutMs);
    return at;
  }
  int Count(Wire what, int axis) override {
    int n = 0;
    for (const Request& r : emu_->Requests()) n += Is(r, what, axis) ? 1 : 0;
    return n;
  }
  int RequestCount() override { return static_cast<int>(emu_->Requests().size()); }
  double ControllerAngle(int axis) override {
    if constexpr (requires { emu_->PositionDegrees(axis); }) {
      return emu_->PositionDegrees(axis) * 3.141592653589793 / 180.0;
    } else {
      return emu_->PositionRadians(axis);
    }
  }
  bool Moving(int axis) override {
    if constexpr (requires { emu_->Running(axis); }) {
      return emu_->Running(axis);
    } else {
      return emu_->GotoInProgress(axis) || emu_->RateWireValue(axis) != 0;
    }
  }
  void Stop() override { emu_.reset(); }
  int FaultKinds() const override { return static_cast<int>(faults_.size()) + 1; }
  void SetFault(int kind, int axis) override {
    emu_->UpdateOptions([&](Options& o) {
      // Back to the options the emulator started with (their motion kept).
      o = options_;
      if (kind > 0 && kind <= static_cast<int>(faults_.size())) faults_[kind - 1](o, axis);
    });
  }

 private:
  const std::string name_;
  const int altAz_;
  const int equatorial_;
  const Options options_;
  const std::vector<Fault> faults_;
  std::unique_ptr<Emulator> emu_;
};

}  // namespace

std::unique_ptr<LineFamily> MakeLineFamily(int family, bool quick) {
  switch (family) {
    case 1: {
      emulator::PacketBusOptions o;
      if (quick) {
        o.fastDegPerSec = 60.0;
        o.slowDegPerSec = 8.0;
      }
      using Options = emulator::PacketBusOptions;
      return std::make_unique<FamilyOf<emulator::PacketBusEmulator, Options, PacketBusRequest>>(
          "packet bus", 0, 1, o,
          std::vector<std::function<void(Options&, int)>>{
              [](Options& o, int axis) { o.silentAxis = axis; },
              [](Options& o, int) { o.noiseBytes = 7; },
              [](Options& o, int axis) { o.badLengthAxis = axis; },
              [](Options& o, int axis) { o.shortPacketAxis = axis; },
              [](Options& o, int) { o.replyDelayMs = 300; },
              // A radio bridge: every reply late, stops cutting exchanges short.
              [](Options& o, int) { o.replyDelayMs = 120; },
              // Gotos are taken and never get anywhere (the last fault).
              [](Options& o, int) { o.fastDegPerSec = o.slowDegPerSec = 1e-6; },
          });
    }
    case 2: {
      emulator::ByteCommandOptions o;
      // The default 8 degrees a second ends a 40-degree goto too soon for
      // the line-safety tests; the soak wants short motions.
      o.gotoDegPerSec = quick ? 60.0 : 4.0;
      using Options = emulator::ByteCommandOptions;
      return std::make_unique<FamilyOf<emulator::ByteCommandEmulator, Options, ByteCommandRequest>>(
          "byte commands", 8, -1, o,
          std::vector<std::function<void(Options&, int)>>{
              [](Options& o, int) { o.silent = true; },
              [](Options& o, int) { o.cutReplyBytes = 1; },
              [](Options& o, int) { o.replyDelayMs = 300; },
              [](Options& o, int) { o.replyDelayMs = 120; },  // a radio bridge
              [](Options& o, int) { o.strayBytes = 3; },
              [](Options& o, int) { o.gotoDegPerSec = 1e-6; },  // stalled gotos (the last)
          });
    }
    default: {
      emulator::HexCommandOptions o;
      o.countsPerRevolution = 1452951;
      o.echo = true;  // the echo probe answers at once
      if (quick) {
        o.gotoFastDegPerSec = 60.0;
        o.gotoSlowDegPerSec = 10.0;
        o.decelerationDegPerSec2 = 100.0;
      }
      using Options = emulator::HexCommandOptions;
      return std::make_unique<FamilyOf<emulator::HexCommandEmulator, Options, HexCommandRequest>>(
          "hex commands", 2, 3, o,
          std::vector<std::function<void(Options&, int)>>{
              [](Options& o, int axis) { o.silentAxis = axis; },
              [](Options& o, int) { o.strayBytes = 30; },
              [](Options& o, int) { o.malformed = "jf"; },
              [](Options& o, int) { o.replyDelayMs = 300; },
              [](Options& o, int) { o.decelerationDegPerSec2 = 3.4 / 5; },  // brakes for 5 s
              [](Options& o, int axis) { o.neverStopsAxis = axis; },
              // Brakes even from the sidereal rate for over a second.
              [](Options& o, int) { o.decelerationDegPerSec2 = 0.003; },
              // A radio bridge: every reply late (kept after the faults that
              // other tests name by number).
              [](Options& o, int) { o.replyDelayMs = 120; },
              // Gotos are taken and never get anywhere (the last fault).
              [](Options& o, int) { o.gotoFastDegPerSec = o.gotoSlowDegPerSec = 1e-6; },
          });
    }
  }
}

MountOnLine::MountOnLine(int family, bool equatorial, bool quick)
    : line(MakeLineFamily(family, quick)) {
  if (!line->Start()) return;
  setenv("SIDERA_SERIAL_PATTERN", line->Device().c_str(), 1);
  created = CreateMount(equatorial ? line->EquatorialModel() : line->AltAzModel(), 0.6, 100.0);
}

MountOnLine::~MountOnLine() {
  (void)DestroyMount();  // always 0
  line->Stop();
}

StatePoller::StatePoller(int hz) {
  if (hz == 0) return;
  thread_ = std::thread([this, hz] {
    while (!stop_) {
      uint32_t word = 0;
      AxisPair axes{};
      for (int r : {GetMountState(&word), GetAxisState(0, &word), GetAxisState(1, &word),
                    GetAxisPositions(&axes)}) {
        int none = 0;
        if ((r == 100 || r == 101) && seen_.compare_exchange_strong(none, r)) {
          seenAt_ = LineFamily::Clock::now().time_since_epoch().count();
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1000 / hz));
    }
  });
}

void StatePoller::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

LineFamily::Clock::time_point StatePoller::SeenAt() const {
  return LineFamily::Clock::time_point(LineFamily::Clock::duration(seenAt_.load()));
}

bool Eventually(const std::function<bool()>& done, int limitMs) {
  const auto giveUp = LineFamily::Clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (LineFamily::Clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace sidera::testing
