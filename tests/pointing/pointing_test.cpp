// After a sky goto the alt-azimuth tracking ends on the goto's target, not
// where the axes stopped (within the goto's tolerance, up to several
// arc-minutes away): on each family's emulator, unaligned and aligned. (The
// simulator's case is AGotoEndsOnItsTargetAndTrackingStaysThere, on a clock
// that test steps itself.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "platform/clock.h"
#include "sidera/include/sidera.h"
#include "tests/support/emulated_mount_test.h"
#include "tests/support/model_controller.h"

namespace sidera::testing {
namespace {

constexpr double kScale = 40.0;  // sky seconds per real second
constexpr double kArcSecond = kPi / 180.0 / 3600.0;

class GotoPointingTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(DestroyMount(), 0); }

  platform::ScaledTickSource clock_{kScale, 5000000};
  platform::ScopedTickSource scoped_{clock_};
};

// Sky seconds since `tick` on the library's clock.
double SkySince(uint32_t tick) { return static_cast<uint32_t>(platform::Now() - tick) / 1000.0; }

TEST_F(GotoPointingTest, TrackingEndsTheGotoOnItsTarget) {
  const struct {
    int model;
    bool aligned;
  } cases[] = {{0, true}, {5, false}, {9, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "model " << c.model << (c.aligned ? " aligned" : ""));
    ModelController controller;
    ASSERT_TRUE(controller.Start(c.model, kScale));
    SetComPort(4);  // any number: the pattern names one terminal
    ASSERT_EQ(CreateMount(c.model, Deg(40), 100.0), 0);
    if (c.aligned) {
      // Exact observations of two stars: the model stays nominal and the
      // tracking runs in its aligned mode.
      const auto observed = [](double ha, double dec) {
        AxisPair a{};
        EXPECT_EQ(SkyToAxes(SkyPoint{ha, dec}, &a), 0);
        return AlignStar{ha, dec, a.axis0, a.axis1};
      };
      ASSERT_EQ(AlignTwoStars(observed(Deg(-60), Deg(10)), observed(Deg(50), Deg(45))), 0);
    }
    // North-west, 19 degrees up and sinking: tracking turns the altitude
    // axis back from the goto's last direction.
    const double ha = Deg(110), dec = Deg(50);
    const uint32_t start = platform::Now();
    ASSERT_EQ(GotoSky(ha, dec), 0);
    // Watched without line traffic of the test's own.
    ASSERT_TRUE(WaitFor([] { return g_mount->mountState.load() == SIDERA_MOUNT_TRACKING; }));
    const uint32_t tracking = platform::Now();
    ASSERT_TRUE(WaitFor([&] { return SkySince(tracking) >= 40.0; }));
    EXPECT_LT(DistanceFromTarget(SkyPoint{ha, dec}, start), 30 * kArcSecond);
    ASSERT_EQ(DestroyMount(), 0);
  }
}

}  // namespace
}  // namespace sidera::testing
