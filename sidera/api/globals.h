// Library-wide state: the current mount and the serial port to open.
#pragma once

#include <atomic>
#include <cstdint>

namespace sidera {

class TelescopeMount;

// The current mount; set by CreateMount once the mount is connected,
// cleared by DestroyMount. Read and written only through mount_access.h.
extern TelescopeMount* g_mount;
// Serial port number hardware mounts open (0..255, initially 2).
extern std::atomic<int32_t> g_comPortNumber;
// Set when g_comPortNumber came from RegisterBluetoothPort (the port is then
// an RFCOMM terminal); cleared by SetComPort.
extern std::atomic<int32_t> g_comPortIsBluetooth;

}  // namespace sidera
