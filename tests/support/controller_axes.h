// Where a hardware model really points, from its controller emulator's own
// axes: no line and no read time, so the measure does not depend on how
// long a position read takes. The offset between the emulator's counts and
// the mount's angles is taken once with the axes at rest; a target's track
// comes from the mount's model (SkyToAxes) at the tick of the reading.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/clock.h"
#include "sidera/include/sidera.h"
#include "tests/support/model_controller.h"

namespace sidera::testing {

class ControllerAxes {
 public:
  explicit ControllerAxes(ModelController& controller) : controller_(controller) {}

  // With the axes at rest: the mount's angles less the emulator's. False
  // without an emulator or when the mount does not answer.
  bool Calibrate() {
    AxisPair rest{};
    if (GetAxisPositions(&rest) != 0) return false;
    offset_[0] = rest.axis0 - controller_.AxisRadians(0);
    offset_[1] = rest.axis1 - controller_.AxisRadians(1);
    return std::isfinite(offset_[0]) && std::isfinite(offset_[1]);
  }

  // The emulator's axes now in the mount's angles, and the tick they hold
  // at. A reading that took longer than `slackMs` ticks (the thread was
  // held up) is taken again, up to a few times.
  AxisPair Angles(uint32_t* tick, uint32_t slackMs = 50) {
    uint32_t before = 0, after = 0;
    AxisPair a{};
    for (int attempt = 0; attempt < 5; ++attempt) {
      before = platform::Now();
      a = AxisPair{controller_.AxisRadians(0) + offset_[0],
                   controller_.AxisRadians(1) + offset_[1]};
      after = platform::Now();
      if (static_cast<uint32_t>(after - before) <= slackMs) break;
    }
    *tick = before + static_cast<uint32_t>(after - before) / 2;
    return a;
  }

  // Distance on the sky (radians) between the axes now and the track of a
  // target that stood at `target` at tick `start` and turns with the sky
  // (alt-azimuth axes: azimuth first). NaN when the model cannot place the
  // target.
  double OffTrack(const SkyPoint& target, uint32_t start) {
    uint32_t at = 0;
    const AxisPair a = Angles(&at);
    AxisPair track{};
    if (SkyToAxes(SkyPoint{target.hourAngle + SkyTurned(start, at), target.declination}, &track) !=
        0) {
      return std::nan("");
    }
    const double d0 = std::remainder(a.axis0 - track.axis0, kTwoPi) * std::cos(track.axis1);
    return std::hypot(d0, a.axis1 - track.axis1);
  }

  // The hour angle (radians) the sky turns from tick `from` to tick `to`.
  static double SkyTurned(uint32_t from, uint32_t to) {
    return static_cast<uint32_t>(to - from) / 1000.0 * (kTwoPi / 86164.09065);
  }

 private:
  static constexpr double kTwoPi = 2 * 3.141592653589793;
  ModelController& controller_;
  double offset_[2] = {0.0, 0.0};
};

}  // namespace sidera::testing
