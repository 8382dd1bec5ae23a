// Opening the GPS port and the packet-bus transaction with the GPS unit.
#include "location/core/gps/gps_port.h"

#include "location/core/gps/bus_packet.h"

namespace location::gps {

using sidera::platform::SerialPort;
using sidera::platform::SerialTimeouts;

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

// Step 4 of the transaction: preamble, length (zeros before it are line
// idle), then the rest of the packet.
bool ReadReply(SerialPort& port, std::vector<uint8_t>& reply) {
  uint8_t byte = 0;
  size_t got = 0;
  if (!port.Read(&byte, 1, &got) || got != 1 || byte != kPreamble) return false;
  uint8_t length = 0;
  // A line that sends nothing but zeros must not hold the reader forever.
  for (int zeros = 0; length == 0; ++zeros) {
    if (zeros > kMaxLength || !port.Read(&length, 1, &got) || got != 1) return false;
  }
  if (length > kMaxLength) return false;
  std::vector<uint8_t> packet = {kPreamble, length};
  packet.resize(length + 3u);
  if (!port.Read(packet.data() + 2, length + 1u, &got) || got != length + 1u) return false;
  if (!ReplyIsSound(packet)) return false;
  reply = std::move(packet);
  return true;
}

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
  const bool ok = ReadReply(port, reply);
  (void)port.SetRts(false);
  return ok;
}

}  // namespace location::gps
