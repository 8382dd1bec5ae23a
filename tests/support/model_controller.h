// The controller a mount model talks to, for suites and benchmarks that run
// every hardware model: nothing for the simulators (6, 7), otherwise the
// family's emulator (0 and 1 on the packet-bus one; 2 to 5 on the
// hex-command one; 8 to 11 on the byte-command one) with its axes running `timeScale`
// times faster than real time, on a pseudo-terminal that every serial port
// number then opens.
#pragma once

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "emulators/byte_command/byte_command_emulator.h"
#include "emulators/hex_command/hex_command_emulator.h"
#include "emulators/packet_bus/packet_bus_emulator.h"

namespace sidera::testing {

class ModelController {
 public:
  // False when the model has no emulator here or it did not start.
  bool Start(int model, double timeScale) {
    if (model == 6 || model == 7) return true;
    if (model == 0 || model == 1) {
      emulator::PacketBusOptions o;
      o.timeScale = timeScale;
      return Serve(packet_bus_, o);
    }
    if (model >= 2 && model <= 5) {
      emulator::HexCommandOptions o;
      o.timeScale = timeScale;
      o.echo = true;  // the connect's echo probe answers at once
      return Serve(hex_command_, o);
    }
    if (model >= 8 && model <= 11) {
      emulator::ByteCommandOptions o;
      o.timeScale = timeScale;
      o.countsPerRevolution = (model == 9 || model == 11) ? 1059334 : 726559;
      return Serve(byte_command_, o);
    }
    return false;
  }

  // Axis `axis`'s angle (radians) as the running emulator holds it now, in
  // its own counts; NaN without an emulator (the simulators).
  double AxisRadians(int axis) {
    if (packet_bus_) return packet_bus_->PositionRadians(axis);
    if (byte_command_) return byte_command_->PositionRadians(axis);
    if (hex_command_) return hex_command_->PositionDegrees(axis) * 3.141592653589793 / 180.0;
    return std::nan("");
  }

 private:
  // Starts the emulator in `slot` and points every serial port at it.
  template <typename Emulator, typename Options>
  static bool Serve(std::unique_ptr<Emulator>& slot, const Options& options) {
    slot = std::make_unique<Emulator>(options);
    return slot->Start() && setenv("SIDERA_SERIAL_PATTERN", slot->DevicePath().c_str(), 1) == 0;
  }
  std::unique_ptr<emulator::PacketBusEmulator> packet_bus_;
  std::unique_ptr<emulator::ByteCommandEmulator> byte_command_;
  std::unique_ptr<emulator::HexCommandEmulator> hex_command_;
};

}  // namespace sidera::testing
