#include "sidera/api/factory.h"

#include "sidera/core/telescope_mount.h"
#include "sidera/drivers/family1/packet_bus_alt_az_mount.h"
#include "sidera/drivers/family1/packet_bus_equatorial_mount.h"
#include "sidera/drivers/family3/hex_command_alt_az_mount.h"
#include "sidera/drivers/family3/hex_command_equatorial_mount.h"
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
    case 2:
    case 5:
      return new HexCommandAltAzMount();
    case 3:
    case 4:
      return new HexCommandEquatorialMount();
    case 6:
      return new EquatorialSimulator();
    case 7:
      return new AltAzSimulator();
    default:
      return nullptr;
  }
}

}  // namespace sidera
