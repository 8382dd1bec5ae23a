// The many-star alignment: the rotation and the mechanical terms fitted by
// least squares to any number of centred stars (many_star_fit.h), the
// residual of every star, and a local correction at the newest star so
// that a sync reads back the synced position.
//
// Parameters. The model starts from the kind's nominal matrices turned
// about the axis-0 pole by the stars' mean axis-0 offset, with the stars'
// mean axis-1 offset as index error. The fit then turns it by a small
// rotation (its turn about the axis-0 pole is the axis-0 index error; its
// tilt of that pole the polar axis misalignment of an equatorial mount or
// the azimuth axis tilt of an alt-azimuth one, two ways each) and fits the
// axis-1 index, collimation, non-perpendicularity, tube flexure and, on an
// equatorial mount, declination-axis flexure (pointing_terms.h).
#include <cmath>
#include <mutex>

#include "sidera/core/alignment_rollback.h"
#include "sidera/core/angles.h"
#include "sidera/core/many_star_fit.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/core/vector_matrix.h"

namespace sidera {

namespace {

// Rotation by the vector (x, y, z): about its direction by its length
// (Rodrigues' formula).
Matrix3 RotationBy(double x, double y, double z) {
  const double angle = std::sqrt(x * x + y * y + z * z);
  Matrix3 r;
  SetDiagonal(r, 1.0);
  if (angle == 0.0) return r;
  const double kx = x / angle, ky = y / angle, kz = z / angle;
  const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
  r = Matrix3{{t * kx * kx + c, t * kx * ky - s * kz, t * kx * kz + s * ky,  //
               t * kx * ky + s * kz, t * ky * ky + c, t * ky * kz - s * kx,  //
               t * kx * kz - s * ky, t * ky * kz + s * kx, t * kz * kz + c}};
  return r;
}

// The reading of `s` minus the current model's prediction, axis angles.
AxisPair AxisResidual(TelescopeMount& mount, const AlignStar& s) {
  SkyPoint sky{s.hourAngle, s.declination};
  AxisPair predicted{};
  (void)mount.SkyToAxes(sky, predicted, 1);  // always 0
  return AxisPair{std::remainder(s.axis0 - predicted.axis0, kTwoPi),
                  std::remainder(s.axis1 - predicted.axis1, kTwoPi)};
}

// The same as an angle on the sky.
double SkyResidual(TelescopeMount& mount, const AlignStar& s) {
  const AxisPair r = AxisResidual(mount, s);
  return std::hypot(r.axis0 * std::cos(s.axis1), r.axis1);
}

// Sets the local correction at `s` (the newest star) from what the model
// leaves of its residual, in `model`, the mount's model under a fit.
void SetLocalCorrection(TelescopeMount& mount, PointingValues& model, const AlignStar& s) {
  model.terms.hasLocal = false;
  const AxisPair r = AxisResidual(mount, s);
  Vector3 ideal =
      MultiplyMatrixVector(model.skyToAxes, SphericalToVector(s.hourAngle, s.declination));
  const double length = Length(ideal);
  if (!std::isfinite(r.axis0) || !std::isfinite(r.axis1) || !(length > 0.0)) return;
  model.terms.localAt = Vector3{ideal.x / length, ideal.y / length, ideal.z / length};
  model.terms.local0 = r.axis0;
  model.terms.local1 = r.axis1;
  model.terms.hasLocal = true;
}

}  // namespace

MountResult TelescopeMount::AlignStars(const AlignStar* stars, int count) {
  if (stars == nullptr || count < 1) return kAlignFailed;
  std::vector<AlignStar> given(stars, stars + count);
  for (AlignStar& s : given) {
    s.hourAngle = NormalizeAngle(s.hourAngle);
    s.declination = NormalizeAngle(s.declination);
    if (!std::isfinite(s.axis0) || !std::isfinite(s.axis1) || !std::isfinite(s.hourAngle) ||
        !std::isfinite(s.declination)) {
      return kAlignFailed;
    }
  }

  PointingModel::Lock lock = Model().Hold();
  ModelRollback rollback(*this);
  PointingValues& model = rollback.Edit();
  AlignmentBook book;
  book.stars = given;
  book.used.assign(count, 1);

  if (count <= 3) {
    // What the one- to three-star alignments give. The one-star alignment
    // starts tracking, which converts positions on other threads: not
    // under the lock.
    MountResult r = kOk;
    if (count == 1) {
      lock.unlock();
      r = AlignOneStar(given[0]);
      lock.lock();
    } else if (count == 2) {
      r = AlignTwoStars(given[0], given[1]);
    } else {
      r = AlignThreeStars(given[0], given[1], given[2]);
    }
    if (r != kOk) return rollback.Commit(r);
    // A model that synced its axes to the one star has no residual there.
    const bool synced =
        count == 1 && (Identity().SyncsAxisOnAlign(0) || Identity().SyncsAxisOnAlign(1));
    double sum = 0.0;
    for (const AlignStar& s : given) {
      const double e = synced ? 0.0 : SkyResidual(*this, s);
      book.residuals.push_back(e);
      sum += e * e;
    }
    if (!std::isfinite(sum)) return rollback.Commit(kAlignFailed);
    model.residual = std::sqrt(sum / count);
    if (count > 1) SetLocalCorrection(*this, model, given.back());
    model.book = book;
    return rollback.Commit(kOk);
  }

  // The starting model: nominal, turned about the axis-0 pole by the mean
  // axis-0 offset; the mean axis-1 offset as index error.
  (void)ResetAlignment();
  model.terms = PointingTerms{};
  double sinSum = 0.0, cosSum = 0.0, indexSum = 0.0;
  for (const AlignStar& s : given) {
    SkyPoint sky{s.hourAngle, s.declination};
    AxisPair c{};
    (void)SkyToAxes(sky, c, 0);
    sinSum += std::sin(c.axis0 - s.axis0);
    cosSum += std::cos(c.axis0 - s.axis0);
    indexSum += std::remainder(c.axis1 - s.axis1, kTwoPi);
  }
  const double delta = std::atan2(sinSum, cosSum);
  Matrix3 start;
  SetDiagonal(start, 1.0);
  start.At(0, 0) = std::cos(delta);
  start.At(0, 1) = std::sin(delta);
  start.At(1, 0) = -std::sin(delta);
  start.At(1, 1) = std::cos(delta);
  MultiplyMatrixInPlace(start, model.skyToAxes);
  const double startIndex = indexSum / count;

  StarFitProblem problem;
  problem.termCount = Identity().Equatorial() ? kTermCount : kTermCount - 1;
  problem.requiredTerms = kTermAxis1Index + 1;
  problem.setModel = [&](const double* p) {
    model.skyToAxes = RotationBy(p[kTermPoleTiltX], p[kTermPoleTiltY], p[kTermAxis0Index]);
    MultiplyMatrixInPlace(model.skyToAxes, start);
    model.axesToSky = model.skyToAxes;
    (void)InvertInPlace(model.axesToSky);  // a rotation: never singular
    model.axis1Index = startIndex + p[kTermAxis1Index];
    model.collimation = p[kTermCollimation];
    model.nonPerpendicularity = p[kTermNonPerpendicularity];
    model.terms = PointingTerms{};
    model.terms.tubeFlexure = p[kTermTubeFlexure];
    model.terms.axisFlexure = Identity().Equatorial() ? p[kTermAxisFlexure] : 0.0;
  };
  problem.residual = [&](int i) {
    const AxisPair r = AxisResidual(*this, given[i]);
    return AxisPair{r.axis0 * std::cos(given[i].axis1), r.axis1};
  };
  const StarFitResult fit = FitStars(problem, count);
  if (!fit.ok || !std::isfinite(fit.rms)) return rollback.Commit(kAlignFailed);

  book.residuals = fit.residuals;
  book.used = fit.used;
  for (int t = 0; t < kTermCount; ++t) {
    book.terms[t] = fit.p[t];
    book.fitted[t] = fit.fitted[t];
  }
  book.terms[kTermAxis1Index] = model.axis1Index;
  book.terms[kTermAxis0Index] = NormalizeAngle(delta + fit.p[kTermAxis0Index]);
  // The newest star corrects the model near it, even when the fit dropped
  // it: a sync says where the telescope points (a mount moved in its clamps
  // reads right again), while the terms stay those of the other stars.
  SetLocalCorrection(*this, model, given.back());
  model.book = book;
  model.residual = fit.rms;
  model.quality = 100;
  model.aligned = true;
  return rollback.Commit(kOk);
}

}  // namespace sidera
