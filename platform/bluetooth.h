// Making a paired Bluetooth device reachable as numbered serial port.
//
// On Linux a port is a BlueZ RFCOMM terminal /dev/rfcomm<index> bound to the
// device address and channel. The registrar is a seam: tests install their
// own to exercise the port search without Bluetooth hardware.
#pragma once

#include <cstdint>

namespace sidera::platform {

class BluetoothRegistrar {
 public:
  virtual ~BluetoothRegistrar() = default;
  // Binds port `index` to the device; on success writes a handle that
  // identifies the binding and returns true.
  virtual bool Register(int index, uint64_t address, uint8_t channel, uint32_t* handle) = 0;
  // Undoes a registration made by Register().
  virtual void Deregister(uint32_t handle) = 0;
  // Opens port `index` for reading and writing, exclusively, as an existing
  // device, and closes it again. True when the open worked.
  virtual bool TestOpen(int index) = 0;
};

// The RFCOMM registrar (every call fails where the kernel has no Bluetooth).
BluetoothRegistrar& RfcommRegistrar();

// The registrar in use (the RFCOMM one unless a test installed another).
BluetoothRegistrar& CurrentBluetoothRegistrar();
// Installs `registrar` (null restores RFCOMM); the caller keeps ownership.
void SetBluetoothRegistrar(BluetoothRegistrar* registrar);

}  // namespace sidera::platform
