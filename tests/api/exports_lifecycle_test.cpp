// Creating, reusing and deleting the current mount, and choosing the
// serial port (numbered or Bluetooth).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "recording_mount.h"
#include "sidera/api/globals.h"
#include "sidera/core/angles.h"
#include "sidera/platform/bluetooth.h"

namespace sidera::testing {
namespace {

class LifecycleTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ::DestroyMount();
    g_comPortNumber = 2;
    g_comPortIsBluetooth = 0;
  }
};

TEST_F(LifecycleTest, CreateMountWithAMountPresentOnlyUpdatesTheSiteOfTheSameModel) {
  auto* mount = new RecordingMount();
  mount->mountType = 7;
  g_mount = mount;
  EXPECT_EQ(::CreateMount(7, 0.25, 12.0), 0);
  EXPECT_EQ(::CreateMount(7, std::nan(""), 0.0), 0);  // a non-finite site is not passed on
  EXPECT_EQ(::CreateMount(3, 0.25, 12.0), 2);
  EXPECT_EQ(::CreateMount(12, 0.25, 12.0), 2);  // "already connected" comes first
  EXPECT_EQ(g_mount, mount);
  ASSERT_EQ(mount->calls.size(), 1u);
  EXPECT_EQ(mount->calls[0].name, "SetSite");
  EXPECT_EQ(mount->calls[0].args, (std::vector<double>{0.25, 12.0}));
}

TEST_F(LifecycleTest, CreateMountRejectsModelNumbersOutsideTheCatalogue) {
  for (int type : {12, -1, 1000, std::numeric_limits<int>::min()}) {
    EXPECT_EQ(::CreateMount(type, 0.5, 0.0), 1) << type;
    EXPECT_EQ(g_mount, nullptr);
  }
}

TEST_F(LifecycleTest, DestroyMountStopsTheThreadsBeforeDeletingAndIsAlwaysZero) {
  std::vector<std::string> lifecycle;
  auto* mount = new RecordingMount();
  mount->lifecycle = &lifecycle;
  g_mount = mount;
  EXPECT_EQ(::DestroyMount(), 0);
  EXPECT_EQ(lifecycle, (std::vector<std::string>{"Shutdown", "destroyed"}));
  EXPECT_EQ(g_mount, nullptr);
  EXPECT_EQ(::DestroyMount(), 0);
  EXPECT_EQ(::GotoSky(0.0, 0.0), 3);
}

TEST_F(LifecycleTest, SimulatorIsCreatedOnceAndKeepsItsDefaultSiteForAnInvalidLatitude) {
  ASSERT_EQ(::CreateMount(7, 2.0, 0.0), 0);
  TelescopeMount* first = g_mount;
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->mountType, 7);
  EXPECT_DOUBLE_EQ(first->latitude.load(), DegToRad(30.0));
  EXPECT_EQ(::CreateMount(7, 0.5, 10.0), 0);
  EXPECT_EQ(g_mount, first);
  EXPECT_DOUBLE_EQ(first->latitude.load(), 0.5);
  EXPECT_EQ(::CreateMount(6, 0.5, 10.0), 2);
  EXPECT_EQ(::IsEquatorialMount(), 0);
  EXPECT_EQ(::DestroyMount(), 0);
  EXPECT_EQ(g_mount, nullptr);
}

TEST_F(LifecycleTest, FailedConnectLeavesNoMount) {
  // A hardware model on a port whose device does not exist cannot connect.
  ASSERT_EQ(setenv("SIDERA_SERIAL_PATTERN", "/nonexistent/sidera-tty%d", 1), 0);
  const int result = ::CreateMount(1, 0.5, 0.0);
  unsetenv("SIDERA_SERIAL_PATTERN");
  EXPECT_NE(result, 0);
  EXPECT_EQ(g_mount, nullptr);
  EXPECT_EQ(::GetMountState(nullptr), 3);
}

