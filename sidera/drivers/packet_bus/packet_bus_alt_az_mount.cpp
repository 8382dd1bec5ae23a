// Model 0: the alt-azimuth packet-bus mount's motion parameters.

#include "sidera/drivers/packet_bus/packet_bus_alt_az_mount.h"

#include "sidera/core/angles.h"

namespace sidera {

PacketBusAltAzMount::PacketBusAltAzMount(const PortAddress& port) : PacketBusMount(port) {
  SetGotoParameters({.approachDistance = DegToRad(2.0),
                     .approachOffset = DegToRad(0.75),
                     .tolerance = DegToRad(1.0 / 12.0),  // 5 arc-minutes
                     .leadTime = 10.0});
  DeclareModel(0);
}

// Stops the tracking and motion threads (a no-op when DestroyMount already
// did) while every part of the object is still alive; the link closes after.
PacketBusAltAzMount::~PacketBusAltAzMount() { Shutdown(); }

MountResult PacketBusAltAzMount::Connect() {
  const MountResult r = PacketBusMount::Connect();
  if (r != kOk) return r;
  // Leave both axes at rest; failures here surface at the host's next call.
  (void)PacketBusMount::HaltAxis(0);
  (void)PacketBusMount::HaltAxis(1);
  double ignored = 0.0;
  (void)GetAxisPosition(0, &ignored);
  (void)GetAxisPosition(1, &ignored);
  return kOk;
}

}  // namespace sidera
