// The rules the exported mount operations add on the way to the current
// mount: what they refuse before passing on, how they reshape arguments and
// results; choosing the serial port (numbered or Bluetooth). Creating,
// reusing and deleting the mount are seen through the API by the host
// session test (mounts) and the catalogue test. That each export reaches the mount method of
// its name is seen end to end by the C host test and the family suites.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>

#include "platform/bluetooth.h"
#include "sidera/api/globals.h"
#include "sidera/core/angles.h"
#include "sidera/core/telescope_mount.h"
#include "tests/support/model_edit.h"

namespace sidera::testing {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::ElementsAre;
using ::testing::Return;
using ::testing::SetArgReferee;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A mock of the mount the exported operations forward to. The fixtures use
// it strictly, so any forwarding a test does not expect fails the test
// (the methods no refused argument could reach are left unmocked).
class MockMount : public TelescopeMount {
 public:
  using TelescopeMount::DeclareModel;
  MOCK_METHOD(int, SkyToAxes, (SkyPoint&, AxisPair&, int), (override));
  MOCK_METHOD(int, AxesToSky, (AxisPair&, SkyPoint&, int), (override));
  MOCK_METHOD(MountResult, SetSite, (double, double), (override));
  MOCK_METHOD(MountResult, SetMountErrors, (double, double), (override));
  MOCK_METHOD(int, CheckStars1, (SkyPoint), (override));
  MOCK_METHOD(int, CheckStars2, (SkyPoint, SkyPoint, int), (override));
  MOCK_METHOD(int, CheckStars3, (SkyPoint, SkyPoint, SkyPoint), (override));
  MOCK_METHOD(MountResult, AlignOneStar, (AlignStar), (override));
  MOCK_METHOD(MountResult, AlignTwoStars, (AlignStar, AlignStar), (override));
  MOCK_METHOD(MountResult, AlignThreeStars, (AlignStar, AlignStar, AlignStar), (override));
  MOCK_METHOD(int, SaveAlignment, (AlignmentRecord*), (override));
  MOCK_METHOD(MountResult, LoadAlignment, (const AlignmentRecord*), (override));
  MOCK_METHOD(MountResult, MoveAxis, (int, double, int), (override));
  MOCK_METHOD(MountResult, StopAxis, (int), (override));
  MOCK_METHOD(MountResult, GotoSky, (SkyPoint), (override));
  MOCK_METHOD(MountResult, GotoHorizontal, (double, double), (override));
  MOCK_METHOD(MountResult, GotoAxes, (double, double), (override));
  MOCK_METHOD(MountResult, SyncAxis, (int, double), (override));
  MOCK_METHOD(MountResult, SetAltitudeLimits, (double, double), (override));
  MOCK_METHOD(MountResult, SetBacklash, (int, double), (override));
  MOCK_METHOD(MountResult, SetGuideRate, (int, double), (override));
  MOCK_METHOD(MountResult, GetAxisPosition, (int, double*), (override));
  MOCK_METHOD(MountResult, GetSkyPosition, (SkyPoint*), (override));
  MOCK_METHOD(MountResult, GetHorizontalPosition, (HorizontalPoint*), (override));
  MOCK_METHOD(MountResult, GetAxisState, (int, uint32_t*), (override));
  MOCK_METHOD(MountResult, GetMountState, (uint32_t*), (override));
};

// Match a SkyPoint / AxisPair with exactly these coordinates.
MATCHER_P2(Sky, hourAngle, declination, "") {
  return arg.hourAngle == hourAngle && arg.declination == declination;
}
MATCHER_P2(Axes, axis0, axis1, "") { return arg.axis0 == axis0 && arg.axis1 == axis1; }

class ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override { g_mount = &mount; }
  void TearDown() override { g_mount = nullptr; }
  // The mount reports these axis positions, failing with `fail0`/`fail1`.
  void ReportPositions(double axis0, double axis1, int fail0 = 0, int fail1 = 0) {
    EXPECT_CALL(mount, GetAxisPosition(_, _)).WillRepeatedly([=](int axis, double* out) {
      *out = axis == 0 ? axis0 : axis1;
      return axis == 0 ? fail0 : fail1;
    });
  }
  ::testing::StrictMock<MockMount> mount;
};

