#include "sidera/api/factory.h"

#include "sidera/core/telescope_mount.h"
#include "sidera/drivers/family1/packet_bus_alt_az_mount.h"
#include "sidera/drivers/family1/packet_bus_equatorial_mount.h"
#include "sidera/drivers/family2/byte_command_alt_az_mount.h"
#include "sidera/sim/alt_az_simulator.h"
#include "sidera/sim/equatorial_simulator.h"

namespace sidera {

// Several model numbers share a class; the class's constructor records the
// number it reports (4 -> 3, 5 -> 2, 10 -> 8, 11 -> 9).
TelescopeMount* CreateModel(MountType type) {
  switch (type) {
    case 0:
      return new PacketBusAltAzMount();
    case 1:
      return new PacketBusEquatorialMount();
    case 6:
      return new EquatorialSimulator();
    case 7:
      return new AltAzSimulator();
    case 8:
    case 10:
      return new ByteCommandAltAzMount8();
    case 9:
    case 11:
      return new ByteCommandAltAzMount9();
    default:
      return nullptr;
  }
}

}  // namespace sidera
