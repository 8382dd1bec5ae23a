// Bluetooth serial ports as BlueZ RFCOMM terminals, bound through the
// kernel's RFCOMM ioctls (no user-space Bluetooth library needed).

#include "platform/bluetooth.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>

#include "platform/serial_port.h"

namespace sidera::platform {
namespace {

constexpr int kAfBluetooth = 31;
constexpr int kBtProtoRfcomm = 3;

// The kernel's RFCOMM device request, in its natural (unpacked) layout.
// Addresses are stored least significant byte first.
struct RfcommDeviceRequest {
  int16_t devId;
  uint32_t flags;
  uint8_t src[6];
  uint8_t dst[6];
  uint8_t channel;
};
static_assert(offsetof(RfcommDeviceRequest, flags) == 4);
static_assert(offsetof(RfcommDeviceRequest, src) == 8);
static_assert(offsetof(RfcommDeviceRequest, dst) == 14);
static_assert(offsetof(RfcommDeviceRequest, channel) == 20);
static_assert(sizeof(RfcommDeviceRequest) == 24);

constexpr unsigned long kRfcommCreateDevice = _IOW('R', 200, int);
constexpr unsigned long kRfcommReleaseDevice = _IOW('R', 201, int);

// RFCOMM terminals are numbered 0..255 by the kernel.
constexpr int kMaxRfcommDevice = 255;

// Sends one device request on a fresh RFCOMM control socket. False where the
// kernel has no Bluetooth or refuses the request.
bool SendDeviceRequest(unsigned long request, const RfcommDeviceRequest& body) {
  const int sock = ::socket(kAfBluetooth, SOCK_RAW | SOCK_CLOEXEC, kBtProtoRfcomm);
  if (sock < 0) {
    return false;
  }
  RfcommDeviceRequest copy = body;
  const bool ok = ::ioctl(sock, request, &copy) >= 0;
  (void)::close(sock);
  return ok;
}

class Rfcomm final : public BluetoothRegistrar {
 public:
  bool Register(int index, uint64_t address, uint8_t channel, uint32_t* handle) override {
    if (index < 0 || index > kMaxRfcommDevice) {
      return false;
    }
    RfcommDeviceRequest request{};
    request.devId = static_cast<int16_t>(index);
    // No flags: a plain binding that connects when the terminal is opened.
    request.flags = 0;
    // Source all zeros: any local adapter.
    for (int i = 0; i < 6; ++i) {
      request.dst[i] = static_cast<uint8_t>(address >> (8 * i));
    }
    request.channel = channel;
    if (!SendDeviceRequest(kRfcommCreateDevice, request)) {
      return false;
    }
    if (handle != nullptr) {
      *handle = static_cast<uint32_t>(index) + 1;  // nonzero for every binding
    }
    return true;
  }

  void Deregister(uint32_t handle) override {
    if (handle == 0 || handle > kMaxRfcommDevice + 1u) {
      return;
    }
    RfcommDeviceRequest request{};
    request.devId = static_cast<int16_t>(handle - 1);
    (void)SendDeviceRequest(kRfcommReleaseDevice, request);  // nothing to undo on failure
  }

  bool TestOpen(int index) override {
    SerialPort port;
    const bool opened = port.Open(SerialDevicePath(index, true));
    port.Close();
    return opened;
  }
};

std::atomic<BluetoothRegistrar*> g_registrar{nullptr};

}  // namespace

BluetoothRegistrar& RfcommRegistrar() {
  static Rfcomm registrar;
  return registrar;
}

BluetoothRegistrar& CurrentBluetoothRegistrar() {
  BluetoothRegistrar* registrar = g_registrar.load(std::memory_order_acquire);
  return registrar != nullptr ? *registrar : RfcommRegistrar();
}

void SetBluetoothRegistrar(BluetoothRegistrar* registrar) {
  g_registrar.store(registrar, std::memory_order_release);
}

}  // namespace sidera::platform
