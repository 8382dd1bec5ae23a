// The hosts' model facts are the drivers': each model's kind, family, goto
// tolerance and lead time in host/model_facts match the library's catalogue
// row and the object its factory builds, and the connected mount reports its
// goto parameters through GetGotoParameters.
#include "host/model_facts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "sidera.h"
#include "sidera/api/model_catalogue.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/link/serial_link.h"

namespace sidera {
namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;

TEST(ModelFacts, EveryModelsFactsAreItsDriversOwn) {
  EXPECT_EQ(host::ModelCount(), static_cast<int>(kModelCount));
  for (const ModelRow& row : Models()) {
    const host::ModelFacts* facts = host::FactsOf(row.type);
    ASSERT_NE(facts, nullptr) << "model " << row.type << " has no host facts";
    SCOPED_TRACE(row.type);
    EXPECT_EQ(facts->type, row.type);
    EXPECT_EQ(facts->equatorial, row.kind == MountKind::kEquatorial);
    EXPECT_EQ(static_cast<int>(facts->family), static_cast<int>(row.family));
    ASSERT_NE(row.build, nullptr);
    // Built on a port it never opens: the constructor sets the figures.
    std::unique_ptr<TelescopeMount> mount(row.build(PortAddress{}, MountSettings{}));
    ASSERT_NE(mount, nullptr);
    EXPECT_EQ(mount->isEquatorial, facts->equatorial);
    EXPECT_NEAR(mount->GetGotoParameters().tolerance, facts->gotoToleranceDegrees * kDegree, 1e-12);
    EXPECT_NEAR(mount->GetGotoParameters().leadTime, facts->gotoLeadSeconds, 1e-12);
  }
}

TEST(ModelFacts, TheConnectedMountReportsItsGotoParameters) {
  double tolerance = 0, lead = 0;
  EXPECT_EQ(GetGotoParameters(nullptr, nullptr, &tolerance, &lead), SIDERA_NO_MOUNT);
  for (const int model : {6, 7}) {
    ASSERT_EQ(CreateMount(model, 0.6, 100.0), SIDERA_OK);
    ASSERT_EQ(GetGotoParameters(nullptr, nullptr, &tolerance, &lead), SIDERA_OK);
    EXPECT_NEAR(tolerance, host::FactsOf(model)->gotoToleranceDegrees * kDegree, 1e-12);
    EXPECT_NEAR(lead, host::FactsOf(model)->gotoLeadSeconds, 1e-12);
    SetGotoParameters(0.1, 0.2, 0.3, 4.0);
    double distance = 0, offset = 0;
    ASSERT_EQ(GetGotoParameters(&distance, &offset, &tolerance, &lead), SIDERA_OK);
    EXPECT_EQ(distance, 0.1);
    EXPECT_EQ(offset, 0.2);
    EXPECT_EQ(tolerance, 0.3);
    EXPECT_EQ(lead, 4.0);
    EXPECT_EQ(DestroyMount(), SIDERA_OK);
  }
}

}  // namespace
}  // namespace sidera
