// Opening the GPS port and the packet-bus transaction with the GPS unit.
#include "location/core/gps/gps_port.h"

#include <cstdlib>

#include "location/core/gps/bus_packet.h"

namespace location::gps {

using sidera::platform::SerialPort;
using sidera::platform::SerialTimeouts;

std::string GpsDevicePath(const std::string& port) {
  if (port.empty()) return sidera::platform::SerialDevicePath(2);
  char* end = nullptr;
  const long number = std::strtol(port.c_str(), &end, 10);
  if (*end == '\0' && number >= 0 && number < 256) {
    return sidera::platform::SerialDevicePath(static_cast<int>(number));
  }
  return port;
}

bool OpenGpsPort(SerialPort& port, const std::string& path, Opening opening, uint32_t baud) {
  SerialTimeouts timeouts{200, 2, 0, 2, 120};
  switch (opening) {
    case Opening::kNmeaProbe:
      timeouts.readTotalConstantMs = 2000;
      break;
    case Opening::kNmeaReader:
      timeouts.readTotalConstantMs = 100;
      break;
    case Opening::kBus:
      timeouts.readTotalConstantMs = 1000;
      baud = kBusBaud;
      break;
  }
  if (!port.Open(path) || !port.Configure(baud) || !port.SetTimeouts(timeouts)) {
    port.Close();
    return false;
  }
  (void)port.SetRts(false);  // without modem lines there is nothing to clear
  if (opening == Opening::kNmeaProbe) (void)port.Purge(true, true);
  return true;
}

namespace {

// The port as the source of a reply's bytes, with its own time-outs.
class PortSource : public ByteSource {
 public:
  explicit PortSource(SerialPort& port) : port_(port) {}
  size_t Read(uint8_t* out, size_t length) override {
    size_t got = 0;
    (void)port_.Read(out, length, &got);  // a failed read brought what it counts
    return got;
  }

 private:
  SerialPort& port_;
};

}  // namespace

bool BusTransaction(SerialPort& port, uint8_t id, std::vector<uint8_t>& reply,
                    const std::function<void(int)>& wait) {
  // Arbitration: wait for the bus to be free (CTS off), at most 10 x 10 ms;
  // a bus that stays busy is used regardless, without claiming it.
  bool busy = false;
  (void)port.GetCts(&busy);  // unreadable status counts as free
  for (int waits = 0; busy && waits < 10; ++waits) {
    wait(10);
    (void)port.GetCts(&busy);
  }
  if (!busy) {
    (void)port.SetRts(true);
    (void)port.Purge(false, true);
    (void)port.Purge(true, false);
  }
  (void)port.Purge(true, true);
  const std::array<uint8_t, 6> request = BuildRequest(id);
  size_t written = 0;
  (void)port.Write(request.data(), request.size(), &written);
  // The shared line hands our own transmission back first. What follows the
  // echo is kept: the reply can follow it at once, and discarding the input
  // here would throw the reply away.
  std::array<uint8_t, 6> echo{};
  size_t echoed = 0;
  (void)port.Read(echo.data(), written, &echoed);
  (void)port.SetRts(false);
  PortSource source(port);
  const bool ok = ReadBusReply(source, reply);
  (void)port.SetRts(false);
  return ok;
}

}  // namespace location::gps
