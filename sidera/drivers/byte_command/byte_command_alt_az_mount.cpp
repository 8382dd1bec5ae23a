// The two byte-command alt-azimuth models: gearing, model number, and the
// alt-azimuth starting alignment once every base is built.
#include "sidera/drivers/byte_command/byte_command_alt_az_mount.h"

namespace sidera {

ByteCommandAltAzMount8::ByteCommandAltAzMount8(const PortAddress& port) : ByteCommandMount(port) {
  SetGearing(kCountsPerRevolution);
  DeclareModel(8);
  (void)ResetAltAzAlignment();
}

// Stops the tracking and motion threads (a no-op when DestroyMount already
// did) while every part of the object is still alive; the link closes after.
ByteCommandAltAzMount8::~ByteCommandAltAzMount8() { Shutdown(); }

ByteCommandAltAzMount9::ByteCommandAltAzMount9(const PortAddress& port) : ByteCommandMount(port) {
  SetGearing(kCountsPerRevolution);
  DeclareModel(9);
  (void)ResetAltAzAlignment();
}

ByteCommandAltAzMount9::~ByteCommandAltAzMount9() { Shutdown(); }

}  // namespace sidera
