// The GPS receiver's serial port: the three ways it is opened, and one
// request/reply transaction with the GPS unit on the packet bus.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace location::gps {

// The time-outs of each opening; the NMEA reader also cuts every read short
// after 50 ms (a deadline), so that it sees a stop request at once.
enum class Opening {
  kNmeaProbe,   // 2000 ms for a byte, input discarded on opening
  kNmeaReader,  // 100 ms for a byte
  kBus,         // 19200 baud, 1000 ms for a reply
};

inline constexpr uint32_t kBusBaud = 19200;

// The receiver's device: a number is serial port N (through
// SIDERA_SERIAL_PATTERN), anything else a device path; empty is port 2.
std::string GpsDevicePath(const std::string& port);

// Opens and configures the port (8 data bits, one stop bit, no parity check,
// no flow control) with the opening's time-outs, clears RTS and, for the
// probe, discards anything already received. False, with the port closed,
// when the device cannot be opened or configured.
bool OpenGpsPort(sidera::platform::SerialPort& port, const std::string& path, Opening opening,
                 uint32_t baud);

// Sends message `id` to the GPS unit and reads its reply (preamble to
// checksum) into `reply`. The line is shared, so the transaction waits up to
// 100 ms for CTS to fall before raising RTS, and reads back its own
// transmission before the reply. False when the reply is missing, cut short,
// longer than a packet can be, or has a wrong checksum.
// `wait` sleeps the given milliseconds (a hook for tests).
bool BusTransaction(sidera::platform::SerialPort& port, uint8_t id, std::vector<uint8_t>& reply,
                    const std::function<void(int)>& wait);

}  // namespace location::gps
