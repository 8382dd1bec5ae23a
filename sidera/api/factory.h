// Builds the mount object of a model number.
#pragma once

#include "sidera/core/mount_settings.h"
#include "sidera/core/types.h"

namespace sidera {

class TelescopeMount;

// The tuning values of the mounts CreateModel builds: the defaults, unless a
// test or a benchmark changed them while no mount was being built.
extern MountSettings g_newMountSettings;

// The object of the catalogue's class for `type` (a row of the model table), constructed on
// the port the host chose (SetComPort, RegisterBluetoothPort) but not
// connected; null when the model has no class in this build.
TelescopeMount* CreateModel(MountType type);

}  // namespace sidera
