// Model 1: an equatorial mount on the packet bus.
//
// The controller's axis 0 reads half a turn from the host's hour-angle axis
// (host = controller - pi), and the host keeps axis 1 in [-pi/2, 3pi/2) so
// that both pier sides have distinct declination-axis angles.
#pragma once

#include "sidera/drivers/packet_bus/packet_bus_mount.h"
#include "sidera/mounts/equatorial_mount.h"

namespace sidera {

class PacketBusEquatorialMount : public PacketBusMount, public EquatorialMount {
 public:
  explicit PacketBusEquatorialMount(const PortAddress& port = {});
  ~PacketBusEquatorialMount() override;

  MountResult ReadAxisPosition(int axis) override;
  MountResult Connect() override;
  MountResult GotoAxisAngle(int axis, double angle) override;
  MountResult WriteAxisPosition(int axis, double angle) override;

 protected:
  // Rates go out in quarter arc-seconds per second: the sidereal rate runs
  // as 15.000"/s, which the tracking follower corrects.
  double RateStep(int axis) const override { return 1.0 / rateUnitsPerRadian[axis]; }
};

}  // namespace sidera
