// The library's data in the forms INDI carries: UTF-16 texts as UTF-8, a
// device path as the library's serial-port pattern and number, and the saved
// alignment record as text for the driver's configuration file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sidera.h"

namespace sidera::indi {

// UTF-8 of a zero-terminated UTF-16 text; unpaired surrogates become U+FFFD.
std::string Utf8Of(const SideraChar16* text);

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

// The 200 bytes of a saved alignment as 400 hexadecimal digits, and back
// (nothing for text that is not exactly that). The library checks the
// record's model and checksum when it is loaded.
std::string RecordToText(const AlignmentRecord& record);
std::optional<AlignmentRecord> RecordFromText(std::string_view text);

}  // namespace sidera::indi
