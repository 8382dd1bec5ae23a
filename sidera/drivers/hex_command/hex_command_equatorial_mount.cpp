// The equatorial hex-command model: goto parameters, the quarter-turn frame
// of axis 0, the range of axis 1 and the home position of fresh controllers.
#include "sidera/drivers/hex_command/hex_command_equatorial_mount.h"

#include "sidera/core/angles.h"

namespace sidera {

namespace {

constexpr double kHalfPi = kPi / 2.0;

}  // namespace

HexCommandEquatorialMount::HexCommandEquatorialMount(const PortAddress& port)
    : HexCommandMount(port) {
  // 2 arc-minutes, 20 arc-minutes
  SetGotoParameters({.approachOffset = DegToRad(1.0 / 3.0), .tolerance = DegToRad(1.0 / 30.0)});
  DeclareModel(3);
  DeclareEquatorial(true);
  SetRts(true);
}

// Stops the motion threads (a no-op when DestroyMount already did) while
// every part of the object is still alive; the link closes after.
HexCommandEquatorialMount::~HexCommandEquatorialMount() { Shutdown(); }

MountResult HexCommandEquatorialMount::ReadAxisPosition(int axis) {
  double angle = 0.0;
  const MountResult r = QueryAxisAngle(axis, &angle);
  if (r != kOk) return r;
  if (axis == 0) angle -= kHalfPi;
  Axes().NotePosition(axis, angle);  // one store: readers never see the raw frame
  return kOk;
}

MountResult HexCommandEquatorialMount::GotoAxisAngle(int axis, double angle) {
  if (axis == 1 && angle < -kHalfPi) angle += kTwoPi;
  return HexCommandMount::GotoAxisAngle(axis, angle);
}

MountResult HexCommandEquatorialMount::WriteAxisPosition(int axis, double angle) {
  return HexCommandMount::WriteAxisPosition(axis, axis == 0 ? angle + kHalfPi : angle);
}

LineReady HexCommandEquatorialMount::BeginTransmit() {
  SetRts(true);
  return LineReady::kYes;
}

MountResult HexCommandEquatorialMount::InitializeAxes() {
  // A failed read leaves the last known state, which then decides as usual.
  (void)ReadAxisState(0);
  if ((Axes().State(0) & AXIS_NOT_INITIALIZED) != 0) (void)WriteAxisPosition(0, -kHalfPi);
  (void)ReadAxisState(1);
  if ((Axes().State(1) & AXIS_NOT_INITIALIZED) != 0) (void)WriteAxisPosition(1, kHalfPi);
  (void)HexCommandMount::InitializeAxes();
  SiteChanged();
  return kOk;
}

void HexCommandEquatorialMount::SiteChanged() { southernHemisphere = Latitude() < 0.0; }

}  // namespace sidera
