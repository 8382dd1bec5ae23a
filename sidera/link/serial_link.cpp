#include "sidera/link/serial_link.h"

#include <cmath>
#include <limits>

#include "sidera/api/globals.h"
#include "sidera/platform/clock.h"

namespace sidera {

SerialLink::SerialLink() {
  const int number = g_comPortNumber.load();
  const bool bluetooth = g_comPortIsBluetooth.load() != 0;
  if (!port.Open(platform::SerialDevicePath(number, bluetooth))) return;

  (void)ApplyBaudRate(9600);
  timeouts.readIntervalMs = 30;
  timeouts.readTotalMultiplierMs = 2;
  timeouts.readTotalConstantMs = 500;
  timeouts.writeTotalMultiplierMs = 2;
  timeouts.writeTotalConstantMs = 30;
  (void)port.SetTimeouts(timeouts);
  SetRts(false);
}

SerialLink::~SerialLink() { port.Close(); }

int SerialLink::exchange(const uint8_t* request, uint32_t length, uint8_t* reply) {
  if (!lockEvent.Wait(kLockWaitTicks)) return kExchangeBusy;

  // The request goes out even when the bus did not fall idle in time.
  (void)beginTransmit();
  (void)port.Purge(true, true);
  int result = write(request, length);
  if (result == 0) {
    result = finishWrite() != 0 ? readReply(reply) : kExchangeFailed;
  }
  if (result != 0) result = kExchangeFailed;
  endTransmit();
  lockEvent.Set();
  return result;
}

int SerialLink::beginTransmit() { return 1; }

int SerialLink::write(const uint8_t* bytes, uint32_t length) {
  size_t written = 0;
  const bool ok = port.Write(bytes, length, &written);
  // A short write is not detected here: the missing reply reports it.
  lastWriteLength = length;
  return ok ? 0 : 1;
}

int SerialLink::finishWrite() { return 1; }

void SerialLink::endTransmit() {}

int SerialLink::probeHandshake() {
  // The line must fall idle within about 400 ticks.
  if (!WaitForCtsOff(40)) return 0;
  SetRts(true);
  const int answered = CtsOn() ? 1 : 0;
  SetRts(false);
  return answered;
}

int32_t SerialLink::TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  // Both bounds are exactly representable; anything at or beyond them
  // saturates instead of overflowing the conversion.
  constexpr double kMax = 2147483647.0;
  constexpr double kMin = -2147483648.0;
  if (value >= kMax) return std::numeric_limits<int32_t>::max();
  if (value <= kMin) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);  // truncates toward zero
}

int32_t SerialLink::toCounts(int axis, double angle) const {
  return TruncateToInt32(angle * countsPerRadian[axis]);
}

int32_t SerialLink::toRateUnits(int axis, double rate) const {
  return TruncateToInt32(rate * rateUnitsPerRadian[axis]);
}

double SerialLink::toRadians(int axis, int32_t count) const {
  return static_cast<double>(count) * radiansPerCount[axis];
}

void SerialLink::pack24(int32_t value, uint8_t* out) {
  const uint32_t v = static_cast<uint32_t>(value);
  out[0] = static_cast<uint8_t>((v >> 16) & 0xFF);
  out[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  out[2] = static_cast<uint8_t>(v & 0xFF);
}

bool SerialLink::ApplyBaudRate(uint32_t baud) {
  baudRate = baud;
  return port.Configure(baud);
}

void SerialLink::SetRts(bool on) { (void)port.SetRts(on); }

bool SerialLink::WaitForCtsOff(int retries) {
  int used = 0;
  while (CtsOn()) {
    if (used >= retries) return false;
    platform::Sleep(10);
    ++used;
  }
  return true;
}

bool SerialLink::CtsOn() {
  bool on = false;
  if (!port.GetCts(&on)) return false;
  return on;
}

}  // namespace sidera
