// The serial device a hardware mount will open, checked before connecting so
// that a wrong path is reported as what it is rather than as a mount that
// does not answer.
#pragma once

#include <string>
#include <vector>

namespace sidera::tool {

// The device path of serial port `port` under `pattern` by the library's
// rule: the first "%d" becomes the number, "%%" becomes "%", everything else
// is copied; an empty pattern means "/dev/ttyS%d".
std::string SerialDevicePath(const std::string& pattern, int port);

// Serial devices present on this machine (USB, ACM, Bluetooth RFCOMM and the
// built-in ports), for the "not found" advice.
std::vector<std::string> SerialDevicesPresent();

// "" when `path` opens as a terminal for reading and writing; otherwise a
// sentence for a person: not found (and what exists), a directory, a regular
// file, not a terminal, permission denied (and the group to join), busy.
std::string DiagnoseSerialDevice(const std::string& path);

}  // namespace sidera::tool
