// A fit that puts the previous pointing model back when it fails.
#include "host/sync_restore.h"

#include <cstdint>
#include <vector>

#include "sidera.h"

namespace sidera::host {

int FitOrRestore(const std::function<int()>& fit) {
  // The whole model with its stars: a many-star model does not fit the
  // 200-byte record, which holds the three-star terms only.
  int size = 0;
  std::vector<uint8_t> model;
  if (SaveAlignmentModel(nullptr, 0, &size) != SIDERA_NO_MOUNT && size > 0) {
    model.resize(static_cast<size_t>(size));
    if (SaveAlignmentModel(model.data(), size, &size) != SIDERA_OK) model.clear();
  }
  AlignmentRecord before{};
  (void)SaveAlignment(&before);  // returns the record size
  double collimation = 0, nonPerpendicularity = 0;
  (void)GetMountErrors(&collimation, &nonPerpendicularity);
  const int code = fit();
  if (code != SIDERA_OK) {
    if (!model.empty() &&
        LoadAlignmentModel(model.data(), static_cast<int>(model.size())) == SIDERA_OK) {
      return code;
    }
    if (before.isAligned) {
      (void)LoadAlignment(&before);  // a record this mount just saved
    } else {
      (void)SetMountErrors(collimation, nonPerpendicularity);  // back to the nominal model
    }
  }
  return code;
}

}  // namespace sidera::host
