// The alt-azimuth hex-command model: goto parameters, the short way round in
// azimuth and the RTS/CTS turn-around of its line.
#include "sidera/drivers/hex_command/hex_command_alt_az_mount.h"

#include "sidera/core/angles.h"

namespace sidera {

HexCommandAltAzMount::HexCommandAltAzMount(const PortAddress& port) : HexCommandMount(port) {
  // 5 arc-minutes
  SetGotoParameters({.approachOffset = DegToRad(0.75), .tolerance = DegToRad(1.0 / 12.0)});
  DeclareModel(2);
}

// Stops the tracking and motion threads (a no-op when DestroyMount already
// did) while every part of the object is still alive; the link closes after.
HexCommandAltAzMount::~HexCommandAltAzMount() { Shutdown(); }

int HexCommandAltAzMount::SkyToAxes(SkyPoint& in, AxisPair& out, int applyMountErrors) {
  const int r = TelescopeMount::SkyToAxes(in, out, applyMountErrors);
  const double d = out.axis0 - Axes().Position(0);
  if (d > kPi && out.axis0 > 0.0) {
    out.axis0 -= kTwoPi;
  } else if (d < -kPi && out.axis0 < 0.0) {
    out.axis0 += kTwoPi;
  }
  return r;
}

LineReady HexCommandAltAzMount::BeginTransmit() {
  if (!noHandshake && !WaitForCtsOff(2)) return LineReady::kNo;
  SetRts(true);
  return LineReady::kYes;
}

void HexCommandAltAzMount::EndTransmit() { SetRts(false); }

}  // namespace sidera
