// A fit that puts the previous pointing model back when it fails.
#include "host/sync_restore.h"

#include "sidera.h"

namespace sidera::host {

int FitOrRestore(const std::function<int()>& fit) {
  AlignmentRecord before{};
  (void)SaveAlignment(&before);  // returns the record size
  double collimation = 0, nonPerpendicularity = 0;
  (void)GetMountErrors(&collimation, &nonPerpendicularity);
  const int code = fit();
  if (code != SIDERA_OK) {
    if (before.isAligned) {
      (void)LoadAlignment(&before);  // a record this mount just saved
    } else {
      (void)SetMountErrors(collimation, nonPerpendicularity);  // back to the nominal model
    }
  }
  return code;
}

}  // namespace sidera::host
