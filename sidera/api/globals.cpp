// Library-wide state: the current mount and the serial port to open.

#include "sidera/api/globals.h"

namespace sidera {

TelescopeMount* g_mount = nullptr;
std::atomic<int32_t> g_comPortNumber{2};
std::atomic<int32_t> g_comPortIsBluetooth{0};

}  // namespace sidera
