// Model 0: an alt-azimuth mount on the packet bus. The controllers' angles
// are the host's angles.
#pragma once

#include "sidera/drivers/packet_bus/packet_bus_mount.h"
#include "sidera/mounts/alt_az_mount.h"

namespace sidera {

class PacketBusAltAzMount : public PacketBusMount, public AltAzMount {
 public:
  explicit PacketBusAltAzMount(const PortAddress& port = {});
  ~PacketBusAltAzMount() override;

  // The family connect, then both axes halted and re-read.
  MountResult Connect() override;
  // Rates go out in quarter arc-seconds per second.
  double RateStep(int axis) const override { return 1.0 / rateUnitsPerRadian[axis]; }
};

}  // namespace sidera
