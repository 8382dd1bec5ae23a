// The hand controller's routes on model 1 over its emulator: the pad's lease
// moves and stops the axis, Alpaca's MoveAxis takes none, and the page is
// refused what an Alpaca client would be.
#include "alpaca/control_routes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "alpaca/telescope.h"
#include "emulators/packet_bus/packet_bus_emulator.h"
#include "tests/alpaca/telescope_on_emulator.h"
#include "tests/support/wait_for.h"

namespace sidera::alpaca {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

using sidera::testing::WaitFor;

class ControlRoutesTest : public TelescopeOnEmulator {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartTelescope("control"));
    routes_ = std::make_unique<ControlRoutes>(*telescope_, 200ms);
  }
  void TearDown() override {
    routes_.reset();
    TelescopeOnEmulator::TearDown();
  }
  json Put(const char* command, const std::string& form = "") {
    const HttpReply reply =
        routes_->Put({"PUT", std::string("/control/") + command, "", form}, command);
    EXPECT_EQ(reply.status, 200) << reply.body;
    return json::parse(reply.body);
  }
  bool Moving(int axis) { return emu_->RateWireValue(axis) != 0; }

  std::unique_ptr<ControlRoutes> routes_;
};

TEST_F(ControlRoutesTest, PadLeaseMovesTheAxisUntilItLapsesAndMoveAxisTakesNone) {
  ASSERT_TRUE(Put("connect", "on=true")["ok"]);
  const json move = Put("move", "direction=w&speed=1");
  ASSERT_TRUE(move["ok"]) << move;
  EXPECT_TRUE(WaitFor([&] { return Moving(0); }, 5s));  // the library's move thread sends it
  for (int i = 0; i < 5; ++i) {                         // held over several terms
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(Put("renew", "lease=" + std::to_string(move["lease"].get<uint64_t>()))["ok"]);
  }
  EXPECT_TRUE(Moving(0));
  EXPECT_TRUE(WaitFor([&] { return !Moving(0); }, 5s)) << "the lapsed lease stops the axis";
  EXPECT_EQ(json::parse(routes_->StatusText())["pad"], 0);

  // An Alpaca client's move is its own: no lease ends it.
  telescope_->MoveAxis(1, 0.5);
  EXPECT_TRUE(WaitFor([&] { return Moving(1); }, 5s));
  std::this_thread::sleep_for(600ms);
  EXPECT_TRUE(Moving(1));
  // Stop-everything stops it, and any pad move with it.
  (void)Put("move", "direction=e&speed=2");
  ASSERT_TRUE(Put("stop")["ok"]);
  EXPECT_FALSE(Moving(0));
  EXPECT_TRUE(WaitFor([&] { return !Moving(1); }, 5s));
}

TEST_F(ControlRoutesTest, RefusedWhatAnAlpacaClientIsRefused) {
  struct Case {
    const char* command;
    std::string form;
    const char* because;  // a word of the refusal
  };
  for (const Case& c : {Case{"move", "direction=w&speed=1", "not connected"},
                        // Straight down: the mount's state is told before the sky's.
                        Case{"goto", "ra=0&dec=-89", "not connected"}}) {
    const json answer = Put(c.command, c.form);
    EXPECT_FALSE(answer["ok"]) << c.command;
    EXPECT_NE(answer["message"].get<std::string>().find(c.because), std::string::npos) << answer;
  }
  ASSERT_TRUE(Put("connect", "on=true")["ok"]);
  const json misspelt = Put("goto", "name=Betelgeuze");
  EXPECT_EQ(misspelt["suggestions"][0], "Betelgeuse") << misspelt;
  const json sun = Put("goto", "name=Sun");
  EXPECT_FALSE(sun["ok"]);
  // Straight down is below the horizon whatever the time.
  const json nadir = Put("goto", "ra=0&dec=-89");
  EXPECT_NE(nadir["message"].get<std::string>().find("below the horizon"), std::string::npos)
      << nadir;
  EXPECT_NE(Put("goto", "name=Polaris")["message"].get<std::string>().find("tracking"),
            std::string::npos);
  ASSERT_TRUE(Put("park")["ok"]);
  // A reading of the mount sees the park end (the page's status asks for them).
  ASSERT_TRUE(WaitFor(
      [&] {
        (void)routes_->StatusText();
        return telescope_->AtPark();
      },
      60s));
  for (const Case& c :
       {Case{"move", "direction=w&speed=1", "parked"}, Case{"tracking", "on=true", "parked"},
        Case{"align", "name=Vega", "parked"}, Case{"goto", "ra=0&dec=-89", "parked"}}) {
    const json answer = Put(c.command, c.form);
    EXPECT_FALSE(answer["ok"]) << c.command;
    EXPECT_NE(answer["message"].get<std::string>().find(c.because), std::string::npos) << answer;
  }
  EXPECT_EQ(routes_->Lease().Held(), 0);
  ASSERT_TRUE(Put("unpark")["ok"]);
  EXPECT_TRUE(Put("tracking", "on=true")["ok"]);
}

