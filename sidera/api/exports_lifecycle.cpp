// Exported operations that create, configure and delete the current mount.
#include "sidera/api/export_checks.h"
#include "sidera/api/factory.h"
#include "sidera/api/globals.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"
#include "sidera/platform/debug_log.h"

namespace sidera {
namespace {

// Stops the mount's threads, then deletes it. g_mount is cleared before the
// delete, once no worker thread of the mount runs any more.
void DeleteCurrentMount() {
  TelescopeMount* mount = g_mount;
  if (mount == nullptr) {
    return;
  }
  mount->Shutdown();
  g_mount = nullptr;
  delete mount;
}

// SetSite during CreateMount: its result is ignored, so an unusable site
// leaves the model's default site in place. Non-finite values are not
// passed on at all.
void SetSiteIgnoringResult(TelescopeMount& mount, double latitude, double elevation) {
  if (!AllFinite(latitude, elevation)) {
    return;
  }
  (void)mount.SetSite(latitude, elevation);
}

}  // namespace
}  // namespace sidera

using namespace sidera;

extern "C" SIDERA_API int CreateMount(int mountType, double latitude, double elevation) {
  platform::ReloadDebugTopics();  // a host switches the debug log on before creating a mount
  if (g_mount != nullptr) {
    // The same model again only updates the site; another model must wait
    // for DestroyMount.
    if (g_mount->mountType != mountType) {
      return kAlreadyConnected;
    }
    SetSiteIgnoringResult(*g_mount, latitude, elevation);
    return kOk;
  }
  if (static_cast<unsigned>(mountType) > 11u) {
    return kInvalidMountId;
  }
  TelescopeMount* mount = nullptr;
  try {
    mount = CreateModel(mountType);
  } catch (...) {
    // Out of memory or resources while constructing: no exception may
    // leave a C operation, and there is no mount to report on.
    mount = nullptr;
  }
  if (mount == nullptr) {
    // The model has no class in this build, or could not be built.
    return kNotImplemented;
  }
  g_mount = mount;
  SetSiteIgnoringResult(*mount, latitude, elevation);
  const MountResult connected = mount->Connect();
  if (connected != kOk) {
    DeleteCurrentMount();
  }
  return connected;
}

extern "C" SIDERA_API int DestroyMount(void) {
  DeleteCurrentMount();
  return kOk;
}

extern "C" SIDERA_API int SetSite(double latitude, double elevation) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  if (!AllFinite(latitude, elevation)) {
    return kInvalidParameter;
  }
  return g_mount->SetSite(latitude, elevation);
}

extern "C" SIDERA_API int IsEquatorialMount(void) {
  if (g_mount == nullptr) {
    return kNoMount;
  }
  return g_mount->isEquatorial;
}

extern "C" SIDERA_API void SetComPort(int port) {
  if (port < 0 || port > 255) {
    return;
  }
  g_comPortNumber = port;
  g_comPortIsBluetooth = 0;
}
