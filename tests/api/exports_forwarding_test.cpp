// The exported mount operations: what they pass to the current mount, what
// they refuse before forwarding, and how they shape results.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "recording_mount.h"
#include "sidera/api/globals.h"
#include "sidera/core/angles.h"

namespace sidera::testing {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override { g_mount = &mount; }
  void TearDown() override { g_mount = nullptr; }
  RecordingMount mount;
};

using Args = std::vector<double>;

TEST_F(ExportsTest, OperationsForwardTheirArgumentsAndResults) {
  mount.results = {{"SetSite", 4},    {"StopAxis", 102},         {"SyncAxis", 102},
                   {"GotoAxes", 104}, {"ExtensionCommand", 300}, {"SyncHomePosition", 101}};
  EXPECT_EQ(::SetSite(0.5, 100.0), 4);
  EXPECT_EQ(::SetMountErrors(0.01, -0.02), 0);
  EXPECT_EQ(::StopAxis(1), 102);
  EXPECT_EQ(::SetAltitudeLimits(0.1, 1.2), 0);
  EXPECT_EQ(::SyncAxis(0, 4.0), 102);  // the mount reduces the angle itself
  EXPECT_EQ(::SetBacklash(1, 0.01), 0);
  EXPECT_EQ(::SetGuideRate(0, -1e-5), 0);
  EXPECT_EQ(::SetTracking(1), 0);
  EXPECT_EQ(::SetTrackingRateMode(2), 0);
  EXPECT_EQ(::ExtensionCommand(7), 300);
  EXPECT_EQ(::GotoAxes(5.0, -5.0), 104);  // not wrapped
  EXPECT_EQ(::GotoHorizontal(-3.0, 0.5), 0);
  EXPECT_EQ(::SyncHomePosition(), 101);
  const std::vector<Call> expected = {
      {"SetSite", {0.5, 100.0}},
      {"SetMountErrors", {0.01, -0.02}},
      {"StopAxis", {1}},
      {"SetAltitudeLimits", {0.1, 1.2}},
      {"SyncAxis", {0, 4.0}},
      {"SetBacklash", {1, 0.01}},
      {"SetGuideRate", {0, -1e-5}},
      {"SetTracking", {1}},
      {"SetTrackingRateMode", {2}},
      {"ExtensionCommand", {7}},
      {"GotoAxes", {5.0, -5.0}},
      {"GotoHorizontal", {-3.0, 0.5}},
      {"SyncHomePosition", {}},
  };
  ASSERT_EQ(mount.calls.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(mount.calls[i].name, expected[i].name);
    EXPECT_EQ(mount.calls[i].args, expected[i].args) << expected[i].name;
  }
}

TEST_F(ExportsTest, SkyAnglesAreReducedToAHalfTurnBeforeForwarding) {
  const double w = 7.0 - kTwoPi;  // 7 rad wraps to 7 - 2 pi
  EXPECT_EQ(::GotoSky(7.0, 0.5), 0);
  mount.results["CheckStars1"] = 5;
  mount.results["CheckStars2"] = 3;
  mount.results["CheckStars3"] = 1;
  EXPECT_EQ(::CheckStars1(SkyPoint{-7.0, 4.0}), 5);
  EXPECT_EQ(::CheckStars2(SkyPoint{7.0, 0.1}, SkyPoint{0.2, -7.0}, 9), 3);
  EXPECT_EQ(::CheckStars3(SkyPoint{7.0, 7.0}, SkyPoint{0.3, 0.4}, SkyPoint{-4.0, 1.0}), 1);
  ASSERT_EQ(mount.calls.size(), 4u);
  EXPECT_EQ(mount.calls[0].args, (Args{w, 0.5}));
  EXPECT_EQ(mount.calls[1].args, (Args{-w, 4.0 - kTwoPi}));
  EXPECT_EQ(mount.calls[2].args, (Args{w, 0.1, 0.2, -w, 9}));  // mode unchanged
  EXPECT_EQ(mount.calls[3].args, (Args{w, w, 0.3, 0.4, -4.0 + kTwoPi, 1.0}));
}

