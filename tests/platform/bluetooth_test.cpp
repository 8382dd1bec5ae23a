#include "sidera/platform/bluetooth.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sidera::platform {
namespace {

class NullRegistrar : public BluetoothRegistrar {
 public:
  bool Register(int, uint64_t, uint8_t, uint32_t*) override { return false; }
  void Deregister(uint32_t) override {}
  bool TestOpen(int) override { return false; }
};

TEST(Bluetooth, RfcommRegistrarFailsCleanlyWithoutBluetooth) {
  const int probe = ::socket(31, SOCK_RAW, 3);
  if (probe >= 0) {
    ::close(probe);
    GTEST_SKIP() << "this kernel has Bluetooth";
  }
  BluetoothRegistrar& rfcomm = RfcommRegistrar();
  uint32_t handle = 0xABCDu;
  EXPECT_FALSE(rfcomm.Register(0, 0x0000112233445566ull, 1, &handle));
  EXPECT_EQ(handle, 0xABCDu) << "a failed registration leaves the handle alone";
  EXPECT_FALSE(rfcomm.Register(-1, 0, 1, &handle));
  EXPECT_FALSE(rfcomm.TestOpen(9));
  rfcomm.Deregister(0);
  rfcomm.Deregister(1);
}

TEST(Bluetooth, InstalledRegistrarReplacesRfcommUntilCleared) {
  NullRegistrar fake;
  EXPECT_EQ(&CurrentBluetoothRegistrar(), &RfcommRegistrar());
  SetBluetoothRegistrar(&fake);
  EXPECT_EQ(&CurrentBluetoothRegistrar(), &fake);
  SetBluetoothRegistrar(nullptr);
  EXPECT_EQ(&CurrentBluetoothRegistrar(), &RfcommRegistrar());
}

}  // namespace
}  // namespace sidera::platform
