// One row per mount model: the figures the hosts check slew rates, goto
// arrivals and tracking modes against. The figures are those each model's
// driver uses.
#include "host/model_facts.h"

#include <iterator>

namespace sidera::host {
namespace {

// The home position and the tracking rates follow from the kind.
constexpr ModelFacts WithKind(ModelFacts m) {
  m.homeAxis0Degrees = m.equatorial ? -90.0 : 0.0;
  m.homeAxis1Degrees = m.equatorial ? 90.0 : 0.0;
  m.trackingRates = m.equatorial ? kTrackSidereal | kTrackLunar | kTrackSolar : kTrackSidereal;
  return m;
}

// Packet-bus rates above about 4.55 degrees a second do not fit the wire, so
// 4 (its fast goto speed) is the limit; the hex command clamps at 3.4; the byte command
// and the alt-azimuth simulator slew at 8, the equatorial simulator at 4.
// The hex-command models use 2' (equatorial) or 5' (alt-azimuth) unless their
// controller is an early one of model codes 0x80 to 0x82, when it is 0.1
// degree: the controller decides that at connect, so a host takes the
// connected mount's tolerance from GetGotoParameters (host::ConnectedGotoTolerance);
// these rows are the models' own, as their drivers set them before connect.
constexpr ModelFacts kModels[] = {
    WithKind({.type = 0,
              .family = kPacketBus,
              .equatorial = false,
              .maxSlewDegreesPerSecond = 4.0,
              .gotoToleranceDegrees = 1.0 / 12,
              .gotoLeadSeconds = 10.0}),
    WithKind({.type = 1,
              .family = kPacketBus,
              .equatorial = true,
              .maxSlewDegreesPerSecond = 4.0,
              .gotoToleranceDegrees = 1.0 / 30,
              .gotoLeadSeconds = 6.0}),
    WithKind({.type = 2,
              .family = kHexCommand,
              .equatorial = false,
              .maxSlewDegreesPerSecond = 3.4,
              .gotoToleranceDegrees = 1.0 / 12,
              .gotoLeadSeconds = 0.0}),
    WithKind({.type = 3,
              .family = kHexCommand,
              .equatorial = true,
              .maxSlewDegreesPerSecond = 3.4,
              .gotoToleranceDegrees = 1.0 / 30,
              .gotoLeadSeconds = 0.0}),
    WithKind({.type = 4,
              .family = kHexCommand,
              .equatorial = true,
              .maxSlewDegreesPerSecond = 3.4,
              .gotoToleranceDegrees = 1.0 / 30,
              .gotoLeadSeconds = 0.0}),
    WithKind({.type = 5,
              .family = kHexCommand,
              .equatorial = false,
              .maxSlewDegreesPerSecond = 3.4,
              .gotoToleranceDegrees = 1.0 / 12,
              .gotoLeadSeconds = 0.0}),
    WithKind({.type = 6,
              .family = kSimulatorFamily,
              .equatorial = true,
              .maxSlewDegreesPerSecond = 4.0,
              .gotoToleranceDegrees = 1.0 / 30,
              .gotoLeadSeconds = 2.0}),
    WithKind({.type = 7,
              .family = kSimulatorFamily,
              .equatorial = false,
              .maxSlewDegreesPerSecond = 8.0,
              .gotoToleranceDegrees = 0.05,
              .gotoLeadSeconds = 2.0}),
    WithKind({.type = 8,
              .family = kByteCommand,
              .equatorial = false,
              .maxSlewDegreesPerSecond = 8.0,
              .gotoToleranceDegrees = 1.0 / 12,
              .gotoLeadSeconds = 12.0}),
    WithKind({.type = 9,
              .family = kByteCommand,
              .equatorial = false,
              .maxSlewDegreesPerSecond = 8.0,
              .gotoToleranceDegrees = 1.0 / 12,
              .gotoLeadSeconds = 12.0}),
    WithKind({.type = 10,
              .family = kByteCommand,
              .equatorial = false,
              .maxSlewDegreesPerSecond = 8.0,
              .gotoToleranceDegrees = 1.0 / 12,
              .gotoLeadSeconds = 12.0}),
    WithKind({.type = 11,
              .family = kByteCommand,
              .equatorial = false,
              .maxSlewDegreesPerSecond = 8.0,
              .gotoToleranceDegrees = 1.0 / 12,
              .gotoLeadSeconds = 12.0}),
};

}  // namespace

int ModelCount() { return static_cast<int>(std::size(kModels)); }

const ModelFacts* FactsOf(int type) {
  if (type < 0 || type >= static_cast<int>(std::size(kModels))) return nullptr;
  return &kModels[type];
}

}  // namespace sidera::host