TEST(SetComPortTest, AcceptsPortsZeroTo255AndIgnoresOthers) {
  struct Case {
    int port;
    int expected;
  } cases[] = {{0, 0}, {255, 255}, {256, 255}, {-1, 255}, {7, 7}, {1 << 30, 7}};
  for (const Case& c : cases) {
    g_comPortIsBluetooth = 1;
    ::SetComPort(c.port);
    EXPECT_EQ(g_comPortNumber.load(), c.expected) << c.port;
    // Only an accepted number switches back from a Bluetooth port.
    EXPECT_EQ(g_comPortIsBluetooth.load(), c.port == c.expected ? 0 : 1) << c.port;
  }
  g_comPortNumber = 2;
  g_comPortIsBluetooth = 0;
}

// Registers ports as told: `registerOk[i]` and `openOk[i]` per index.
class FakeRegistrar : public platform::BluetoothRegistrar {
 public:
  bool registerOk[10] = {};
  bool openOk[10] = {};
  std::vector<std::string> log;

  bool Register(int index, uint64_t address, uint8_t channel, uint32_t* handle) override {
    log.push_back("register " + std::to_string(index));
    lastAddress = address;
    lastChannel = channel;
    if (!registerOk[index]) return false;
    *handle = 1000u + static_cast<uint32_t>(index);
    return true;
  }
  void Deregister(uint32_t handle) override {
    log.push_back("deregister " + std::to_string(handle));
  }
  bool TestOpen(int index) override {
    log.push_back("open " + std::to_string(index));
    return openOk[index];
  }
  uint64_t lastAddress = 0;
  uint8_t lastChannel = 0;
};

class BluetoothTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetBluetoothRegistrar(&registrar);
    g_comPortNumber = 2;
    g_comPortIsBluetooth = 0;
  }
  void TearDown() override {
    platform::SetBluetoothRegistrar(nullptr);
    g_comPortNumber = 2;
    g_comPortIsBluetooth = 0;
  }
  FakeRegistrar registrar;
};

TEST_F(BluetoothTest, TriesPortsInOrderAndUndoesRegistrationsThatCannotOpen) {
  registrar.registerOk[1] = registrar.registerOk[2] = registrar.registerOk[3] = true;
  registrar.openOk[3] = true;
  uint32_t handle = 0;
  EXPECT_EQ(::RegisterBluetoothPort(0x0011223344556677ull, 0x1203, &handle), 3);
  EXPECT_EQ(registrar.log, (std::vector<std::string>{"register 0", "register 1", "open 1",
                                                     "deregister 1001", "register 2", "open 2",
                                                     "deregister 1002", "register 3", "open 3"}));
  EXPECT_EQ(registrar.lastAddress, 0x0011223344556677ull);
  EXPECT_EQ(registrar.lastChannel, 0x03);  // low 8 bits of the channel
  EXPECT_EQ(handle, 1003u);
  EXPECT_EQ(g_comPortNumber.load(), 3);
  EXPECT_EQ(g_comPortIsBluetooth.load(), 1);
}

TEST_F(BluetoothTest, NullHandlePointerStillSelectsThePort) {
  registrar.registerOk[9] = registrar.openOk[9] = true;
  EXPECT_EQ(::RegisterBluetoothPort(1, 1, nullptr), 9);
  EXPECT_EQ(g_comPortNumber.load(), 9);
}

TEST_F(BluetoothTest, NoUsablePortReturnsMinusOneAndKeepsThePort) {
  for (bool& ok : registrar.registerOk) ok = true;  // registers, never opens
  uint32_t handle = 77;
  EXPECT_EQ(::RegisterBluetoothPort(1, 1, &handle), -1);
  EXPECT_EQ(handle, 77u);
  EXPECT_EQ(g_comPortNumber.load(), 2);
  EXPECT_EQ(g_comPortIsBluetooth.load(), 0);
  EXPECT_EQ(registrar.log.size(), 30u);  // register, open, deregister for 0..9
  EXPECT_EQ(registrar.log.back(), "deregister 1009");
}

}  // namespace
}  // namespace sidera::testing
