// The factory: builds the class of a model's catalogue row.
#include "sidera/api/factory.h"

#include "sidera/api/model_catalogue.h"

namespace sidera {

TelescopeMount* CreateModel(MountType type) {
  const ModelRow* row = FindModel(type);
  if (row == nullptr || row->build == nullptr) {
    return nullptr;
  }
  return row->build();
}

}  // namespace sidera
