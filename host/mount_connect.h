// A connect, as every front end makes it, and one wording of its failure:
// what was tried ("Connecting to NAME on DEVICE"), then why it failed (no
// device chosen, what the system says of the device, no reply from the
// controller, another kind of mount answering, the library's refusal). Each
// front end delivers the text its own way and says how its user chooses a
// device or a model.
#pragma once

#include <string>
#include <string_view>

namespace sidera::host {

struct ConnectAttempt {
  int model = 0;
  std::string device;  // the serial device path (hardware models; "" when none is chosen)
  // How this front end's user names another device ("choose one in
  // DEVICE_PORT") or another model ("choose its model in MOUNT_MODEL").
  std::string chooseDevice;
  std::string chooseModel;
};

// "model N (NAME)", with the library's name of the model.
std::string ModelNamed(int model);

// "Connecting to NAME", and " on DEVICE" for a model that opens one.
std::string ConnectWhat(const ConnectAttempt& attempt);

// For a model that opens a serial device, before the library is asked: why
// the device cannot serve ("" when it may): none chosen, or what the system
// says of it. Calls nothing of the library.
std::string DeviceUnusable(const ConnectAttempt& attempt);

// Why CreateMount answered `code` (not 0) for `attempt`, ending in
// "(code N)": the device's own problem when it has one now, another kind of
// mount answering, no reply from an axis, a model this library does not
// drive, else the library's message.
std::string ConnectFailureReason(const ConnectAttempt& attempt, int code);

struct ConnectOutcome {
  int code = 0;         // the library's code (SIDERA_PORT_BUSY or _INVALID_PARAMETER
                        // for a device refused before the library was asked)
  std::string failure;  // "<ConnectWhat>: <why>"; "" on success
  bool ok() const { return code == 0; }
};

// The whole connect: the device checked and handed to the library
// (UseSerialDevice), then CreateMount at the site (latitude in radians).
ConnectOutcome ConnectMount(const ConnectAttempt& attempt, double latitude, double elevation);

// For a model that opens a serial device: the library's serial pattern and
// port number for `devicePath` (SetSerialPattern, SetComPort; the library
// reads them when it opens the port). False, with nothing set, when the path
// gives no port (an empty path).
bool UseSerialDevice(std::string_view devicePath);

}  // namespace sidera::host
