// The hosts' model facts, made from the library's model table so that they
// are the drivers' own figures. The goto tolerance here is the one a driver
// starts with; a host takes the connected mount's from GetGotoParameters
// (ConnectedGotoToleranceDegrees), since some controllers widen it at
// connect.
#include "host/model_facts.h"

#include <iterator>

namespace sidera::host {
namespace {

constexpr bool kIsEquatorial_Equatorial = true;
constexpr bool kIsEquatorial_AltAzimuth = false;
constexpr WireFamily kFamily_Simulator = kSimulatorFamily;
constexpr WireFamily kFamily_PacketBus = kPacketBus;
constexpr WireFamily kFamily_ByteCommand = kByteCommand;
constexpr WireFamily kFamily_HexCommand = kHexCommand;

// The home position and the tracking rates follow from the kind.
constexpr ModelFacts WithKind(ModelFacts m) {
  m.homeAxis0Degrees = m.equatorial ? -90.0 : 0.0;
  m.homeAxis1Degrees = m.equatorial ? 90.0 : 0.0;
  m.trackingRates = m.equatorial ? kTrackSidereal | kTrackLunar | kTrackSolar : kTrackSidereal;
  return m;
}

#define SIDERA_HOST_FACTS_ROW(number, kind, wire, reported, baud, topSlew, tolerance, lead, \
                              english, simplified, traditional)                             \
  WithKind({.type = number,                                                                 \
            .family = kFamily_##wire,                                                       \
            .equatorial = kIsEquatorial_##kind,                                             \
            .baudRate = baud,                                                               \
            .maxSlewDegreesPerSecond = topSlew,                                             \
            .gotoToleranceDegrees = tolerance,                                              \
            .gotoLeadSeconds = lead}),
constexpr ModelFacts kModels[] = {SIDERA_MODELS(SIDERA_HOST_FACTS_ROW)};
#undef SIDERA_HOST_FACTS_ROW

constexpr bool NumberedInOrder() {
  for (size_t i = 0; i < std::size(kModels); ++i) {
    if (kModels[i].type != static_cast<int>(i)) return false;
  }
  return true;
}
static_assert(NumberedInOrder(), "the model table's rows are numbered 0, 1, 2, ...");
static_assert(std::size(kModels) == static_cast<size_t>(kModelCount));

}  // namespace

const ModelFacts* FactsOf(int type) {
  if (type < 0 || type >= static_cast<int>(std::size(kModels))) return nullptr;
  return &kModels[type];
}

std::vector<int> TrackingRatesOf(const ModelFacts& m) {
  std::vector<int> rates;
  for (int rate = 0; rate < 3; ++rate) {
    if (FollowsTrackingRate(m, rate)) rates.push_back(rate);
  }
  return rates;
}

}  // namespace sidera::host
