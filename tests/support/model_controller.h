// The controller a mount model talks to, for suites and benchmarks that run
// every alt-azimuth model: nothing for the simulator (7), otherwise the
// family's emulator (0 on the packet-bus one; 2 and 5 on the hex-command
// one; 8 to 11 on the byte-command one) with its axes running `timeScale`
// times faster than real time, on a pseudo-terminal that every serial port
// number then opens.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "emulators/family1/family1_emulator.h"
#include "emulators/family2/family2_emulator.h"
#include "emulators/family3/family3_emulator.h"

namespace sidera::testing {

class ModelController {
 public:
  // False when the model has no emulator here or it did not start.
  bool Start(int model, double timeScale) {
    if (model == 7) return true;
    if (model == 0) {
      emulator::Family1Options o;
      o.timeScale = timeScale;
      family1_ = std::make_unique<emulator::Family1Emulator>(o);
      return family1_->Start() && Serve(family1_->DevicePath());
    }
    if (model == 2 || model == 5) {
      emulator::Family3Options o;
      o.timeScale = timeScale;
      o.echo = true;  // the connect's echo probe answers at once
      family3_ = std::make_unique<emulator::Family3Emulator>(o);
      return family3_->Start() && Serve(family3_->DevicePath());
    }
    if (model >= 8 && model <= 11) {
      emulator::Family2Options o;
      o.timeScale = timeScale;
      o.countsPerRevolution = (model == 9 || model == 11) ? 1059334 : 726559;
      family2_ = std::make_unique<emulator::Family2Emulator>(o);
      return family2_->Start() && Serve(family2_->DevicePath());
    }
    return false;
  }

 private:
  static bool Serve(const std::string& path) {
    return setenv("SIDERA_SERIAL_PATTERN", path.c_str(), 1) == 0;
  }
  std::unique_ptr<emulator::Family1Emulator> family1_;
  std::unique_ptr<emulator::Family2Emulator> family2_;
  std::unique_ptr<emulator::Family3Emulator> family3_;
};

}  // namespace sidera::testing
