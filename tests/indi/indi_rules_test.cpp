// The driver's rules without a server: coordinates, time, rates, guide plans,
// alignment bookkeeping, goto judgement, text conversions and the worker.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "indi/alignment_book.h"
#include "indi/goto_report.h"
#include "indi/library_text.h"
#include "indi/library_worker.h"
#include "indi/motion_rates.h"
#include "indi/sky_coordinates.h"

namespace sidera::indi {
namespace {

constexpr double kOmega = kSiderealRate;

// Hour angles, right ascensions and azimuths are checked through the INDI
// server against places the test computes itself; arrival checks also need
// arc-second separations to stay exact.
TEST(SkyCoordinates, SeparationsStayExactAtArcSeconds) {
  EXPECT_NEAR(Separation(0.0, 0.0, 1e-7, 0.0), 1e-7, 1e-16);
  EXPECT_NEAR(
      Separation(0.0, 1.0, 2.0, 1.0),
      std::acos(std::sin(1.0) * std::sin(1.0) + std::cos(1.0) * std::cos(1.0) * std::cos(2.0)),
      1e-12);
}

// What the client is told is checked through the INDI server.
TEST(SkyCoordinates, TargetsOutsideTheSkyAreRefused) {
  const struct {
    double ra, dec;
    bool ok;
  } cases[] = {{0, -90, true},      {24, 90, true},   {12.5, 41.2, true},
               {25, 0, false},      {-0.1, 0, false}, {12, 100, false},
               {12, -90.01, false}, {NAN, 0, false},  {1, NAN, false}};
  for (const auto& c : cases) {
    const std::string problem = TargetProblem(c.ra, c.dec);
    EXPECT_EQ(problem.empty(), c.ok) << c.ra << " " << c.dec << ": " << problem;
  }
}

TEST(SkyCoordinates, PierSideFollowsTheDeclinationAxisAndHemisphere) {
  const struct {
    double axis1, latitude;
    PierSide side;
  } cases[] = {{0.3, 0.6, PierSide::West},
               {kPi - 0.3, 0.6, PierSide::East},
               {-3.0, 0.6, PierSide::East},
               {0.3, -0.6, PierSide::East},
               {kPi - 0.3, -0.6, PierSide::West}};
  for (const auto& c : cases) EXPECT_EQ(PierSideOf(c.axis1, c.latitude), c.side) << c.axis1;
}

TEST(MotionRates, DirectionButtonsPickAxisAndSign) {
  const MountGeometry north{true, false, false}, northFar{true, false, true};
  const MountGeometry south{true, true, false}, southFar{true, true, true};
  const MountGeometry altAz{false, false, false};
  const struct {
    MountGeometry g;
    Direction d;
    double tracking;  // multiples of the sidereal rate
    int axis;
    double rate;  // multiples of the sidereal rate
  } cases[] = {
      {north, Direction::North, 0, 1, 8},   {northFar, Direction::North, 0, 1, -8},
      {south, Direction::North, 0, 1, -8},  {southFar, Direction::North, 0, 1, 8},
      {north, Direction::South, 1, 1, -8},  {north, Direction::West, 1, 0, 9},
      {north, Direction::East, 1, 0, -7},   {south, Direction::West, 1, 0, -9},
      {southFar, Direction::East, 0, 0, 8}, {altAz, Direction::North, 1, 1, 8},
      {altAz, Direction::West, 1, 0, 8},    {altAz, Direction::East, 0, 0, -8},
  };
  for (const auto& c : cases) {
    const AxisRate r = ManualMotion(c.g, c.d, 8 * kOmega, c.tracking * kOmega);
    EXPECT_EQ(r.axis, c.axis);
    EXPECT_NEAR(r.rate / kOmega, c.rate, 1e-9) << static_cast<int>(c.d);
  }
  EXPECT_NEAR(ManualMotion(north, Direction::West, 1e4 * kOmega, 0).rate, kMaxAxisRate, 1e-15);
}

TEST(MotionRates, TrackingModesMapToTheLibrary) {
  const struct {
    int indi, library;
    double seconds;  // the period of the mode's sky rate
  } modes[] = {{0, 0, 86164.09065}, {1, 2, 86400.0}, {2, 1, 89460.0}, {7, 0, 86164.09065}};
  for (const auto& m : modes) {
    EXPECT_EQ(LibraryTrackingMode(m.indi), m.library);
    EXPECT_NEAR(TrackingSkyRate(m.indi), kTwoPi / m.seconds, 1e-18);
  }
}

TEST(MotionRates, GuidePulsesBecomeAxisRates) {
  const MountGeometry north{true, false, false}, northFar{true, false, true};
  const MountGeometry altAz{false, false, false};
  const Jacobian tilted{{{2.0, 0.5}, {0.1, 1.0}}};
  const struct {
    MountGeometry g;
    Jacobian j;
    GuideOffsets o;  // multiples of the sidereal rate
    double tracking;
    bool drive0, drive1;
    double rate0, rate1;
  } cases[] = {
      {north, EquatorialJacobian(north), {0.5, 0}, 1, true, false, 1.5, 0},
      {north, EquatorialJacobian(north), {-0.5, 0}, 1, true, false, 0.5, 0},
      {northFar, EquatorialJacobian(northFar), {0, 0.5}, 1, false, true, 0, -0.5},
      {north, EquatorialJacobian(north), {0.5, -0.5}, 0, true, true, 0.5, -0.5},
      {altAz, tilted, {0.5, 0}, 1, true, true, 3.0, 0.15},
      {altAz, tilted, {0, 0.5}, 1, true, true, 2.25, 0.6},
      {altAz, tilted, {0, 0}, 1, false, false, 0, 0},
  };
  for (const auto& c : cases) {
    const GuidePlan p =
        PlanGuide(c.g, c.j, {c.o.west * kOmega, c.o.north * kOmega}, c.tracking * kOmega);
    EXPECT_EQ(p.drive, (std::array<bool, 2>{c.drive0, c.drive1}));
    EXPECT_NEAR(p.rate[0] / kOmega, c.rate0, 1e-9);
    EXPECT_NEAR(p.rate[1] / kOmega, c.rate1, 1e-9);
  }
}

TEST(MotionRates, NumericJacobianFoldsTheAzimuthSeam) {
  // Axis 0 crosses +-pi at this point; the fold keeps the derivative at 2.
  const auto model = [](SkyPoint p) {
    return AxisPair{WrapPi(3.0 + 2.0 * p.hourAngle + p.declination), 0.5 * p.declination};
  };
  const Jacobian j = NumericJacobian(model, SkyPoint{0.0708, 0.0});
  EXPECT_NEAR(j.m[0][0], 2.0, 1e-6);
  EXPECT_NEAR(j.m[0][1], 1.0, 1e-6);
  EXPECT_NEAR(j.m[1][0], 0.0, 1e-6);
  EXPECT_NEAR(j.m[1][1], 0.5, 1e-6);
}

SyncedStar Star(double raDegrees, double decDegrees, double axis0 = 0) {
  SyncedStar s;
  s.rightAscension = Radians(raDegrees);
  s.declination = Radians(decDegrees);
  s.observation.axis0 = axis0;
  return s;
}

TEST(AlignmentBook, KeepsTheLatestThreeDistinctStars) {
  const struct {
    std::vector<SyncedStar> syncs;
    std::vector<double> expectedAxis0;  // marks each observation, oldest first
  } cases[] = {
      {{Star(10, 20, 1), Star(80, 10, 2), Star(200, -5, 3), Star(300, 40, 4)}, {2, 3, 4}},
      {{Star(10, 20, 1), Star(15, 22, 2)}, {2}},                      // re-centred on one star
      {{Star(10, 20, 1), Star(80, 10, 2), Star(12, 21, 3)}, {2, 3}},  // refines the first
      {{Star(10, 20, 1), Star(30, 20, 2)}, {1, 2}},                   // 18.8 degrees apart
  };
  for (const auto& c : cases) {
    AlignmentBook book;
    for (const auto& s : c.syncs) book.Add(s);
    ASSERT_EQ(book.stars().size(), c.expectedAxis0.size());
    for (size_t i = 0; i < c.expectedAxis0.size(); ++i) {
      EXPECT_EQ(book.stars()[i].observation.axis0, c.expectedAxis0[i]);
    }
  }
}

// The reason the driver gives for a goto that ended without arriving comes
// from the library's record of that goto.
TEST(GotoReport, SaysWhyAGotoEndedFromItsRecord) {
  const struct {
    int32_t outcome;
    int32_t code;
    const char* text;
  } cases[] = {
      {SIDERA_OUTCOME_NOT_ARRIVED, 0, "the mount ended it 0.50\u00b0 from the target"},
      {SIDERA_OUTCOME_STOPPED, 105, "it was stopped 0.50\u00b0 from the target"},
      {SIDERA_OUTCOME_REPLACED, 105, "a newer command replaced it"},
      {SIDERA_OUTCOME_FAILED, 101, "the mount: No response from Dec/Alt axis (code 101)"},
  };
  for (const auto& c : cases) {
    MotionOutcome record{};
    record.command = record.started = 4;
    record.outcome = c.outcome;
    record.code = c.code;
    record.error = 0.5 * kPi / 180.0;
    host::GotoWatch watch;
    watch.Start(record, 0.0);
    ASSERT_EQ(watch.Observe(record, 1.0), host::GotoWatch::State::kEnded);
    EXPECT_EQ(WhyGotoEnded(watch), c.text);
  }
}

TEST(LibraryWorker, RunsTasksInOrderAndRepliesOnTheLoop) {
  std::vector<int> done;  // replies only: touched by this thread alone
  std::atomic<int> ran{0};
  {
    LibraryWorker worker;
    for (int i = 0; i < 200; ++i) {
      worker.Post([&, i] {
        EXPECT_EQ(ran.fetch_add(1), i);
        worker.Reply([&done, i] { done.push_back(i); });
      });
    }
    while (done.size() < 200) {
      pollfd p{worker.notifyFd(), POLLIN, 0};
      ASSERT_GT(poll(&p, 1, 5000), 0) << "no reply within 5 s";
      worker.RunReplies();
    }
    // Tasks still queued at destruction run before the thread ends.
    for (int i = 0; i < 5; ++i) worker.Post([&] { ran.fetch_add(1); });
  }
  EXPECT_EQ(ran.load(), 205);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(done[static_cast<size_t>(i)], i);
}

}  // namespace
}  // namespace sidera::indi
