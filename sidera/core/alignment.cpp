// Star alignment: fitting the pointing model (the two matrices and the mount
// error terms) to one, two or three star observations, and saving and
// loading a fitted model as a 200-byte record.
//
// Every body holds the model's lock for its whole computation, so that a motion
// thread converting positions never sees a half-fitted model. The lock is
// recursive: the SkyToAxes, ResetAlignment and AlignmentAdjust called here
// take it again.
//
// The two- and three-star fits and their error-term fits (alignment_fit.h)
// run under an FpGuard: any
// division by zero, overflow, underflow, NaN or denormal value stops them.
// A fit that fails, for whatever reason, leaves the model exactly as it was
// before the call, so a failed attempt never leaves a mount that claims to
// be aligned while it points with the nominal matrices.
#include <cmath>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <mutex>

#include "sidera/core/alignment_fit.h"
#include "sidera/core/alignment_rollback.h"
#include "sidera/core/angles.h"
#include "sidera/core/fp_guard.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/core/vector_matrix.h"

namespace sidera {

namespace {

// Stars closer together than this on the sky (or in the axis readings), or
// closer than this to being opposite, cannot fix the rotation of the model:
// the fit turns the centring error into a pointing error that grows as the
// pair closes up. With a centring error of 2 arc-minutes, the median of the
// worst pointing error over the sky (bench_align_conditioning) is 0.1
// degrees for stars 90 degrees apart, 0.33 at 30, 0.92 at 10, 2.0 at 5, 3.5
// at 2, 7.1 at 1 and 32 at 0.2: below 5 degrees the error passes 60 times
// the centring error and the model is worth nothing for pointing. For three
// stars the same limit applies to every pair and to each star's distance
// from the great circle through the other two (median 1.1 degrees at 5
// degrees off the circle, 6.0 at 1).
const double kMinimumSeparation = DegToRad(5.0);

// Bytes covered by the record's checksum: everything before the checksum.
constexpr std::size_t kChecksummedBytes = offsetof(AlignmentRecord, checksum);
static_assert(kChecksummedBytes == 196);

// The axis angles the current (nominal) model gives the star's sky position,
// without mount errors.
AxisPair NominalAxes(TelescopeMount& mount, const AlignStar& s) {
  SkyPoint sky{s.hourAngle, s.declination};
  AxisPair axes{};
  (void)mount.SkyToAxes(sky, axes, 0);  // always 0
  return axes;
}

// The unit normal of the plane through two directions. A zero cross product
// (the same or opposite directions) divides by zero, which the guard sees.
Vector3 UnitNormal(const Vector3& a, const Vector3& b) {
  const Vector3 n = CrossProduct(a, b);
  const double scale = 1.0 / Length(n);
  return Vector3{n.x * scale, n.y * scale, n.z * scale};
}

bool HasDenormal(FpGuard& guard, const AlignStar& s) {
  return guard.Faulted({s.hourAngle, s.declination, s.axis0, s.axis1});
}

double Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// True when the directions are far enough apart to fix a rotation: every
// pair at least kMinimumSeparation from coinciding and from being opposite
// and, for three, each at least that far from the great circle through the
// other two. Works on unit vectors, so no angle is ever divided by.
bool WellSpread(const Vector3* v, int count) {
  const double limit = std::sin(kMinimumSeparation);
  for (int i = 0; i < count; ++i) {
    for (int j = i + 1; j < count; ++j) {
      if (Length(CrossProduct(v[i], v[j])) < limit) return false;
    }
  }
  if (count == 3) {
    const double volume = std::fabs(Dot(CrossProduct(v[0], v[1]), v[2]));
    for (int i = 0; i < 3; ++i) {
      // Distance (as a sine) of star i from the circle through the others.
      const double base = Length(CrossProduct(v[(i + 1) % 3], v[(i + 2) % 3]));
      if (volume < limit * base) return false;
    }
  }
  return true;
}

// Whether the stars' sky positions and their axis readings are both spread
// well enough for a fit.
bool StarsWellSpread(std::initializer_list<const AlignStar*> stars) {
  Vector3 sky[3];
  Vector3 axes[3];
  int n = 0;
  for (const AlignStar* s : stars) {
    sky[n] = SphericalToVector(s->hourAngle, s->declination);
    axes[n] = SphericalToVector(s->axis0, s->axis1);
    ++n;
  }
  return WellSpread(sky, n) && WellSpread(axes, n);
}

bool AllFinite(const double* values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (!std::isfinite(values[i])) return false;
  }
  return true;
}

// A record whose every number is finite: NaN or infinite matrices and error
// terms would make gotos "succeed" without moving and tracking send NaN rates.
bool RecordIsFinite(const AlignmentRecord& r) {
  const double terms[] = {r.axis1IndexError, r.collimationError, r.nonPerpendicularityError,
                          r.alignmentResidual};
  return AllFinite(r.skyToAxesMatrix, 9) && AllFinite(r.axesToSkyMatrix, 9) && AllFinite(terms, 4);
}

// The last steps of the two- and three-star fits: from P (axis directions of
// the stars, as columns) and Q (their sky directions), skyToAxes = P Q^-1 and
// axesToSky = Q P^-1; then the residual, and the model is marked aligned.
// A singular matrix or a floating-point fault fails the fit (the caller's
// rollback restores the model). `model` is the mount's model under the fit.
MountResult FitModel(TelescopeMount& mount, PointingValues& model, FpGuard& guard, const Matrix3& p,
                     const Matrix3& q) {
  Matrix3 inverse = q;
  if (InvertInPlace(inverse) != 0) return kAlignFailed;
  model.skyToAxes = p;
  MultiplyMatrixInPlace(model.skyToAxes, inverse);
  if (guard.Faulted()) return kAlignFailed;

  inverse = p;
  if (InvertInPlace(inverse) != 0) return kAlignFailed;
  model.axesToSky = q;
  MultiplyMatrixInPlace(model.axesToSky, inverse);
  if (guard.Faulted()) return kAlignFailed;

  // The residual is taken before the model is marked aligned, so that a
  // fault while estimating it leaves the old alignment state intact.
  const double residual = mount.AlignmentAdjust();
  if (guard.Faulted({residual})) return kAlignFailed;
  model.aligned = true;
  model.quality = 100;
  model.residual = residual;
  return kOk;
}

uint32_t RecordChecksum(const AlignmentRecord& record) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  uint32_t sum = 0;
  for (std::size_t i = 0; i < kChecksummedBytes; ++i) sum += bytes[i];
  return sum;
}

}  // namespace

