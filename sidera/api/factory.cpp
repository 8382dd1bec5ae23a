#include "sidera/api/factory.h"

#include "sidera/core/telescope_mount.h"

namespace sidera {

// Several model numbers share a class; the class's constructor records the
// number it reports (4 -> 3, 5 -> 2, 10 -> 8, 11 -> 9).
TelescopeMount* CreateModel(MountType type) {
  switch (type) {
    default:
      return nullptr;
  }
}

}  // namespace sidera
