// Alpaca's error numbers and the two ways a request fails: a request the
// server cannot make sense of (HTTP 400 with a plain-text reason) and a
// request it understood that the device refuses or fails (HTTP 200 with an
// error number and message in the JSON).
#pragma once

#include <stdexcept>
#include <string>

namespace sidera::alpaca {

enum ErrorNumber : int {
  kNotImplemented = 0x400,
  kInvalidValue = 0x401,
  kValueNotSet = 0x402,
  kNotConnected = 0x407,
  kInvalidWhileParked = 0x408,
  kInvalidOperation = 0x40B,
  kOperationCancelled = 0x40E,
  // Driver errors: 0x500 plus the library's status code (0x564 for 100, no
  // response from the RA/Az axis), for failures with no Alpaca number.
  kDriverError = 0x500,
};

// The request is malformed: a missing parameter, text where a number belongs,
// an unknown device or member.
struct BadRequest : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The device answers with an Alpaca error.
struct DeviceError : std::runtime_error {
  DeviceError(int number, const std::string& message)
      : std::runtime_error(message), number(number) {}
  int number;
};

// The Alpaca number of a library status code: 4 and the target limits are
// invalid values, 102 (axis busy) an invalid operation, 300 not implemented,
// 3 (no mount) not connected; the rest are driver errors 0x500 + code.
int AlpacaNumberOf(int libraryCode);

}  // namespace sidera::alpaca
