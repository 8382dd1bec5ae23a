// The byte-command alt-azimuth models. They differ only in their gearing:
// model 8 (also built for 10) has 726559 counts per revolution, model 9
// (also built for 11) 1059334.
#pragma once

#include <cstdint>

#include "sidera/drivers/byte_command/byte_command_mount.h"
#include "sidera/mounts/alt_az_mount.h"

namespace sidera {

class ByteCommandAltAzMount8 : public ByteCommandMount, public AltAzMount {
 public:
  static constexpr uint32_t kCountsPerRevolution = 726559;  // 0xB161F
  explicit ByteCommandAltAzMount8(const PortAddress& port = {});
  ~ByteCommandAltAzMount8() override;
  // Rates go out in tenths of a count per second.
  double RateStep(int axis) const override { return 1.0 / rateUnitsPerRadian[axis]; }
};

class ByteCommandAltAzMount9 : public ByteCommandMount, public AltAzMount {
 public:
  static constexpr uint32_t kCountsPerRevolution = 1059334;  // 0x102A06
  explicit ByteCommandAltAzMount9(const PortAddress& port = {});
  ~ByteCommandAltAzMount9() override;
  // Rates go out in tenths of a count per second.
  double RateStep(int axis) const override { return 1.0 / rateUnitsPerRadian[axis]; }
};

}  // namespace sidera