// Sky angles are reduced to a half turn either side of zero on the way to
// the mount; axis angles are not.
TEST_F(ExportsTest, SkyAnglesAreWrappedAndAxisAnglesPassedAsGiven) {
  const double w = 7.0 - kTwoPi;  // 7 rad wraps to 7 - 2 pi
  EXPECT_CALL(mount, GotoSky(Sky(w, 0.5))).WillOnce(Return(6));
  EXPECT_CALL(mount, CheckStars1(Sky(-w, 4.0 - kTwoPi))).WillOnce(Return(5));
  EXPECT_CALL(mount, CheckStars2(Sky(w, 0.1), Sky(0.2, -w), 9)).WillOnce(Return(3));
  EXPECT_CALL(mount, CheckStars3(Sky(w, w), Sky(0.3, 0.4), Sky(-4.0 + kTwoPi, 1.0)))
      .WillOnce(Return(1));
  EXPECT_CALL(mount, GotoAxes(5.0, -5.0)).WillOnce(Return(2));
  EXPECT_CALL(mount, SyncAxis(0, 4.0)).WillOnce(Return(104));
  const int results[] = {::GotoSky(7.0, 0.5),
                         ::CheckStars1(SkyPoint{-7.0, 4.0}),
                         ::CheckStars2(SkyPoint{7.0, 0.1}, SkyPoint{0.2, -7.0}, 9),
                         ::CheckStars3(SkyPoint{7.0, 7.0}, SkyPoint{0.3, 0.4}, SkyPoint{-4.0, 1.0}),
                         ::GotoAxes(5.0, -5.0),
                         ::SyncAxis(0, 4.0)};
  EXPECT_THAT(results, ElementsAre(6, 5, 3, 1, 2, 104));
}

// NaN and infinity, axis numbers other than 0 and 1 (they index per-axis
// state) and null output pointers are refused with 4 and never reach the
// mount (which is strict: any call fails the test).
TEST_F(ExportsTest, NonFiniteArgumentsUnknownAxesAndNullOutputsAreRefused) {
  double angle = 0.0;
  uint32_t state = 0;
  AxisPair out{};
  const AlignStar bad1{0, 0, kNaN, 0}, bad2{0, kInf, 0, 0}, bad3{0, 0, 0, kNaN}, good{};
  const int results[] = {
      ::SetSite(kNaN, 0.0), ::SetSite(0.5, kInf), ::SetMountErrors(0.0, -kInf),
      ::AlignOneStar(bad1), ::AlignTwoStars(good, bad2), ::AlignThreeStars(good, good, bad3),
      ::MoveAxis(0, kNaN), ::MoveAxis(1, kInf), ::GotoAxis(0, kNaN), ::SetAltitudeLimits(kNaN, 1.2),
      ::SyncAxis(0, kInf), ::SetBacklash(0, kNaN), ::SetGuideRate(1, kNaN), ::GotoSky(0.1, kNaN),
      ::GotoAxes(kInf, 0.0), ::GotoHorizontal(0.0, kNaN), ::SkyToAxes(SkyPoint{kNaN, 0}, &out),
      ::GotoSkyWithAxisOffset(SkyPoint{}, 0.0, kNaN),
      // Axes.
      ::MoveAxis(2, 0.001), ::StopAxis(-1), ::SyncAxis(7, 0.1), ::SetBacklash(2, 0.0),
      ::SetGuideRate(-5, 0.0), ::GetAxisPosition(2, &angle), ::GetAxisState(1000000, &state),
      // Null outputs.
      ::GetAxisPosition(0, nullptr), ::GetAxisPositions(nullptr), ::GetSkyPosition(nullptr),
      ::GetHorizontalPosition(nullptr), ::GetAxisState(0, nullptr), ::GetMountState(nullptr),
      ::SkyToAxes(SkyPoint{}, nullptr), ::SaveAlignment(nullptr), ::LoadAlignment(nullptr)};
  for (size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i], 4) << "case " << i;
  // A star set with a non-finite position rates as unusable.
  EXPECT_EQ(::CheckStars1(SkyPoint{kNaN, 0}), 0);
  EXPECT_EQ(::CheckStars2(SkyPoint{0, 0}, SkyPoint{0, kInf}, 0), 0);
  EXPECT_EQ(::CheckStars3(SkyPoint{0, 0}, SkyPoint{0, 0}, SkyPoint{-kInf, 0}), 0);
  // Goto parameters are taken all four or not at all.
  ::SetGotoParameters(0.1, 0.2, 0.3, 0.4);
  ::SetGotoParameters(1.0, 1.0, kNaN, 1.0);
  const GotoParameters p = mount.GetGotoParameters();
  EXPECT_EQ(p.approachDistance, 0.1);
  EXPECT_EQ(p.approachOffset, 0.2);
  EXPECT_EQ(p.tolerance, 0.3);
  EXPECT_EQ(p.leadTime, 0.4);
  // A non-finite site is not passed on to a mount of the same model.
  mount.DeclareModel(7);
  EXPECT_EQ(::CreateMount(7, kNaN, 0.0), 0);
  // The alignment read-outs skip null pointers instead.
  sidera::EditModel(mount, [](sidera::PointingValues& m) { m.quality = 4; });
  EXPECT_EQ(::GetAlignmentQuality(nullptr), 4);
  EXPECT_EQ(::GetMountErrors(nullptr, nullptr), 0);
}

