// A connect and the wording of its failure.
#include "host/mount_connect.h"

#include "host/library_text.h"
#include "host/model_facts.h"
#include "host/serial_device.h"
#include "sidera.h"

namespace sidera::host {
namespace {

std::string CodeText(int code) { return "(code " + std::to_string(code) + ")"; }

std::string AxisName(int model, int axis) {
  const ModelFacts* facts = FactsOf(model);
  if (facts == nullptr || facts->equatorial) return axis == 0 ? "right ascension" : "declination";
  return axis == 0 ? "azimuth" : "altitude";
}

}  // namespace

std::string ModelNamed(int model) {
  const std::string name = LibraryModelName(model);
  const std::string number = "model " + std::to_string(model);
  return name.empty() ? number : number + " (" + name + ")";
}

std::string ConnectWhat(const ConnectAttempt& attempt) {
  std::string what = "Connecting to " + ModelLabel(attempt.model);
  if (OpensSerialDevice(attempt.model) && !attempt.device.empty()) what += " on " + attempt.device;
  return what;
}

std::string DeviceUnusable(const ConnectAttempt& attempt) {
  if (!OpensSerialDevice(attempt.model)) return "";
  if (attempt.device.empty()) return "no serial device chosen (" + attempt.chooseDevice + ")";
  return DiagnoseSerialDevice(attempt.device, attempt.chooseDevice);
}

std::string ConnectFailureReason(const ConnectAttempt& attempt, int code) {
  const bool hardware = OpensSerialDevice(attempt.model) && !attempt.device.empty();
  if (code == SIDERA_NOT_IMPLEMENTED) {
    return ModelNamed(attempt.model) + " is not driven by this build of the library " +
           CodeText(code);
  }
  if (!hardware) return LibraryMessage(code) + " " + CodeText(code);
  // The site is not checked by a hardware connect: bad data means the
  // controller's replies are not those of the model's family.
  if (code == SIDERA_INVALID_PARAMETER) {
    return AnotherKindOfMountText(attempt.device, ModelNamed(attempt.model), attempt.chooseModel) +
           " " + CodeText(code);
  }
  // The device may have gone or been taken since it was checked.
  if (const std::string problem = DiagnoseSerialDevice(attempt.device, attempt.chooseDevice);
      !problem.empty()) {
    return problem + " " + CodeText(code);
  }
  if (code == SIDERA_NO_RESPONSE_AXIS0 || code == SIDERA_NO_RESPONSE_AXIS1) {
    const int axis = code - SIDERA_NO_RESPONSE_AXIS0;
    return "no mount answers on " + attempt.device + ": axis " + std::to_string(axis) + " (" +
           AxisName(attempt.model, axis) + ") does not reply; is the mount powered and cabled, " +
           "and is it " + ModelNamed(attempt.model) + "? " + CodeText(code);
  }
  return LibraryMessage(code) + " " + CodeText(code);
}

ConnectOutcome ConnectMount(const ConnectAttempt& attempt, double latitude, double elevation) {
  const std::string what = ConnectWhat(attempt);
  if (const std::string problem = DeviceUnusable(attempt); !problem.empty()) {
    return {attempt.device.empty() ? SIDERA_INVALID_PARAMETER : SIDERA_PORT_BUSY,
            what + ": " + problem};
  }
  if (OpensSerialDevice(attempt.model)) (void)UseSerialDevice(attempt.device);
  const int code = CreateMount(attempt.model, latitude, elevation);
  if (code == SIDERA_OK) return {};
  return {code, what + ": " + ConnectFailureReason(attempt, code)};
}

bool UseSerialDevice(std::string_view devicePath) {
  const auto port = PortSettingFor(devicePath);
  if (!port) return false;
  SetSerialPattern(port->pattern.c_str());
  SetComPort(port->number);
  return true;
}

}  // namespace sidera::host
