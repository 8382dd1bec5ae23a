// Physical geometry of a mount with mechanical errors (see the header).
#include "sidera/sim/mechanics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "platform/debug_log.h"

namespace sidera {

namespace {

constexpr double kPiHere = 3.141592653589793;
constexpr double kArcsecond = kPiHere / 648000.0;

struct V {
  double x, y, z;
};
V operator+(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V operator*(double k, V a) { return {k * a.x, k * a.y, k * a.z}; }
double Dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V Cross(V a, V b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V Unit(V a) { return (1.0 / std::sqrt(Dot(a, a))) * a; }

// Turns v about the unit axis k by angle (Rodrigues' rotation formula).
V Turn(V v, V k, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  return c * v + s * Cross(k, v) + (Dot(k, v) * (1.0 - c)) * k;
}

const V kX{1, 0, 0}, kY{0, 1, 0}, kZ{0, 0, 1};

// Horizontal frame (x north, y east... as the alt-azimuth axes read: azimuth
// from north through east, altitude up) from the equatorial frame (x towards
// hour angle 0 on the equator, z the pole): the alt-azimuth mount's nominal
// matrix. And back (its transpose: a rotation and a reflection, symmetric).
V EquatorialToHorizontal(V e, double lat) {
  const double s = std::sin(lat), c = std::cos(lat);
  return {-s * e.x + c * e.z, -e.y, c * e.x + s * e.z};
}

// The frame the axes live in, from the sky's equatorial frame, before the
// tilt of axis 0: south of the equator an equatorial mount's axis 0 points
// at the south pole, and its axis angles run the other way. Each is its own
// inverse.
V SkyToFrame(const Mechanics& m, V sky) {
  if (!m.equatorial) return EquatorialToHorizontal(sky, m.latitude);
  return m.latitude >= 0.0 ? sky : V{sky.x, -sky.y, -sky.z};
}
V FrameToSky(const Mechanics& m, V f) { return SkyToFrame(m, f); }

// The frame's vector of the tilted axis-0 axis system: tilt about x, then y.
V Tilt(const Mechanics& m, V v) { return Turn(Turn(v, kX, m.poleTiltX), kY, m.poleTiltY); }

V Direction(double lon, double lat) {
  return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}

}  // namespace

bool Mechanics::Any() const {
  return axis0Index != 0 || axis1Index != 0 || collimation != 0 || nonPerpendicularity != 0 ||
         poleTiltX != 0 || poleTiltY != 0 || tubeFlexure != 0 || axisFlexure != 0 ||
         periodicError != 0;
}

SkyPoint PointedSky(const Mechanics& m, double reading0, double reading1) {
  const double theta0 =
      reading0 + m.axis0Index + m.periodicError * std::sin(m.wormTeeth * reading0);
  const double theta1 = reading1 + m.axis1Index;
  // In the axis-0 system: the tube off the perpendicular by the collimation,
  // turned up by theta1 about the axis-1 axis (y, tilted towards z by the
  // non-perpendicularity), then about z by theta0.
  const V axis1 = Turn(Turn(kY, kX, m.nonPerpendicularity), kZ, theta0);
  V tube = Turn(Direction(m.collimation, 0.0), kY, -theta1);
  tube = Turn(Turn(tube, kX, m.nonPerpendicularity), kZ, theta0);

  // Into the frame; gravity there.
  V p = Tilt(m, tube);
  const V d = Tilt(m, axis1);
  const V zenith = SkyToFrame(m, Direction(0.0, m.latitude));
  if (m.tubeFlexure != 0.0) {
    p = Unit(p + (-m.tubeFlexure) * (zenith + (-Dot(zenith, p)) * p));
  }
  if (m.axisFlexure != 0.0) {
    // The declination axis bends down in its vertical plane, by the
    // flexure times its horizontal extent; the tube turns with it.
    const V k = Cross(d, zenith);
    const double s = std::sqrt(Dot(k, k));
    if (s > 0.0) p = Turn(p, (1.0 / s) * k, m.axisFlexure * s);
  }
  const V sky = FrameToSky(m, p);
  return SkyPoint{std::atan2(sky.y, sky.x), std::asin(std::max(-1.0, std::min(1.0, sky.z)))};
}

AxisPair ReadingsFor(const Mechanics& m, const SkyPoint& sky, const AxisPair& guess) {
  const V want = Direction(sky.hourAngle, sky.declination);
  AxisPair r = guess;
  // Newton steps on the two components of the miss across the tube.
  for (int step = 0; step < 20; ++step) {
    const SkyPoint got = PointedSky(m, r.axis0, r.axis1);
    const V p = Direction(got.hourAngle, got.declination);
    const V e = Cross(p, want);  // miss, as a small rotation vector
    if (std::sqrt(Dot(e, e)) < 1e-13) break;
    const double h = 1e-7;
    const SkyPoint g0 = PointedSky(m, r.axis0 + h, r.axis1);
    const SkyPoint g1 = PointedSky(m, r.axis0, r.axis1 + h);
    const V c0 = (1.0 / h) * Cross(p, Direction(g0.hourAngle, g0.declination));
    const V c1 = (1.0 / h) * Cross(p, Direction(g1.hourAngle, g1.declination));
    // Least squares of c0 x + c1 y = e.
    const double a = Dot(c0, c0), b = Dot(c0, c1), c = Dot(c1, c1);
    const double u = Dot(c0, e), v = Dot(c1, e);
    const double det = a * c - b * b;
    if (det == 0.0) break;
    r.axis0 += (c * u - b * v) / det;
    r.axis1 += (a * v - b * u) / det;
  }
  return r;
}

bool ParseMechanics(const std::string& text, Mechanics& out) {
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    if (item.empty()) continue;
    const auto eq = item.find('=');
    if (eq == std::string::npos) return false;
    const std::string name = item.substr(0, eq);
    const std::string number = item.substr(eq + 1);
    char* end = nullptr;
    const double arcseconds = std::strtod(number.c_str(), &end);
    if (number.empty() || end == nullptr || *end != '\0' || !std::isfinite(arcseconds))
      return false;
    const double v = arcseconds * kArcsecond;
    if (name == "ih") {
      out.axis0Index = v;
    } else if (name == "id") {
      out.axis1Index = v;
    } else if (name == "ch") {
      out.collimation = v;
    } else if (name == "np") {
      out.nonPerpendicularity = v;
    } else if (name == "ma") {
      out.poleTiltX = v;
    } else if (name == "me") {
      out.poleTiltY = v;
    } else if (name == "tf") {
      out.tubeFlexure = v;
    } else if (name == "daf") {
      out.axisFlexure = v;
    } else if (name == "pe") {
      out.periodicError = v;
    } else {
      return false;
    }
  }
  return true;
}

Mechanics MechanicsFromEnvironment() {
  Mechanics m;
  const char* text = std::getenv("SIDERA_SIM_MECHANICS");
  if (text == nullptr) return m;
  Mechanics parsed;
  if (!ParseMechanics(text, parsed)) {
    SIDERA_DEBUG_LOG(kMotion, "SIDERA_SIM_MECHANICS not understood, ignored: %s", text);
    return m;
  }
  return parsed;
}

}  // namespace sidera
