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

// clang-format off
constexpr std::array<ModelRow, kModelCount> kModels = {{
  {0, kAltAzimuth, kPacketBus, 0,
   u"Vexlor Alt/Az Mount", u"Vexlor 经纬仪", u"Vexlor 經緯儀", &Build<PacketBusAltAzMount>},
  {1, kEquatorial, kPacketBus, 1,
   u"Vexlor EQ Mount", u"Vexlor 赤道仪", u"Vexlor 赤道儀", &Build<PacketBusEquatorialMount>},
  {2, kAltAzimuth, kHexCommand, 2,
   u"Qualen Alt/Az Mount", u"Qualen 经纬仪", u"Qualen 經緯儀", &Build<HexCommandAltAzMount>},
  {3, kEquatorial, kHexCommand, 3,
   u"Qualen EQ Mount", u"Qualen 赤道仪", u"Qualen 赤道儀", &Build<HexCommandEquatorialMount>},
  {4, kEquatorial, kHexCommand, 3,
   u"Brantel EQ-K Mount", u"Brantel 赤道仪", u"Brantel 赤道儀",
   &Build<HexCommandEquatorialMount>},
  {5, kAltAzimuth, kHexCommand, 2,
   u"Brantel Drifter Mount", u"Brantel Drifter 经纬仪", u"Brantel Drifter 經緯儀",
   &Build<HexCommandAltAzMount>},
  {6, kEquatorial, kSimulator, 6,
   u"EQ Mount Simulator", u"仿真赤道仪", u"仿真赤道儀", &Build<EquatorialSimulator>},
  {7, kAltAzimuth, kSimulator, 7,
   u"Alt/Az Mount Simulator", u"仿真经纬仪", u"仿真經緯儀", &Build<AltAzSimulator>},
  {8, kAltAzimuth, kByteCommand, 8,
   u"Vexlor Pathway-80 Alt/Az Mount", u"Vexlor Pathway-80 经纬仪", u"Vexlor Pathway-80 經緯儀",
   &Build<ByteCommandAltAzMount8>},
  {9, kAltAzimuth, kByteCommand, 9,
   u"Vexlor Pathway-114 Alt/Az Mount", u"Vexlor Pathway-114 经纬仪",
   u"Vexlor Pathway-114 經緯儀", &Build<ByteCommandAltAzMount9>},
  {10, kAltAzimuth, kByteCommand, 8,
   u"Brantel Wayfarer-80 Alt/Az Mount", u"Brantel Wayfarer-80 经纬仪",
   u"Brantel Wayfarer-80 經緯儀", &Build<ByteCommandAltAzMount8>},
  {11, kAltAzimuth, kByteCommand, 9,
   u"Brantel Wayfarer-114 Alt/Az Mount", u"Brantel Wayfarer-114 经纬仪",
   u"Brantel Wayfarer-114 經緯儀", &Build<ByteCommandAltAzMount9>},
}};
// clang-format on

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