TEST_F(ExportsTest, NonFiniteArgumentsAreRefusedWithoutReachingTheMount) {
  const std::vector<std::pair<const char*, std::function<int()>>> cases = {
      {"SetSite lat", [] { return ::SetSite(kNaN, 0.0); }},
      {"SetSite elev", [] { return ::SetSite(0.5, kInf); }},
      {"SetMountErrors", [] { return ::SetMountErrors(0.0, -kInf); }},
      {"AlignOneStar",
       [] {
         return ::AlignOneStar(AlignStar{0, 0, kNaN, 0});
       }},
      {"AlignTwoStars",
       [] {
         return ::AlignTwoStars(AlignStar{}, AlignStar{0, kInf, 0, 0});
       }},
      {"AlignThreeStars",
       [] {
         return ::AlignThreeStars(AlignStar{}, AlignStar{}, AlignStar{0, 0, 0, kNaN});
       }},
      {"MoveAxis", [] { return ::MoveAxis(0, kNaN); }},
      {"MoveAxis inf", [] { return ::MoveAxis(1, kInf); }},
      {"GotoAxis", [] { return ::GotoAxis(0, kNaN); }},
      {"SetAltitudeLimits", [] { return ::SetAltitudeLimits(kNaN, 1.2); }},
      {"SyncAxis", [] { return ::SyncAxis(0, kInf); }},
      {"SetBacklash", [] { return ::SetBacklash(0, kNaN); }},
      {"SetGuideRate", [] { return ::SetGuideRate(1, kNaN); }},
      {"GotoSky", [] { return ::GotoSky(0.1, kNaN); }},
      {"GotoAxes", [] { return ::GotoAxes(kInf, 0.0); }},
      {"GotoHorizontal", [] { return ::GotoHorizontal(0.0, kNaN); }},
      {"SkyToAxes",
       [] {
         AxisPair out{};
         return ::SkyToAxes(SkyPoint{kNaN, 0}, &out);
       }},
      {"GotoSkyWithAxisOffset",
       [] {
         return ::GotoSkyWithAxisOffset(SkyPoint{0, 0}, 0.0, kNaN);
       }},
  };
  for (const auto& [name, call] : cases) {
    EXPECT_EQ(call(), 4) << name;
  }
  // A star set with a non-finite position rates as unusable.
  EXPECT_EQ(::CheckStars1(SkyPoint{kNaN, 0}), 0);
  EXPECT_EQ(::CheckStars2(SkyPoint{0, 0}, SkyPoint{0, kInf}, 0), 0);
  EXPECT_EQ(::CheckStars3(SkyPoint{0, 0}, SkyPoint{0, 0}, SkyPoint{-kInf, 0}), 0);
  EXPECT_TRUE(mount.calls.empty()) << mount.calls.front().name;
}

// Axis numbers index per-axis state; any number but 0 or 1 is refused before
// it reaches the mount. GotoAxis alone reads "not 0" as axis 1.
TEST_F(ExportsTest, AxisNumbersOtherThanZeroAndOneAreRefused) {
  double angle = 0.0;
  uint32_t state = 0;
  const std::vector<std::pair<const char*, std::function<int()>>> cases = {
      {"MoveAxis", [] { return ::MoveAxis(2, 0.001); }},
      {"StopAxis", [] { return ::StopAxis(-1); }},
      {"SyncAxis", [] { return ::SyncAxis(7, 0.1); }},
      {"SetBacklash", [] { return ::SetBacklash(2, 0.0); }},
      {"SetGuideRate", [] { return ::SetGuideRate(-5, 0.0); }},
      {"GetAxisPosition", [&] { return ::GetAxisPosition(2, &angle); }},
      {"GetAxisState", [&] { return ::GetAxisState(1000000, &state); }},
  };
  for (const auto& [name, call] : cases) {
    EXPECT_EQ(call(), 4) << name;
  }
  EXPECT_TRUE(mount.calls.empty()) << mount.calls.front().name;
  EXPECT_EQ(::GotoAxis(5, 0.25), 0);
  EXPECT_EQ(mount.calls.back().name, "GotoAxes");
  EXPECT_DOUBLE_EQ(mount.calls.back().args.at(1), 0.25);
}

