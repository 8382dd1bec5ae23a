// The hosts' model facts are the drivers': every row of the model table
// (sidera_models.h), as the hosts read it, matches the library's catalogue
// row and the object its factory builds: kind, family, baud rate, goto
// tolerance and lead time from the constructor; the top slew rate and the
// home position from the connected mount on its family's controller. The
// connected mount reports its goto parameters through GetGotoParameters.
#include "host/model_facts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "sidera.h"
#include "sidera/api/globals.h"
#include "sidera/api/model_catalogue.h"
#include "sidera/core/telescope_mount.h"
#include "sidera/link/serial_link.h"
#include "tests/support/model_controller.h"

namespace sidera {
namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;

TEST(ModelFacts, EveryModelsFactsAreItsDriversOwn) {
  EXPECT_EQ(host::ModelCount(), static_cast<int>(kModelCount));
  EXPECT_EQ(host::FactsOf(-1), nullptr);
  EXPECT_EQ(host::FactsOf(host::ModelCount()), nullptr);
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
    EXPECT_EQ(mount->Identity().Equatorial(), facts->equatorial);
    EXPECT_NEAR(mount->GetGotoParameters().tolerance, facts->gotoToleranceDegrees * kDegree, 1e-12);
    EXPECT_NEAR(mount->GetGotoParameters().leadTime, facts->gotoLeadSeconds, 1e-12);
    const auto* link = dynamic_cast<const SerialLink*>(mount.get());
    EXPECT_EQ(link == nullptr, host::IsSimulator(*facts));
    EXPECT_EQ(link != nullptr ? link->baudRate : 0u, facts->baudRate);
    // A model sharing its class with another shares what the class decides.
    const host::ModelFacts& own = *host::FactsOf(row.reportedType);
    EXPECT_EQ(own.maxSlewDegreesPerSecond, facts->maxSlewDegreesPerSecond);
  }
}

// The fastest rate the connected driver moves an axis at: what it shows
// for a long goto, or, on the hex-command line whose controller picks its
// own goto speed, what it clamps a rate move to.
double TopRateDegreesPerSecond(const host::ModelFacts& facts) {
  if (facts.family == host::kHexCommand) {
    EXPECT_EQ(g_mount->SlewAxisAtRate(0, 100 * kDegree), kOk);
    const double rate = std::fabs(g_mount->Axes().Rate(0)) / kDegree;
    EXPECT_EQ(StopAxis(0), SIDERA_OK);
    return rate;
  }
  double axis = 0;
  EXPECT_EQ(GetAxisPosition(1, &axis), SIDERA_OK);
  EXPECT_EQ(GotoAxis(1, axis + 60 * kDegree), SIDERA_OK);
  double top = 0;
  for (int i = 0; i < 40; ++i) {
    top = std::max(top, std::fabs(g_mount->Axes().Rate(1)) / kDegree);
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_EQ(StopAxis(1), SIDERA_OK);
  return top;
}

TEST(ModelFacts, TheConnectedDriverSlewsAtTheTopRateAndHomesWhereTheTableSays) {
  for (const ModelRow& row : Models()) {
    if (row.reportedType != row.type) continue;  // its class is tested on its own row
    const host::ModelFacts& facts = *host::FactsOf(row.type);
    SCOPED_TRACE(row.type);
    testing::ModelController controller;
    ASSERT_TRUE(controller.Start(row.type, 1.0));
    SetComPort(4);  // any number: the pattern names the emulator's terminal
    ASSERT_EQ(CreateMount(row.type, 40 * kDegree, 100.0), SIDERA_OK);
    ASSERT_EQ(SyncHomePosition(), SIDERA_OK);
    AxisPair home{};
    ASSERT_EQ(GetAxisPositions(&home), SIDERA_OK);
    EXPECT_NEAR(home.axis0 / kDegree, facts.homeAxis0Degrees, 0.01);
    EXPECT_NEAR(home.axis1 / kDegree, facts.homeAxis1Degrees, 0.01);
    EXPECT_NEAR(TopRateDegreesPerSecond(facts), facts.maxSlewDegreesPerSecond, 1e-9);
    EXPECT_EQ(DestroyMount(), SIDERA_OK);
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
