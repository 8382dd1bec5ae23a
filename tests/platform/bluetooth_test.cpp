// Registering a Bluetooth serial port, with and without Bluetooth.

#include "platform/bluetooth.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sidera::platform {
namespace {

TEST(Bluetooth, RfcommRegistrarFailsCleanlyWithoutBluetooth) {
  const int probe = ::socket(31, SOCK_RAW, 3);  // AF_BLUETOOTH, BTPROTO_RFCOMM
  if (probe >= 0) {
    ::close(probe);
    GTEST_SKIP() << "this kernel has Bluetooth";
  }
  BluetoothRegistrar& rfcomm = RfcommRegistrar();
  EXPECT_EQ(&CurrentBluetoothRegistrar(), &rfcomm);
  uint32_t handle = 0xABCDu;
  EXPECT_FALSE(rfcomm.Register(0, 0x0000112233445566ull, 1, &handle));
  EXPECT_EQ(handle, 0xABCDu) << "a failed registration leaves the handle alone";
  EXPECT_FALSE(rfcomm.Register(-1, 0, 1, &handle));
  EXPECT_FALSE(rfcomm.TestOpen(9));
  rfcomm.Deregister(0);
  rfcomm.Deregister(1);
}

}  // namespace
}  // namespace sidera::platform
