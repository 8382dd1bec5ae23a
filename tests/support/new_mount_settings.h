// Mounts created within the scope are built with the given tuning values;
// the defaults hold again after it.
#pragma once

#include "sidera/api/factory.h"
#include "sidera/core/mount_settings.h"

namespace sidera::testing {

class NewMountSettings {
 public:
  explicit NewMountSettings(const MountSettings& settings) { g_newMountSettings = settings; }
  ~NewMountSettings() { g_newMountSettings = MountSettings{}; }
  NewMountSettings(const NewMountSettings&) = delete;
  NewMountSettings& operator=(const NewMountSettings&) = delete;
};

}  // namespace sidera::testing
