// The catalogue of mount models, made from the table in sidera_models.h:
// one row per model number with its kind, driver family, the number its
// objects report, its display names and the class the factory builds. A model is named and built
// from the same row.
#pragma once

#include <cstddef>
#include <span>

#include "sidera/core/mount_settings.h"
#include "sidera/core/types.h"
#include "sidera/include/sidera_models.h"

namespace sidera {

class TelescopeMount;
struct PortAddress;

enum class MountKind { kAltAzimuth, kEquatorial };

// How a model reaches its controller: one of the three serial protocol
// families, or none at all for the simulators.
enum class DriverFamily { kSimulator = 0, kPacketBus = 1, kByteCommand = 2, kHexCommand = 3 };

struct ModelRow {
  MountType type;
  MountKind kind;
  DriverFamily family;
  // The mountType the built object reports. Several numbers share a class,
  // whose constructor records the number of the class's own row.
  MountType reportedType;
  const char16_t* english;
  const char16_t* simplified;
  const char16_t* traditional;
  // Constructs the model's class on the serial port `port` (the simulators
  // have none) with `settings`, not yet connected; null while the class is
  // not part of this build.
  TelescopeMount* (*build)(const PortAddress& port, const MountSettings& settings);
};

// The rows of sidera_models.h.
#define SIDERA_COUNT_MODEL(...) +1
inline constexpr size_t kModelCount = 0 SIDERA_MODELS(SIDERA_COUNT_MODEL);
#undef SIDERA_COUNT_MODEL

// Every row, indexed by model number.
std::span<const ModelRow, kModelCount> Models();

// The row of model `type`, or null outside 0..kModelCount - 1 (compared as unsigned, so
// a negative type counts as too large).
const ModelRow* FindModel(int type);

}  // namespace sidera