// The factor is truncated toward zero and saturates instead of overflowing.
TEST_F(ExportsTest, MoveAxisPassesTheRateInWholeSiderealMultiples) {
  constexpr double s = kSiderealRate;
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  const struct {
    double rate;
    int factor;
  } cases[] = {{0.0, 0},         {3.5 * s, 3},  {-2.5 * s, -2}, {0.9 * s, 0},
               {800.0 * s, 800}, {1e300, kMax}, {-1e300, kMin}};
  for (const auto& c : cases) {
    EXPECT_CALL(mount, MoveAxis(1, c.rate, c.factor)).WillOnce(Return(0));
    EXPECT_EQ(::MoveAxis(1, c.rate), 0) << c.rate;
  }
}

// GotoAxis reads "not 0" as axis 1 and keeps the other axis where it is; a
// failed position read ends it, and GetAxisPositions, with that code.
TEST_F(ExportsTest, GotoAxisKeepsTheOtherAxisAndStopsOnAFailedRead) {
  ReportPositions(0.1, 0.2);
  const struct {
    int axis;
    double target0, target1;
  } cases[] = {{0, 1.0, 0.2}, {1, 0.1, 1.0}, {5, 0.1, 1.0}, {-1, 0.1, 1.0}};
  for (const auto& c : cases) {
    EXPECT_CALL(mount, GotoAxes(c.target0, c.target1)).WillOnce(Return(0));
    EXPECT_EQ(::GotoAxis(c.axis, 1.0), 0) << c.axis;
  }
  ::testing::Mock::VerifyAndClearExpectations(&mount);
  // Axis 0 fails: axis 1 is never asked (the strict mock would object).
  AxisPair pair{};
  EXPECT_CALL(mount, GetAxisPosition(0, _)).WillRepeatedly(Return(100));
  EXPECT_EQ(::GotoAxis(1, 1.0), 100);
  EXPECT_EQ(::GetAxisPositions(&pair), 100);
  ::testing::Mock::VerifyAndClearExpectations(&mount);
  // Axis 1 fails: no goto, but both positions are written.
  ReportPositions(0.7, 0.8, 0, 101);
  EXPECT_EQ(::GotoAxis(0, 1.0), 101);
  EXPECT_EQ(::GetAxisPositions(&pair), 101);
  EXPECT_EQ(pair.axis0, 0.7);
  EXPECT_EQ(pair.axis1, 0.8);
}

// SkyToAxes applies the mount errors and reports success whatever the
// conversion answers; the offset goto shifts the target in axis angles.
TEST_F(ExportsTest, SkyToAxesAndTheOffsetGotoConvertThroughTheMount) {
  EXPECT_CALL(mount, SkyToAxes(Sky(0.5, 0.25), _, 1))
      .WillOnce(DoAll(SetArgReferee<1>(AxisPair{1.5, 2.25}), Return(200)))
      .WillOnce(DoAll(SetArgReferee<1>(AxisPair{1.5, 2.25}), Return(0)));
  AxisPair out{};
  EXPECT_EQ(::SkyToAxes(SkyPoint{0.5, 0.25}, &out), 0);
  EXPECT_EQ(out.axis0, 1.5);
  EXPECT_EQ(out.axis1, 2.25);
  EXPECT_CALL(mount, AxesToSky(Axes(1.625, 1.75), _, 1))
      .WillOnce(DoAll(SetArgReferee<1>(SkyPoint{0.75, 1.25}), Return(0)));
  EXPECT_CALL(mount, GotoSky(Sky(0.75, 1.25))).WillOnce(Return(103));
  EXPECT_EQ(::GotoSkyWithAxisOffset(SkyPoint{0.5, 0.25}, 0.125, -0.5), 103);
}

