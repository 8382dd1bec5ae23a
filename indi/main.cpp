// indi_sidera_telescope: INDI's driver main loop (from libindidriver) serving
// the one "Sidera Mount" device.
#include <memory>

#include "indi/sidera_mount_driver.h"

static std::unique_ptr<sidera::indi::SideraMountDriver> driver(
    new sidera::indi::SideraMountDriver());