MountResult TelescopeMount::AlignOneStar(AlignStar s1) {
  {
    const PointingModel::Lock lock = Model().Hold();
    ModelRollback rollback(*this);
    PointingValues& model = rollback.Edit();
    rollback.ClearManyStarModel();
    (void)ResetAlignment();  // its status only reports a singular nominal matrix
    const AxisPair c = NominalAxes(*this, s1);

    // Models that sync their axes on alignment take the star's nominal axis
    // angles as the new readings, so the rotation below vanishes for them.
    if (Identity().SyncsAxisOnAlign(0) && WriteAxisPosition(0, c.axis0) == kOk) s1.axis0 = c.axis0;
    if (Identity().SyncsAxisOnAlign(1) && WriteAxisPosition(1, c.axis1) == kOk) s1.axis1 = c.axis1;

    model.axis1Index = c.axis1 - s1.axis1;

    // Turn the model about the axis-0 pole so that the star lands on its
    // axis-0 reading.
    const double delta = c.axis0 - s1.axis0;
    Matrix3 rotation;
    SetDiagonal(rotation, 1.0);
    rotation.At(0, 0) = std::cos(delta);
    rotation.At(0, 1) = std::sin(delta);
    rotation.At(1, 0) = -std::sin(delta);
    rotation.At(1, 1) = std::cos(delta);
    MultiplyMatrixInPlace(rotation, model.skyToAxes);
    model.skyToAxes = rotation;

    model.axesToSky = model.skyToAxes;
    if (InvertInPlace(model.axesToSky) != 0) return kAlignFailed;

    model.aligned = true;
    model.quality = 100;
    model.residual = 0.0;
    (void)rollback.Commit(kOk);
  }
  // Outside the lock: tracking threads convert positions through the model.
  (void)StartTracking();  // tracking is a convenience; the alignment stands
  return kOk;
}

MountResult TelescopeMount::AlignTwoStars(AlignStar s1, AlignStar s2) {
  const PointingModel::Lock lock = Model().Hold();
  FpGuard guard;
  ModelRollback rollback(*this);
  PointingValues& model = rollback.Edit();
  rollback.ClearManyStarModel();
  if (HasDenormal(guard, s1) || HasDenormal(guard, s2)) return kAlignFailed;
  if (!StarsWellSpread({&s1, &s2})) return kAlignFailed;

  (void)ResetAlignment();
  const AxisPair c1 = NominalAxes(*this, s1);
  const AxisPair c2 = NominalAxes(*this, s2);
  // The nominal model's estimate of the index error starts the fit; the
  // mount's collimation and non-perpendicularity terms stay as they are.
  ErrorTerms terms{((c1.axis1 - s1.axis1) + (c2.axis1 - s2.axis1)) / 2.0, model.collimation,
                   model.nonPerpendicularity};
  if (guard.Faulted({c1.axis0, c1.axis1, c2.axis0, c2.axis1, terms.index})) return kAlignFailed;
  if (!FitIndexError(s1, s2, terms)) return kAlignFailed;
  model.axis1Index = terms.index;

  // Both frames get a basis of the two stars and their plane's normal; the
  // model maps one basis onto the other. The readings are corrected by all
  // three terms, so that the model points at both stars also when the mount
  // carries collimation or non-perpendicularity terms.
  const AxisPair r1 = CorrectedReading(s1, terms);
  const AxisPair r2 = CorrectedReading(s2, terms);
  const Vector3 u1 = SphericalToVector(r1.axis0, r1.axis1);
  const Vector3 u2 = SphericalToVector(r2.axis0, r2.axis1);
  const Vector3 w = UnitNormal(u1, u2);
  Matrix3 p;
  SetMatrixColumn(p, 0, u1);
  SetMatrixColumn(p, 1, u2);
  SetMatrixColumn(p, 2, w);
  if (guard.Faulted({r1.axis0, r1.axis1, r2.axis0, r2.axis1, w.x, w.y, w.z})) return kAlignFailed;

  const Vector3 v1 = SphericalToVector(s1.hourAngle, s1.declination);
  const Vector3 v2 = SphericalToVector(s2.hourAngle, s2.declination);
  const Vector3 n = UnitNormal(v1, v2);
  Matrix3 q;
  SetMatrixColumn(q, 0, v1);
  SetMatrixColumn(q, 1, v2);
  SetMatrixColumn(q, 2, n);
  if (guard.Faulted({n.x, n.y, n.z})) return kAlignFailed;

  return rollback.Commit(FitModel(*this, model, guard, p, q));
}

