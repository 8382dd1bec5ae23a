// The library's data in the forms INDI carries: UTF-16 texts as UTF-8, a
// device path as the library's serial-port pattern and number, and the saved
// alignment record as text for the driver's configuration file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/serial_device.h"
#include "host/utf8.h"
#include "sidera.h"

namespace sidera::indi {

// The library's texts and device paths, as every host takes them.
using host::PortSetting;
using host::PortSettingFor;
using host::Utf8Of;

// The 200 bytes of a saved alignment as 400 hexadecimal digits, and back
// (nothing for text that is not exactly that). The library checks the
// record's model and checksum when it is loaded.
std::string RecordToText(const AlignmentRecord& record);
std::optional<AlignmentRecord> RecordFromText(std::string_view text);

}  // namespace sidera::indi
