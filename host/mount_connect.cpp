// Choosing the serial device of a connect.
#include "host/mount_connect.h"

#include "host/serial_device.h"
#include "sidera.h"

namespace sidera::host {

bool UseSerialDevice(std::string_view devicePath) {
  const auto port = PortSettingFor(devicePath);
  if (!port) return false;
  SetSerialPattern(port->pattern.c_str());
  SetComPort(port->number);
  return true;
}

}  // namespace sidera::host
