// The serial device a hardware mount will open: its path as the library forms
// it, and a check made before connecting so that a wrong path is reported as
// what it is rather than as a mount that does not answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sidera::host {

// The device path of serial port `port` under `pattern` by the library's
// rule: the first "%d" becomes the number, "%%" becomes "%", everything else
// is copied; an empty pattern means "/dev/ttyS%d".
std::string SerialDevicePath(const std::string& pattern, int port);

// Serial devices present on this machine (USB, ACM, Bluetooth RFCOMM and the
// built-in ports), for the "not found" advice.
std::vector<std::string> SerialDevicesPresent();

// "" when `path` opens as a terminal for reading and writing; otherwise a
// sentence for a person: not found (and what exists, with `howToChoose`,
// such as "choose one with --device PATH"), a directory, a regular file, not
// a terminal, permission denied (and the group to join), busy.
std::string DiagnoseSerialDevice(const std::string& path, std::string_view howToChoose);

// The sentence for a hardware connect the library refused as bad data
// (SIDERA_INVALID_PARAMETER; the site is not checked there): the controller
// on `path` answered, but not as the controllers of `model` ("model 8
// (NAME)") do, so it belongs to another kind of mount. `howToChoose` says
// how to name another model, such as "give its model with --model".
std::string AnotherKindOfMountText(std::string_view path, std::string_view model,
                                   std::string_view howToChoose);

// How the library reaches a device path: SIDERA_SERIAL_PATTERN and the port
// number for SetComPort.
struct PortSetting {
  std::string pattern;
  int number = 0;
};
// A path that ends in a port number the library can take (0 to 255, no
// leading zero), such as /dev/ttyUSB0, becomes "/dev/ttyUSB%d" and 0; any
// other path becomes a pattern without "%d" that names that one device. A '%'
// in the path is doubled so the library copies it as it stands. Empty paths
// give nothing.
std::optional<PortSetting> PortSettingFor(std::string_view devicePath);

}  // namespace sidera::host