// North raises the declination on either side of the pier (the declination
// axis runs the other way beyond the pole), and west raises the hour angle.
TEST_F(ControlRoutesTest, PadDirectionsFollowTheSkyOnBothSidesOfThePier) {
  ASSERT_TRUE(Put("connect", "on=true")["ok"]);
  ASSERT_TRUE(Put("tracking", "on=true")["ok"]);
  auto sky = [&] {
    std::this_thread::sleep_for(2 * host::kSnapshotInterval);  // a reading after the motion
    return telescope_->Read().sky;
  };
  auto press = [&](const char* direction) {
    const json move = Put("move", std::string("direction=") + direction + "&speed=2");
    ASSERT_TRUE(move["ok"]) << move;
    std::this_thread::sleep_for(400ms);
    ASSERT_TRUE(Put("release", "lease=" + std::to_string(move["lease"].get<uint64_t>()))["ok"]);
  };
  for (const double hours : {-2.0, 2.0}) {  // east, then west of the meridian
    const double lst = telescope_->LocalSiderealTime(telescope_->UtcNow()) * 12 / 3.141592653589793;
    const double ra = std::fmod(lst - hours + 24.0, 24.0);
    ASSERT_TRUE(Put("goto", "ra=" + std::to_string(ra) + "&dec=20")["ok"]);
    ASSERT_TRUE(
        WaitFor([&] { return json::parse(routes_->StatusText())["lastGoto"] == "arrived"; }, 60s));
    const SkyPoint before = sky();
    press("n");
    const SkyPoint north = sky();
    EXPECT_GT(north.declination, before.declination + 1e-3) << "hour angle " << hours << " h";
    press("w");
    EXPECT_GT(sky().hourAngle, north.hourAngle + 1e-3) << "hour angle " << hours << " h";
  }
}

// Stars added from the page are points of the same model as the Alpaca
// syncs': each goto's star, centred, is added and listed with its residual.
TEST_F(ControlRoutesTest, AlignAddsTheCentredStarsToTheSyncPoints) {
  ASSERT_TRUE(Put("connect", "on=true")["ok"]);
  ASSERT_TRUE(Put("tracking", "on=true")["ok"]);
  std::vector<std::string> stars;  // one well up now, and Polaris, always up here
  for (const char* name : {"Vega", "Arcturus", "Capella", "Deneb", "Sirius", "Spica", "Regulus",
                           "Aldebaran", "Procyon", "Antares", "Fomalhaut", "Altair"}) {
    const HttpReply r =
        routes_->Get({"GET", "/control/where", std::string("name=") + name, ""}, "where");
    // Within the mount's altitude limits with room to spare.
    const double altitude = json::parse(r.body)["altitude"].get<double>();
    if (altitude > 25 && altitude < 75) {
      stars.push_back(name);
      break;
    }
  }
  ASSERT_EQ(stars.size(), 1u);
  stars.push_back("Polaris");
  for (size_t i = 0; i < stars.size(); ++i) {
    const json sent = Put("goto", "name=" + stars[i]);
    ASSERT_TRUE(sent["ok"]) << stars[i] << ": " << sent;
    ASSERT_TRUE(
        WaitFor([&] { return json::parse(routes_->StatusText())["lastGoto"] == "arrived"; }, 60s));
    const json added = Put("align", "name=" + stars[i]);
    ASSERT_TRUE(added["ok"]) << added;
    ASSERT_EQ(added["stars"].size(), i + 1) << added;
    EXPECT_EQ(added["stars"][i]["name"], stars[i]);
    EXPECT_LT(added["stars"][i]["arcsec"].get<double>(), 60.0) << added;
  }
  EXPECT_EQ(telescope_->SyncPoints().points.size(), 2u);
  ASSERT_TRUE(Put("align-clear")["ok"]);
  EXPECT_TRUE(telescope_->SyncPoints().points.empty());
}

}  // namespace
}  // namespace sidera::alpaca
