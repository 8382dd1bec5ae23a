// Equatorial <-> horizontal conversions at a latitude, and the root
// conversions between sky positions and axis angles through the pointing
// model.
#include "sidera/core/transforms.h"

#include <cmath>
#include <mutex>

#include "sidera/core/angles.h"
#include "sidera/core/pointing_terms.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/core/vector_matrix.h"

namespace sidera {

double AltitudeOf(double latitude, const SkyPoint& p) {
  return std::asin(std::sin(latitude) * std::sin(p.declination) +
                   std::cos(latitude) * std::cos(p.declination) * std::cos(p.hourAngle));
}

double AzimuthOf(double latitude, const SkyPoint& p) {
  // Azimuth measured westward from south, then turned half a turn so that it
  // counts from north through east.
  const double a =
      std::atan2(std::sin(p.hourAngle), std::cos(p.hourAngle) * std::sin(latitude) -
                                            std::tan(p.declination) * std::cos(latitude));
  return a >= 0.0 ? a - kPi : a + kPi;
}

void HorizontalToEquatorial(double latitude, SkyPoint& out, const HorizontalPoint& in) {
  const double a = in.azimuth;  // westward from south
  const double h = in.altitude;
  out.hourAngle =
      std::atan2(std::sin(a), std::cos(a) * std::sin(latitude) + std::tan(h) * std::cos(latitude));
  out.declination =
      std::asin(std::sin(latitude) * std::sin(h) - std::cos(latitude) * std::cos(h) * std::cos(a));
}

double AltitudeOf(const TelescopeMount& mount, const SkyPoint& p) {
  return AltitudeOf(mount.Latitude(), p);
}

double AzimuthOf(const TelescopeMount& mount, const SkyPoint& p) {
  return AzimuthOf(mount.Latitude(), p);
}

void HorizontalToEquatorial(const TelescopeMount& mount, SkyPoint& out, const HorizontalPoint& in) {
  HorizontalToEquatorial(mount.Latitude(), out, in);
}

int TelescopeMount::SkyToAxes(SkyPoint& in, AxisPair& out, int applyMountErrors) {
  in.hourAngle = NormalizeAngle(in.hourAngle);
  const PointingModel::Lock lock = Model().Hold();
  Vector3 w = MultiplyMatrixVector(Model().View().skyToAxes, SphericalToVector(in));
  const SkyPoint axes = VectorToSpherical(w);
  out.axis0 = axes.hourAngle;
  out.axis1 = axes.declination;
  if (applyMountErrors != 0) ApplyMountErrors(*this, out);
  return 0;
}

int TelescopeMount::AxesToSky(AxisPair& in, SkyPoint& out, int applyMountErrors) {
  const PointingModel::Lock lock = Model().Hold();
  if (applyMountErrors != 0) RemoveMountErrors(*this, in);
  Vector3 w = MultiplyMatrixVector(Model().View().axesToSky, SphericalToVector(in.axis0, in.axis1));
  out = VectorToSpherical(w);
  return 0;
}

}  // namespace sidera
