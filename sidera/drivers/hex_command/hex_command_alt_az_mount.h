// Models 2 and 5: an alt-azimuth mount with hex-command controllers. The
// controllers' angles are the host's angles; the azimuth target is taken the
// short way round from where the axis stands, and every request waits for
// the line's CTS to fall before it raises RTS.
#pragma once

#include "sidera/drivers/hex_command/hex_command_mount.h"
#include "sidera/mounts/alt_az_mount.h"

namespace sidera {

class HexCommandAltAzMount : public HexCommandMount, public AltAzMount {
 public:
  explicit HexCommandAltAzMount(const PortAddress& port = {});
  ~HexCommandAltAzMount() override;

  // The pointing-model conversion, then the azimuth moved by a whole turn
  // when that brings it within half a turn of the axis's last reading (the
  // result may then leave -pi..pi by up to one turn).
  int SkyToAxes(SkyPoint& in, AxisPair& out, int applyMountErrors) override;

  // Unless the far end has no handshake: waits up to 20 ticks for CTS to
  // drop (kNo without raising RTS when it stays on), then raises RTS.
  LineReady BeginTransmit() override;
  void EndTransmit() override;
};

}  // namespace sidera
