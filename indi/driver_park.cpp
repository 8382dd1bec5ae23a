// The INDI glue of the park position: TELESCOPE_PARK_POSITION shows where a
// park goes, in axis angles (degrees); the user sets it there or with
// TELESCOPE_PARK_OPTION (the current position, or back to the default, the
// model's home). SIDERA_PARK_AT says which of the two is in force and is
// kept in the driver's configuration with the position, so that a position
// the user set stays theirs across restarts and model changes, while the
// default follows the model connected (host::ParkAxes).
#include <cmath>

#include "host/park_position.h"
#include "host/sky_angles.h"
#include "indi/driver_shared.h"
#include "indi/sidera_mount_driver.h"

namespace sidera::indi {

void SideraMountDriver::InitParkProperties(const char* dev) {
  IUFillNumber(&parkPositionN_[0], "PARK_AXIS1", "Axis 1 (degrees)", "%.4f", -360.0, 360.0, 0.0,
               0.0);
  IUFillNumber(&parkPositionN_[1], "PARK_AXIS2", "Axis 2 (degrees)", "%.4f", -360.0, 360.0, 0.0,
               0.0);
  IUFillNumberVector(&parkPositionNP_, parkPositionN_, 2, dev, "TELESCOPE_PARK_POSITION",
                     "Park Position", SITE_TAB, IP_RW, 60, IPS_IDLE);
  IUFillSwitch(&parkOptionS_[0], "PARK_CURRENT", "Current", ISS_OFF);
  IUFillSwitch(&parkOptionS_[1], "PARK_DEFAULT", "Default", ISS_OFF);
  IUFillSwitchVector(&parkOptionSP_, parkOptionS_, 2, dev, "TELESCOPE_PARK_OPTION", "Park Options",
                     SITE_TAB, IP_RW, ISR_ATMOST1, 60, IPS_IDLE);
  IUFillSwitch(&parkAtS_[0], "HOME", "The model's home", ISS_ON);
  IUFillSwitch(&parkAtS_[1], "USER", "The position set", ISS_OFF);
  IUFillSwitchVector(&parkAtSP_, parkAtS_, 2, dev, "SIDERA_PARK_AT", "Park at", SITE_TAB, IP_RW,
                     ISR_1OFMANY, 60, IPS_IDLE);
}

bool SideraMountDriver::UserParkPosition() const { return parkAtS_[1].s == ISS_ON; }

void SideraMountDriver::ShowParkPosition(const char* message) {
  if (!UserParkPosition()) {
    // The default follows the model connected, or the one chosen.
    const int chosen = IUFindOnSwitchIndex(&modelSP_);
    if (const host::ModelFacts* facts = host::FactsOf(chosen < 0 ? 6 : chosen)) {
      parkPositionN_[0].value = host::HomeAxis0Degrees(*facts);
      parkPositionN_[1].value = host::HomeAxis1Degrees(*facts);
    }
  }
  parkPositionNP_.s = IPS_OK;
  IDSetNumber(&parkPositionNP_, message == nullptr ? nullptr : "%s", message);
  parkAtSP_.s = IPS_OK;
  IDSetSwitch(&parkAtSP_, nullptr);
}

void SideraMountDriver::SetParkAt(bool user, const char* message) {
  IUResetSwitch(&parkAtSP_);
  parkAtS_[user ? 1 : 0].s = ISS_ON;
  ShowParkPosition(message);
  if (!loadingConfig_) {
    saveConfig(true, parkPositionNP_.name);
    saveConfig(true, parkAtSP_.name);
  }
}

bool SideraMountDriver::HandleParkNumber(const char* name, double values[], char* names[], int n) {
  if (!Named(name, parkPositionNP_.name)) return false;
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(values[i])) {
      parkPositionNP_.s = IPS_ALERT;
      IDSetNumber(&parkPositionNP_, "Refused: the park position must be finite angles");
      return true;
    }
  }
  IUUpdateNumber(&parkPositionNP_, values, names, n);
  // From the configuration the position comes before the choice, which
  // says whether it is in force.
  if (loadingConfig_) return true;
  SetParkAt(true, "Park position set");
  return true;
}

bool SideraMountDriver::HandleParkSwitch(const char* name, ISState* states, char* names[], int n) {
  if (Named(name, parkAtSP_.name)) {
    IUUpdateSwitch(&parkAtSP_, states, names, n);
    SetParkAt(UserParkPosition(), nullptr);
    return true;
  }
  if (!Named(name, parkOptionSP_.name)) return false;
  IUUpdateSwitch(&parkOptionSP_, states, names, n);
  const int option = IUFindOnSwitchIndex(&parkOptionSP_);
  IUResetSwitch(&parkOptionSP_);
  if (option == 1) {
    parkOptionSP_.s = IPS_OK;
    IDSetSwitch(&parkOptionSP_, nullptr);
    SetParkAt(false, "Parks at the model's home");
  } else if (option == 0) {
    if (!haveAxes_) {
      parkOptionSP_.s = IPS_ALERT;
      IDSetSwitch(&parkOptionSP_, "No position of the mount read yet: connect first");
      return true;
    }
    parkOptionSP_.s = IPS_OK;
    IDSetSwitch(&parkOptionSP_, nullptr);
    parkPositionN_[0].value = host::Degrees(lastAxes_.axis0);
    parkPositionN_[1].value = host::Degrees(lastAxes_.axis1);
    SetParkAt(true, "Park position set to the current position");
  }
  return true;
}

}  // namespace sidera::indi
