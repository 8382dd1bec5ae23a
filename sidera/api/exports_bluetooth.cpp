// Exported Bluetooth port registration: makes a paired device reachable as
// one of the serial ports 0..9 and selects that port for the next connect.
#include "platform/bluetooth.h"
#include "sidera/api/globals.h"
#include "sidera/include/sidera.h"

extern "C" SIDERA_API int RegisterBluetoothPort(uint64_t address, int channel, uint32_t* handle) {
  sidera::platform::BluetoothRegistrar& registrar = sidera::platform::CurrentBluetoothRegistrar();
  const uint8_t channel8 = static_cast<uint8_t>(channel & 0xFF);
  for (int port = 0; port <= 9; ++port) {
    uint32_t registration = 0;
    if (!registrar.Register(port, address, channel8, &registration)) {
      continue;
    }
    if (!registrar.TestOpen(port)) {
      // Unusable: undo this registration and try the next number.
      registrar.Deregister(registration);
      continue;
    }
    // The registration stays: the host releases it with the handle.
    sidera::g_comPortNumber = port;
    sidera::g_comPortIsBluetooth = 1;
    if (handle != nullptr) {
      *handle = registration;
    }
    return port;
  }
  return -1;
}