// Every test leaves the default port behind.
class PortTest : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::SetBluetoothRegistrar(nullptr);
    g_comPortNumber = 2;
    g_comPortIsBluetooth = 0;
  }
};

TEST_F(PortTest, SetComPortAcceptsPortsZeroTo255AndIgnoresOthers) {
  const struct {
    int port, expected;
  } cases[] = {{0, 0}, {255, 255}, {256, 255}, {-1, 255}, {7, 7}, {1 << 30, 7}};
  for (const auto& c : cases) {
    g_comPortIsBluetooth = 1;
    ::SetComPort(c.port);
    EXPECT_EQ(g_comPortNumber.load(), c.expected) << c.port;
    // Only an accepted number switches back from a Bluetooth port.
    EXPECT_EQ(g_comPortIsBluetooth.load(), c.port == c.expected ? 0 : 1) << c.port;
  }
}

// Registers and opens ports as told per index, logging every call.
class FakeRegistrar : public platform::BluetoothRegistrar {
 public:
  bool registerOk[10] = {}, openOk[10] = {};
  std::string log;
  uint64_t address = 0;
  uint8_t channel = 0;
  void Note(char what, uint32_t number) {
    log += what;
    log += std::to_string(number);
    log += ' ';
  }
  bool Register(int index, uint64_t a, uint8_t c, uint32_t* handle) override {
    Note('r', index);
    address = a, channel = c;
    if (registerOk[index]) *handle = 1000u + static_cast<uint32_t>(index);
    return registerOk[index];
  }
  void Deregister(uint32_t handle) override { Note('d', handle); }
  bool TestOpen(int index) override {
    Note('o', index);
    return openOk[index];
  }
};

TEST_F(PortTest, BluetoothTriesPortsInOrderAndUndoesRegistrationsThatCannotOpen) {
  FakeRegistrar registrar;
  platform::SetBluetoothRegistrar(&registrar);
  // Every port registers but none opens: -1, and the port and handle stay.
  for (bool& ok : registrar.registerOk) ok = true;
  uint32_t handle = 77;
  EXPECT_EQ(::RegisterBluetoothPort(1, 1, &handle), -1);
  EXPECT_EQ(handle, 77u);
  EXPECT_EQ(g_comPortNumber.load(), 2);
  EXPECT_EQ(g_comPortIsBluetooth.load(), 0);
  FakeRegistrar expected;
  for (uint32_t i = 0; i < 10; ++i)
    expected.Note('r', i), expected.Note('o', i), expected.Note('d', 1000 + i);
  EXPECT_EQ(registrar.log, expected.log);

  registrar.log.clear();
  for (bool& ok : registrar.registerOk) ok = false;
  registrar.registerOk[1] = registrar.registerOk[2] = registrar.registerOk[3] = true;
  registrar.openOk[3] = true;
  EXPECT_EQ(::RegisterBluetoothPort(0x0011223344556677ull, 0x1203, &handle), 3);
  EXPECT_EQ(registrar.log, "r0 r1 o1 d1001 r2 o2 d1002 r3 o3 ");
  EXPECT_EQ(registrar.address, 0x0011223344556677ull);
  EXPECT_EQ(registrar.channel, 0x03);  // only the low 8 bits of the channel
  EXPECT_EQ(handle, 1003u);
  EXPECT_EQ(g_comPortNumber.load(), 3);
  EXPECT_EQ(g_comPortIsBluetooth.load(), 1);
  EXPECT_EQ(::RegisterBluetoothPort(1, 1, nullptr), 3);  // a null handle pointer is skipped
}

}  // namespace
}  // namespace sidera::testing
