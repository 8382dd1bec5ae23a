// Every model of the catalogue, row by row: what the factory builds for it
// and how CreateMount treats it. The exact name strings, and the answers to
// numbers outside the catalogue, are checked by the C host test (api_c).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "sidera/api/factory.h"
#include "sidera/api/globals.h"
#include "sidera/api/model_catalogue.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/link/serial_link.h"

namespace sidera {
namespace {

// Hardware classes open their port when built; there is none to open here.
[[maybe_unused]] const int kNoDevice =
    setenv("SIDERA_SERIAL_PATTERN", "/nonexistent/sidera-catalogue-%d", 1);

// The line speed of each hardware family, which only that family's base
// class sets.
uint32_t FamilyBaudRate(DriverFamily family) {
  return family == DriverFamily::kPacketBus     ? 19200
         : family == DriverFamily::kByteCommand ? 4800
                                                : 9600;
}

TEST(ModelCatalogue, EachRowBuildsItsKindAndFamilyAndReportsItsNumber) {
  for (const ModelRow& row : Models()) {
    SCOPED_TRACE(row.type);
    ASSERT_EQ(FindModel(row.type), &row);
    std::unique_ptr<TelescopeMount> mount(CreateModel(row.type));
    if (row.build == nullptr) {
      EXPECT_EQ(mount, nullptr);
      continue;
    }
    ASSERT_NE(mount, nullptr);
    EXPECT_EQ(mount->Identity().Type(), row.reportedType);
    EXPECT_EQ(mount->Identity().Equatorial(), row.kind == MountKind::kEquatorial);
    auto* link = dynamic_cast<SerialLink*>(mount.get());
    EXPECT_EQ(link != nullptr, row.family != DriverFamily::kSimulator);
    if (link != nullptr) {
      EXPECT_EQ(link->baudRate, FamilyBaudRate(row.family));
    }
    mount->Shutdown();
  }
}

// A second CreateMount is compared with the number the object reports, so
// the numbers that share another model's class count as a different model.
// A model without a class in this build is refused with "not implemented"
// and leaves no mount behind.
TEST(ModelCatalogue, CreateMountAgainTakesTheSiteOnlyForTheReportedNumber) {
  for (const ModelRow& row : Models()) {
    SCOPED_TRACE(row.type);
    if (row.build == nullptr) {
      EXPECT_EQ(::CreateMount(row.type, 0.5, 0.0), kNotImplemented);
      EXPECT_EQ(g_mount, nullptr);
      continue;
    }
    // Installed directly: a hardware model could not connect without a device.
    g_mount = CreateModel(row.type);
    ASSERT_NE(g_mount, nullptr);
    const int expected = row.reportedType == row.type ? kOk : kAlreadyConnected;
    EXPECT_EQ(::CreateMount(row.type, 0.5, 0.0), expected);
    EXPECT_EQ(::CreateMount(row.reportedType, 0.5, 0.0), kOk);
    EXPECT_EQ(::DestroyMount(), kOk);
  }
}

}  // namespace
}  // namespace sidera
