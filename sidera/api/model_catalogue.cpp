// The model table itself, and the look-ups the factory and the name texts
// make in it.
#include "sidera/api/model_catalogue.h"

#include <array>
#include <type_traits>

#include "sidera/api/texts.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/drivers/byte_command/byte_command_alt_az_mount.h"
#include "sidera/drivers/hex_command/hex_command_alt_az_mount.h"
#include "sidera/drivers/hex_command/hex_command_equatorial_mount.h"
#include "sidera/drivers/packet_bus/packet_bus_alt_az_mount.h"
#include "sidera/drivers/packet_bus/packet_bus_equatorial_mount.h"
#include "sidera/include/sidera_models.h"
#include "sidera/sim/alt_az_simulator.h"
#include "sidera/sim/equatorial_simulator.h"

namespace sidera {

namespace {

// A model's class as the most-derived class, which alone constructs the
// virtual TelescopeMount that the driver and the kind share: with the
// settings.
template <class Model>
class Built final : public Model {
 public:
  Built(const PortAddress& port,
        const MountSettings& settings) requires std::is_constructible_v<Model, const PortAddress&>
      : TelescopeMount(settings), Model(port) {}
  explicit Built(const MountSettings& settings) : TelescopeMount(settings), Model() {}
};

template <class Model>
TelescopeMount* Build(const PortAddress& port, const MountSettings& settings) {
  if constexpr (std::is_constructible_v<Model, const PortAddress&>) {
    return new Built<Model>(port, settings);
  } else {
    return new Built<Model>(settings);
  }
}

using enum MountKind;
using enum DriverFamily;

// The class each model's row builds, by the number of the class's own row
// (the reportedType of every row that shares it); null for a number that
// owns no class.
constexpr TelescopeMount* (*BuilderOf(MountType owner))(const PortAddress&, const MountSettings&) {
  switch (owner) {
    case 0:
      return &Build<PacketBusAltAzMount>;
    case 1:
      return &Build<PacketBusEquatorialMount>;
    case 2:
      return &Build<HexCommandAltAzMount>;
    case 3:
      return &Build<HexCommandEquatorialMount>;
    case 6:
      return &Build<EquatorialSimulator>;
    case 7:
      return &Build<AltAzSimulator>;
    case 8:
      return &Build<ByteCommandAltAzMount8>;
    case 9:
      return &Build<ByteCommandAltAzMount9>;
    default:
      return nullptr;
  }
}

#define SIDERA_CATALOGUE_ROW(type, kind, family, reported, baud, topSlew, tolerance, lead, \
                             english, simplified, traditional)                             \
  {type, k##kind, k##family, reported, english, simplified, traditional, BuilderOf(reported)},
constexpr std::array<ModelRow, kModelCount> kModels = {{SIDERA_MODELS(SIDERA_CATALOGUE_ROW)}};
#undef SIDERA_CATALOGUE_ROW

// A row sits at its own number, and a number that reports another one
// shares that row's kind, family and class: the object built cannot tell
// the two apart.
constexpr bool RowsAgree() {
  for (size_t i = 0; i < kModels.size(); ++i) {
    const ModelRow& row = kModels[i];
    if (row.type != static_cast<MountType>(i)) return false;
    if (row.reportedType < 0 || static_cast<size_t>(row.reportedType) >= kModels.size()) {
      return false;
    }
    const ModelRow& own = kModels[static_cast<size_t>(row.reportedType)];
    if (own.reportedType != own.type || own.kind != row.kind || own.family != row.family ||
        own.build != row.build) {
      return false;
    }
  }
  return true;
}
static_assert(RowsAgree());

}  // namespace

std::span<const ModelRow, kModelCount> Models() { return kModels; }

const ModelRow* FindModel(int type) {
  if (static_cast<unsigned>(type) >= kModels.size()) {
    return nullptr;
  }
  return &kModels[static_cast<size_t>(type)];
}

const char16_t* MountNameText(int type, TextLanguage language) {
  const ModelRow* row = FindModel(type);
  if (row == nullptr) {
    return nullptr;
  }
  return InLanguage(language, row->english, row->simplified, row->traditional);
}

}  // namespace sidera
