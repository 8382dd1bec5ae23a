// The mount's pointing model: the rotation between the sky frame and the
// axis frame, the mount error terms, the many-star model's further terms
// and stars, and how good the alignment is. One lock guards it all.
//
// Writers: the alignment code only (alignment*.cpp, the kinds' nominal
// models), each through one named writer; a fit edits the values in place
// only through a ModelRollback, which puts them back unless the fit is
// committed. Readers: the conversions take what they need under Lock();
// the tracking threads read Aligned() without the lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "sidera/core/alignment_stars.h"
#include "sidera/core/pointing_terms.h"
#include "sidera/core/vector_matrix.h"

namespace sidera {

// The model's values, copied as one.
struct PointingValues {
  Matrix3 skyToAxes;  // sky direction to ideal axis angles
  Matrix3 axesToSky;  // its inverse
  double axis1Index = 0.0;
  double collimation = 0.0;
  double nonPerpendicularity = 0.0;
  double residual = 0.0;  // of the last fit (rad)
  int32_t quality = 0;
  bool aligned = false;
  PointingTerms terms;
  AlignmentBook book;

  // Until a kind fills the model for the site it is the identity, so that
  // nothing converts through uninitialised memory.
  PointingValues() {
    SetDiagonal(skyToAxes, 1.0);
    SetDiagonal(axesToSky, 1.0);
  }
};

class PointingModel {
 public:
  using Lock = std::unique_lock<std::recursive_mutex>;

  // Holds the model's lock. Recursive, because an alignment converts
  // positions while it holds the lock.
  [[nodiscard]] Lock Hold() const { return Lock(mutex_); }

  // ---- Readers. ----
  // The values; the caller holds Hold() for as long as it reads them.
  const PointingValues& View() const { return values_; }
  // A copy taken under the lock.
  PointingValues Copy() const {
    const Lock lock = Hold();
    return values_;
  }
  // Whether an alignment stands (any thread, no lock).
  bool Aligned() const { return aligned_.load(); }

  // ---- Writers (each takes the lock). ----
  // The site's nominal rotation (a kind's ResetAlignment); the inverse
  // follows. Returns InvertInPlace's status (nonzero: singular). The rest
  // of the model stays.
  int SetNominal(const Matrix3& skyToAxes) {
    const Lock lock = Hold();
    values_.skyToAxes = skyToAxes;
    values_.axesToSky = skyToAxes;
    return InvertInPlace(values_.axesToSky);
  }
  // The host's collimation and non-perpendicularity terms: the model loses
  // its alignment, its index error, residual and many-star model (the
  // caller resets the rotation).
  void SetMountErrors(double collimation, double nonPerpendicularity) {
    const Lock lock = Hold();
    values_.terms = PointingTerms{};
    values_.book = AlignmentBook{};
    values_.axis1Index = 0.0;
    values_.collimation = collimation;
    values_.nonPerpendicularity = nonPerpendicularity;
    values_.residual = 0.0;
    values_.aligned = false;
    aligned_ = false;
  }
  // A whole model, stored or saved earlier.
  void Load(PointingValues values) {
    const Lock lock = Hold();
    values_ = std::move(values);
    aligned_ = values_.aligned;
  }

 private:
  friend class ModelRollback;  // a fit's in-place edits

  mutable std::recursive_mutex mutex_;
  PointingValues values_;
  std::atomic<bool> aligned_{false};  // mirrors values_.aligned
};

}  // namespace sidera