MountResult TelescopeMount::AlignThreeStars(AlignStar s1, AlignStar s2, AlignStar s3) {
  const PointingModel::Lock lock = Model().Hold();
  FpGuard guard;
  ModelRollback rollback(*this);
  PointingValues& model = rollback.Edit();
  rollback.ClearManyStarModel();
  if (HasDenormal(guard, s1) || HasDenormal(guard, s2) || HasDenormal(guard, s3)) {
    return kAlignFailed;
  }
  if (!StarsWellSpread({&s1, &s2, &s3})) return kAlignFailed;

  (void)ResetAlignment();
  const AxisPair c1 = NominalAxes(*this, s1);
  const AxisPair c2 = NominalAxes(*this, s2);
  const AxisPair c3 = NominalAxes(*this, s3);
  // The fit starts from the nominal model's estimate of the index error and
  // no collimation; the non-perpendicularity term stays as it is.
  ErrorTerms terms{((c1.axis1 - s1.axis1) + (c2.axis1 - s2.axis1) + (c3.axis1 - s3.axis1)) / 3.0,
                   0.0, model.nonPerpendicularity};
  if (guard.Faulted({c1.axis0, c1.axis1, c2.axis0, c2.axis1, c3.axis0, c3.axis1, terms.index})) {
    return kAlignFailed;
  }
  if (!FitIndexAndCollimation(s1, s2, s3, terms)) return kAlignFailed;
  model.axis1Index = terms.index;
  model.collimation = terms.collimation;

  // Map the three corrected axis directions onto the three sky directions.
  Matrix3 p;
  Matrix3 q;
  int column = 0;
  for (const AlignStar* s : {&s1, &s2, &s3}) {
    const AxisPair r = CorrectedReading(*s, terms);
    SetMatrixColumn(p, column, SphericalToVector(r.axis0, r.axis1));
    SetMatrixColumn(q, column, SphericalToVector(s->hourAngle, s->declination));
    if (guard.Faulted({r.axis0, r.axis1})) return kAlignFailed;
    ++column;
  }

  return rollback.Commit(FitModel(*this, model, guard, p, q));
}

int TelescopeMount::SaveAlignment(AlignmentRecord* out) {
  if (out == nullptr) return 0;  // nothing written
  const PointingModel::Lock lock = Model().Hold();
  const PointingValues& model = Model().View();
  // Bytes 4..7 (padding) keep what the caller's buffer held; they still
  // count in the checksum.
  out->mountType = Identity().Type();
  std::memcpy(out->skyToAxesMatrix, model.skyToAxes.m, sizeof out->skyToAxesMatrix);
  std::memcpy(out->axesToSkyMatrix, model.axesToSky.m, sizeof out->axesToSkyMatrix);
  out->axis1IndexError = model.axis1Index;
  out->collimationError = model.collimation;
  out->nonPerpendicularityError = model.nonPerpendicularity;
  out->alignmentResidual = model.residual;
  out->alignmentQuality = model.quality;
  out->isAligned = model.aligned;
  out->reserved = 0;
  out->checksum = RecordChecksum(*out);
  return static_cast<int>(sizeof(AlignmentRecord));
}

MountResult TelescopeMount::LoadAlignment(const AlignmentRecord* in) {
  if (in == nullptr) return kBadAlignmentData;
  if (in->mountType != Identity().Type()) return kBadAlignmentData;
  if (RecordChecksum(*in) != in->checksum) return kBadAlignmentData;
  if (!RecordIsFinite(*in)) return kBadAlignmentData;
  PointingValues model;
  std::memcpy(model.skyToAxes.m, in->skyToAxesMatrix, sizeof model.skyToAxes.m);
  std::memcpy(model.axesToSky.m, in->axesToSkyMatrix, sizeof model.axesToSky.m);
  model.axis1Index = in->axis1IndexError;
  model.collimation = in->collimationError;
  model.nonPerpendicularity = in->nonPerpendicularityError;
  // The record holds the three-star model only: no further terms, no
  // stars.
  model.aligned = in->isAligned != 0;
  model.residual = in->alignmentResidual;
  model.quality = in->alignmentQuality;
  Model().Load(std::move(model));
  return kOk;
}

}  // namespace sidera
