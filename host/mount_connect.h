// The steps of a connect that every front end makes before CreateMount.
#pragma once

#include <string_view>

namespace sidera::host {

// For a model that opens a serial device: the library's serial pattern and
// port number for `devicePath` (SetSerialPattern, SetComPort; the library
// reads them when it opens the port). False, with nothing set, when the path
// gives no port (an empty path).
bool UseSerialDevice(std::string_view devicePath);

}  // namespace sidera::host
