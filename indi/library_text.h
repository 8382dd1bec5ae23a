// The library's data in the forms INDI carries: UTF-16 texts as UTF-8, a
// device path as the library's serial-port pattern and number, and the saved
// pointing model as text for the driver's configuration file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// What the driver keeps of the pointing model: the whole model with its
// stars (SaveAlignmentModel) as hexadecimal digits, then "/" and each synced
// point's right ascension and declination in radians, which the model does
// not hold and a later sync needs to replace a point near it. A text of
// earlier versions, the 200-byte record alone, is still read. The library
// checks the model's version, model and checksum when it is loaded.
struct SavedAlignment {
  std::optional<AlignmentRecord> record;          // an earlier version's text
  std::vector<uint8_t> model;                     // otherwise
  std::vector<std::pair<double, double>> places;  // per point, in order
};
std::string SavedAlignmentToText(const std::vector<uint8_t>& model,
                                 const std::vector<std::pair<double, double>>& places);
// Nothing for text that is neither form.
std::optional<SavedAlignment> SavedAlignmentFromText(std::string_view text);

}  // namespace sidera::indi
