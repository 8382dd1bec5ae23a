// Exported operations that create, configure and delete the current mount.
#include "platform/debug_log.h"
#include "platform/serial_port.h"
#include "sidera/api/export_checks.h"
#include "sidera/api/factory.h"
#include "sidera/api/globals.h"
#include "sidera/api/mount_access.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/include/sidera.h"

namespace sidera {
namespace {

// Stops the mount's threads, then deletes it: no worker thread of the mount
// runs any more when it is freed.
void DeleteMount(TelescopeMount* mount) {
  if (mount == nullptr) {
    return;
  }
  mount->Shutdown();
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

// The new mount is published only once it is connected: until then other
// host threads find no mount, and a mount that fails to connect is never
// seen by them.
extern "C" SIDERA_API int CreateMount(int mountType, double latitude, double elevation) {
  platform::ReloadDebugTopics();  // a host switches the debug log on before creating a mount
  MountLifecycle lifecycle;
  if (TelescopeMount* current = lifecycle.Current(); current != nullptr) {
    // The same model again only updates the site; another model must wait
    // for DestroyMount.
    if (current->Identity().Type() != mountType) {
      return kAlreadyConnected;
    }
    SetSiteIgnoringResult(*current, latitude, elevation);
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
  SetSiteIgnoringResult(*mount, latitude, elevation);
  const MountResult connected = mount->Connect();
  if (connected != kOk) {
    DeleteMount(mount);
    return connected;
  }
  mount->StartLineWatch();
  lifecycle.Publish(mount);
  return kOk;
}

// Stops the mount's motions first (a goto halts at once, tracking the
// library drives ends), then waits for the calls that use the mount to end,
// shuts it down and frees it; calls that start meanwhile find no mount.
extern "C" SIDERA_API int DestroyMount(void) {
  MountLifecycle lifecycle;
  // Only lifecycle holders replace g_mount, so the current mount stays
  // alive until this one withdraws it; other calls may use it meanwhile.
  if (TelescopeMount* current = lifecycle.Current(); current != nullptr) current->Shutdown();
  DeleteMount(lifecycle.Withdraw());
  return kOk;
}

extern "C" SIDERA_API int SetSite(double latitude, double elevation) {
  return OnCurrentMount(AllFinite(latitude, elevation),
                        [&](TelescopeMount& mount) { return mount.SetSite(latitude, elevation); });
}

extern "C" SIDERA_API int IsEquatorialMount(void) {
  return OnCurrentMount(true, [](TelescopeMount& mount) { return mount.Identity().Equatorial(); });
}

extern "C" SIDERA_API void SetDebugTopics(const char* topics) { platform::SetDebugTopics(topics); }

extern "C" SIDERA_API void SetSerialPattern(const char* pattern) {
  platform::SetSerialPattern(pattern);
}

extern "C" SIDERA_API void SetComPort(int port) {
  if (port < 0 || port > 255) {
    return;
  }
  g_comPortNumber = port;
  g_comPortIsBluetooth = 0;
}