TEST_F(ExportsTest, MoveAxisPassesTheRateInWholeSiderealMultiples) {
  struct Case {
    double rate;
    double factor;
  } cases[] = {
      {0.0, 0},
      {3.5 * kSiderealRate, 3},
      {-2.5 * kSiderealRate, -2},  // truncated toward zero
      {0.9 * kSiderealRate, 0},
      {800.0 * kSiderealRate, 800},
      {1e300, 2147483647.0},  // saturates instead of overflowing
      {-1e300, -2147483648.0},
  };
  for (const Case& c : cases) {
    mount.calls.clear();
    EXPECT_EQ(::MoveAxis(1, c.rate), 0);
    ASSERT_EQ(mount.calls.size(), 1u);
    EXPECT_EQ(mount.calls[0].args, (Args{1, c.rate, c.factor})) << c.rate;
  }
}

TEST_F(ExportsTest, GotoAxisKeepsTheOtherAxisWhereItIs) {
  mount.positions[0] = 0.1;
  mount.positions[1] = 0.2;
  struct Case {
    int axis;
    Args target;
  } cases[] = {{0, {1.0, 0.2}}, {1, {0.1, 1.0}}, {5, {0.1, 1.0}}, {-1, {0.1, 1.0}}};
  for (const Case& c : cases) {
    mount.calls.clear();
    EXPECT_EQ(::GotoAxis(c.axis, 1.0), 0);
    EXPECT_EQ(mount.Names(),
              (std::vector<std::string>{"GetAxisPosition0", "GetAxisPosition1", "GotoAxes"}));
    EXPECT_EQ(mount.calls.back().args, c.target) << c.axis;
  }
}

TEST_F(ExportsTest, PositionReadFailuresStopGotoAxisAndGetAxisPositions) {
  AxisPair pair{};
  mount.results["GetAxisPosition0"] = 100;
  EXPECT_EQ(::GotoAxis(1, 1.0), 100);
  EXPECT_EQ(::GetAxisPositions(&pair), 100);
  EXPECT_EQ(mount.Names(), (std::vector<std::string>{"GetAxisPosition0", "GetAxisPosition0"}));

  mount.calls.clear();
  mount.results = {{"GetAxisPosition1", 101}};
  mount.positions[0] = 0.7;
  mount.positions[1] = 0.8;
  EXPECT_EQ(::GotoAxis(0, 1.0), 101);
  EXPECT_EQ(::GetAxisPositions(&pair), 101);
  EXPECT_EQ(pair.axis0, 0.7);
  EXPECT_EQ(pair.axis1, 0.8);  // written whatever the code
  for (const Call& c : mount.calls) EXPECT_NE(c.name, "GotoAxes");
}

TEST_F(ExportsTest, ReadOutsRefuseNullPointersAndFillTheRecords) {
  EXPECT_EQ(::GetAxisPosition(0, nullptr), 4);
  EXPECT_EQ(::GetAxisPositions(nullptr), 4);
  EXPECT_EQ(::GetSkyPosition(nullptr), 4);
  EXPECT_EQ(::GetHorizontalPosition(nullptr), 4);
  EXPECT_EQ(::GetAxisState(0, nullptr), 4);
  EXPECT_EQ(::GetMountState(nullptr), 4);
  EXPECT_EQ(::SkyToAxes(SkyPoint{}, nullptr), 4);
  EXPECT_EQ(::SaveAlignment(nullptr), 4);
  EXPECT_EQ(::LoadAlignment(nullptr), 4);
  EXPECT_TRUE(mount.calls.empty());

  mount.positions[1] = -0.25;
  double angle = 0;
  SkyPoint sky{};
  HorizontalPoint horizontal{};
  uint32_t axisState = 0, mountState = 0;
  EXPECT_EQ(::GetAxisPosition(1, &angle), 0);
  EXPECT_EQ(::GetSkyPosition(&sky), 0);
  EXPECT_EQ(::GetHorizontalPosition(&horizontal), 0);
  EXPECT_EQ(::GetAxisState(1, &axisState), 0);
  EXPECT_EQ(::GetMountState(&mountState), 0);
  EXPECT_EQ(angle, -0.25);
  EXPECT_EQ(sky.hourAngle, 1.5);
  EXPECT_EQ(horizontal.altitude, 4.5);
  EXPECT_EQ(axisState, 9u);
  EXPECT_EQ(mountState, 8u);
}

