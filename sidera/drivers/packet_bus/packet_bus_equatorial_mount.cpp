// Model 1: the equatorial packet-bus mount, with its controller frame
// shift on axis 0 and the axis-1 range.

#include "sidera/drivers/packet_bus/packet_bus_equatorial_mount.h"

#include "sidera/core/angles.h"

namespace sidera {

PacketBusEquatorialMount::PacketBusEquatorialMount(const PortAddress& port) : PacketBusMount(port) {
  SetGotoParameters({.approachDistance = DegToRad(2.0),
                     .approachOffset = DegToRad(0.75),
                     .tolerance = DegToRad(1.0 / 30.0),  // 2 arc-minutes
                     .leadTime = 6.0});
  DeclareModel(1);
  DeclareEquatorial(true);
}

// Stops the motion threads (a no-op when DestroyMount already did) while
// every part of the object is still alive; the link closes after.
PacketBusEquatorialMount::~PacketBusEquatorialMount() { Shutdown(); }

MountResult PacketBusEquatorialMount::ReadAxisPosition(int axis) {
  double angle = 0.0;
  const MountResult r = QueryPosition(axis, &angle);
  if (r != kOk) return r;
  if (axis == 0) {
    angle -= kPi;
  } else if (angle < -kPi / 2) {
    angle += kTwoPi;
  }
  Axes().NotePosition(axis, angle);  // one store: readers never see the raw frame
  return kOk;
}

MountResult PacketBusEquatorialMount::Connect() { return PacketBusMount::Connect(); }

MountResult PacketBusEquatorialMount::GotoAxisAngle(int axis, double angle) {
  const double controllerAngle = axis == 0 ? angle + kPi : angle;
  return GotoInControllerFrame(axis, angle, NormalizeAngle(controllerAngle));
}

MountResult PacketBusEquatorialMount::WriteAxisPosition(int axis, double angle) {
  return SendSetPosition(axis, axis == 0 ? angle + kPi : angle);
}

}  // namespace sidera
