// The factory: builds the class of a model's catalogue row.
#include "sidera/api/factory.h"

#include "sidera/api/globals.h"
#include "sidera/api/model_catalogue.h"
#include "sidera/link/serial_link.h"

namespace sidera {

MountSettings g_newMountSettings;

TelescopeMount* CreateModel(MountType type) {
  const ModelRow* row = FindModel(type);
  if (row == nullptr || row->build == nullptr) {
    return nullptr;
  }
  const PortAddress port{g_comPortNumber.load(), g_comPortIsBluetooth.load() != 0};
  return row->build(port, g_newMountSettings);
}

}  // namespace sidera
