// The simulators' mechanical errors: what SIDERA_SIM_MECHANICS takes, and
// that the readings of a centred star put the tube on it.
#include "sidera/sim/mechanics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "sidera/sim/alt_az_simulator.h"
#include "sidera/sim/equatorial_simulator.h"

namespace sidera {
namespace {

constexpr double kArcsecond = 3.141592653589793 / 648000.0;

TEST(SimMechanics, ParsesNamedTermsInArcseconds) {
  const struct {
    const char* text;
    bool ok;
    double collimation, tubeFlexure, periodic;
  } cases[] = {
      {"ch=60,tf=-30.5,pe=2", true, 60, -30.5, 2},
      {"", true, 0, 0, 0},
      {"ch=60,,tf=1", true, 60, 1, 0},
      {"ch=", false, 0, 0, 0},
      {"ch=6x", false, 0, 0, 0},
      {"xx=1", false, 0, 0, 0},
      {"ch60", false, 0, 0, 0},
      {"ch=nan", false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Mechanics m;
    ASSERT_EQ(ParseMechanics(c.text, m), c.ok);
    if (!c.ok) continue;
    EXPECT_NEAR(m.collimation, c.collimation * kArcsecond, 1e-15);
    EXPECT_NEAR(m.tubeFlexure, c.tubeFlexure * kArcsecond, 1e-15);
    EXPECT_NEAR(m.periodicError, c.periodic * kArcsecond, 1e-15);
  }
}

// Read when the mount is built; the readings of a centred star put the tube
// on the star, on either kind; without errors they are the nominal model's.
TEST(SimMechanics, CentredReadingsPutTheTubeOnTheStar) {
  for (const char* env : {"ih=600,id=-300,ch=180,np=-120,ma=240,me=-200,tf=150,daf=90,pe=3", ""}) {
    SCOPED_TRACE(env);
    ASSERT_EQ(setenv("SIDERA_SIM_MECHANICS", env, 1), 0);
    EquatorialSimulator eq;
    AltAzSimulator altaz;
    unsetenv("SIDERA_SIM_MECHANICS");
    EXPECT_EQ(eq.MechanicsNow().Any(), env[0] != '\0');
    (void)eq.SetSite(0.7, 0.0);
    (void)altaz.SetSite(0.7, 0.0);
    for (const SkyPoint sky : {SkyPoint{-1.0, 0.4}, SkyPoint{0.8, 0.2}, SkyPoint{0.1, 1.0}}) {
      for (TelescopeMount* m :
           {static_cast<TelescopeMount*>(&eq), static_cast<TelescopeMount*>(&altaz)}) {
        const AxisPair r = m == &eq ? eq.CentredReadings(sky) : altaz.CentredReadings(sky);
        const SkyPoint got =
            m == &eq ? eq.TruePointing(r.axis0, r.axis1) : altaz.TruePointing(r.axis0, r.axis1);
        EXPECT_NEAR(std::remainder(got.hourAngle - sky.hourAngle, 2 * 3.141592653589793), 0.0,
                    1e-9);
        EXPECT_NEAR(got.declination, sky.declination, 1e-9);
        SkyPoint p = sky;
        AxisPair nominal{};
        (void)m->SkyToAxes(p, nominal, 0);
        const double off =
            std::hypot(std::remainder(r.axis0 - nominal.axis0, 2 * 3.141592653589793),
                       r.axis1 - nominal.axis1);
        if (env[0] == '\0') {
          EXPECT_LT(off, 1e-9);
        } else {
          EXPECT_GT(off, 60 * kArcsecond);
        }
      }
    }
    eq.Shutdown();
    altaz.Shutdown();
  }
}

}  // namespace
}  // namespace sidera
