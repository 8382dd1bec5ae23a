// Puts a mount's pointing model back as it was, unless the fit that changed
// it is committed: a failed alignment leaves the model exactly as before.
#pragma once

#include "sidera/core/telescope_mount.h"

namespace sidera {

// The caller holds modelMutex for the rollback's lifetime.
class ModelRollback {
 public:
  explicit ModelRollback(TelescopeMount& mount)
      : mount_(mount),
        skyToAxes_(mount.skyToAxesMatrix),
        axesToSky_(mount.axesToSkyMatrix),
        index_(mount.axis1IndexError),
        collimation_(mount.collimationError),
        nonPerpendicularity_(mount.nonPerpendicularityError),
        residual_(mount.alignmentResidual),
        quality_(mount.alignmentQuality),
        aligned_(mount.isAligned.load()),
        terms_(mount.pointingTerms),
        book_(mount.alignmentBook) {}
  ~ModelRollback() {
    if (committed_) return;
    mount_.skyToAxesMatrix = skyToAxes_;
    mount_.axesToSkyMatrix = axesToSky_;
    mount_.axis1IndexError = index_;
    mount_.collimationError = collimation_;
    mount_.nonPerpendicularityError = nonPerpendicularity_;
    mount_.alignmentResidual = residual_;
    mount_.alignmentQuality = quality_;
    mount_.isAligned = aligned_;
    mount_.pointingTerms = terms_;
    mount_.alignmentBook = book_;
  }
  ModelRollback(const ModelRollback&) = delete;
  ModelRollback& operator=(const ModelRollback&) = delete;

  // The one- to three-star fits start without the many-star model's
  // further terms and stars (they come back if the fit fails).
  void ClearManyStarModel() {
    mount_.pointingTerms = PointingTerms{};
    mount_.alignmentBook = AlignmentBook{};
  }

  // Keeps the new model when `result` is success; passes the result on.
  MountResult Commit(MountResult result) {
    committed_ = result == kOk;
    return result;
  }

 private:
  TelescopeMount& mount_;
  const Matrix3 skyToAxes_;
  const Matrix3 axesToSky_;
  const double index_;
  const double collimation_;
  const double nonPerpendicularity_;
  const double residual_;
  const int32_t quality_;
  const bool aligned_;
  const PointingTerms terms_;
  const AlignmentBook book_;
  bool committed_ = false;
};

}  // namespace sidera
