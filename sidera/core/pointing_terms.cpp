// Applying and removing the pointing model's error terms (see the header).
#include "sidera/core/pointing_terms.h"

#include <cmath>

#include "sidera/core/telescope_mount.h"

namespace sidera {

namespace {

// Fixed-point steps of the reverse with flexure terms: each step shrinks
// the error by the terms' slope (a few arc-minutes per radian, 1e-3), so
// four steps leave far less than a milli-arcsecond.
constexpr int kReverseSteps = 4;

double Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// What the flexure terms add to the readings at the ideal angles (a0, a1).
AxisPair Flexure(const TelescopeMount& mount, double a0, double a1) {
  const PointingTerms& t = mount.Model().View().terms;
  if (t.tubeFlexure == 0.0 && t.axisFlexure == 0.0) return AxisPair{0.0, 0.0};
  const Vector3 zenith = MultiplyMatrixVector(mount.Model().View().skyToAxes,
                                              SphericalToVector(0.0, mount.Latitude()));
  const double c0 = std::cos(a0), s0 = std::sin(a0), c1 = std::cos(a1), s1 = std::sin(a1);
  const Vector3 p{c1 * c0, c1 * s0, s1};
  const Vector3 e0{-s0, c0, 0.0};
  const Vector3 e1{-c0 * s1, -s0 * s1, c1};
  return AxisPair{(t.tubeFlexure * Dot(zenith, e0) + t.axisFlexure * Dot(zenith, p)) / c1,
                  t.tubeFlexure * Dot(zenith, e1)};
}

// The weight of the local correction at axis angles (a0, a1).
double LocalWeight(const PointingTerms& t, double a0, double a1) {
  const Vector3 p = SphericalToVector(a0, a1);
  const double d = std::atan2(Length(CrossProduct(p, t.localAt)), Dot(p, t.localAt));
  const double x = d / (kLocalRadiusDegrees * 3.141592653589793 / 180.0);
  return std::exp(-x * x);
}

}  // namespace

void ApplyMountErrors(const TelescopeMount& mount, AxisPair& axes) {
  const double a0 = axes.axis0;
  const double a1 = axes.axis1;
  const AxisPair flex = Flexure(mount, a0, a1);
  // Both axis-0 terms are taken at the axis-1 angle before its own
  // correction; RemoveMountErrors undoes the steps in the reverse order.
  axes.axis0 = a0 -
               (mount.Model().View().collimation / std::cos(a1) +
                mount.Model().View().nonPerpendicularity * std::tan(a1)) +
               flex.axis0;
  axes.axis1 = a1 - mount.Model().View().axis1Index + flex.axis1;
  const PointingTerms& t = mount.Model().View().terms;
  if (t.hasLocal) {
    const double w = LocalWeight(t, a0, a1);
    axes.axis0 += w * t.local0;
    axes.axis1 += w * t.local1;
  }
}

namespace {

// Readings to ideal angles through the classic and flexure terms only.
AxisPair RemoveTerms(const TelescopeMount& mount, double r0, double r1) {
  const PointingTerms& t = mount.Model().View().terms;
  double a1 = r1 + mount.Model().View().axis1Index;
  double a0 = r0 + mount.Model().View().collimation / std::cos(a1) +
              mount.Model().View().nonPerpendicularity * std::tan(a1);
  if (t.tubeFlexure != 0.0 || t.axisFlexure != 0.0) {
    for (int step = 0; step < kReverseSteps; ++step) {
      const AxisPair flex = Flexure(mount, a0, a1);
      a1 = r1 + mount.Model().View().axis1Index - flex.axis1;
      a0 = r0 + mount.Model().View().collimation / std::cos(a1) +
           mount.Model().View().nonPerpendicularity * std::tan(a1) - flex.axis0;
    }
  }
  return AxisPair{a0, a1};
}

}  // namespace

void RemoveMountErrors(const TelescopeMount& mount, AxisPair& axes) {
  const PointingTerms& t = mount.Model().View().terms;
  AxisPair ideal = RemoveTerms(mount, axes.axis0, axes.axis1);
  if (t.hasLocal) {
    // The correction's weight belongs to the ideal angles, which depend on
    // it only through a slowly varying weight: two rounds settle it.
    for (int round = 0; round < 2; ++round) {
      const double w = LocalWeight(t, ideal.axis0, ideal.axis1);
      ideal = RemoveTerms(mount, axes.axis0 - w * t.local0, axes.axis1 - w * t.local1);
    }
  }
  axes = ideal;
}

}  // namespace sidera
