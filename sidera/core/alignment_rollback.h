// Puts a mount's pointing model back as it was, unless the fit that changed
// it is committed: a failed alignment leaves the model exactly as before.
#pragma once

#include "sidera/core/pointing_model.h"
#include "sidera/core/telescope_mount.h"

namespace sidera {

// The caller holds the model's lock (PointingModel::Hold) for the
// rollback's lifetime. A fit edits the model in place through Edit(), so
// that the conversions it makes meanwhile see its current values; whether
// the model is aligned is published to other threads at the commit.
class ModelRollback {
 public:
  explicit ModelRollback(TelescopeMount& mount) : model_(mount.Model()), saved_(model_.values_) {}
  ~ModelRollback() {
    if (committed_) return;
    model_.values_ = saved_;
    model_.aligned_ = model_.values_.aligned;
  }
  ModelRollback(const ModelRollback&) = delete;
  ModelRollback& operator=(const ModelRollback&) = delete;

  // The model under the fit.
  PointingValues& Edit() { return model_.values_; }

  // The one- to three-star fits start without the many-star model's
  // further terms and stars (they come back if the fit fails).
  void ClearManyStarModel() {
    model_.values_.terms = PointingTerms{};
    model_.values_.book = AlignmentBook{};
  }

  // Keeps the new model when `result` is success; passes the result on.
  MountResult Commit(MountResult result) {
    committed_ = result == kOk;
    if (committed_) model_.aligned_ = model_.values_.aligned;
    return result;
  }

 private:
  PointingModel& model_;
  const PointingValues saved_;
  bool committed_ = false;
};

}  // namespace sidera