TEST_F(ExportsTest, SkyToAxesAppliesMountErrorsAndReportsSuccess) {
  mount.results["SkyToAxes"] = 200;
  AxisPair out{};
  EXPECT_EQ(::SkyToAxes(SkyPoint{0.5, 0.25}, &out), 0);
  EXPECT_EQ(mount.calls.at(0).args, (Args{0.5, 0.25, 1}));
  EXPECT_EQ(out.axis0, 1.5);
  EXPECT_EQ(out.axis1, 2.25);
}

TEST_F(ExportsTest, GotoSkyWithAxisOffsetShiftsTheTargetInAxisAngles) {
  mount.results["GotoSky"] = 103;
  EXPECT_EQ(::GotoSkyWithAxisOffset(SkyPoint{0.5, 0.25}, 0.125, -0.5), 103);
  ASSERT_EQ(mount.Names(), (std::vector<std::string>{"SkyToAxes", "AxesToSky", "GotoSky"}));
  // (0.5, 0.25) -> axes (1.5, 2.25) -> shifted (1.625, 1.75) -> sky x10.
  EXPECT_EQ(mount.calls[1].args, (Args{1.625, 1.75, 1}));
  EXPECT_EQ(mount.calls[2].args, (Args{16.25, 17.5}));
}

TEST_F(ExportsTest, SetGotoParametersStoresFourFieldsOrIgnoresNonFiniteCalls) {
  ::SetGotoParameters(0.1, 0.2, 0.3, 0.4);
  EXPECT_EQ(mount.approachDistance.load(), 0.1);
  EXPECT_EQ(mount.approachOffset.load(), 0.2);
  EXPECT_EQ(mount.gotoTolerance.load(), 0.3);
  EXPECT_EQ(mount.gotoLeadTime.load(), 0.4);
  ::SetGotoParameters(1.0, 1.0, kNaN, 1.0);
  EXPECT_EQ(mount.approachDistance.load(), 0.1);
  EXPECT_EQ(mount.gotoLeadTime.load(), 0.4);
}

TEST_F(ExportsTest, AlignmentReadOutsSkipNullPointers) {
  mount.alignmentQuality = 4;
  mount.alignmentResidual = 0.002;
  mount.collimationError = 0.01;
  mount.nonPerpendicularityError = -0.03;
  EXPECT_EQ(::GetAlignmentQuality(nullptr), 4);
  double residual = 0, collimation = 0, nonPerpendicularity = 0;
  EXPECT_EQ(::GetAlignmentQuality(&residual), 4);
  EXPECT_EQ(residual, 0.002);
  EXPECT_EQ(::GetMountErrors(nullptr, nullptr), 0);
  EXPECT_EQ(::GetMountErrors(nullptr, &nonPerpendicularity), 0);
  EXPECT_EQ(nonPerpendicularity, -0.03);
  EXPECT_EQ(::GetMountErrors(&collimation, nullptr), 0);
  EXPECT_EQ(collimation, 0.01);
  mount.isEquatorial = 1;
  EXPECT_EQ(::IsEquatorialMount(), 1);
  mount.isEquatorial = 0;
  EXPECT_EQ(::IsEquatorialMount(), 0);
}

}  // namespace
}  // namespace sidera::testing
