// A failed fit leaves the pointing model as it was: the alignment in force,
// or the nominal mount without one.
#include "host/sync_restore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "host/sky_angles.h"
#include "host/sky_coordinates.h"
#include "host/sky_frame.h"
#include "host/sync_model.h"
#include "sidera.h"

namespace sidera::host {
namespace {

TEST(SyncRestore, AFailedFitKeepsTheModelInForce) {
  ASSERT_EQ(CreateMount(6, 0.6, 100.0), SIDERA_OK);
  // A fit that fails on a nominal mount leaves it nominal.
  const auto failing = [] { return AlignTwoStars({0.1, 0.5, 0.1, 0.5}, {0.9, 0.5, 0.1, 0.5}); };
  EXPECT_NE(FitOrRestore(failing), SIDERA_OK);
  AlignmentRecord record{};
  (void)SaveAlignment(&record);
  EXPECT_FALSE(record.isAligned);

  ASSERT_EQ(FitOrRestore([] { return AlignOneStar({0.3, 0.4, 0.31, 0.42}); }), SIDERA_OK);
  AlignmentRecord aligned{};
  (void)SaveAlignment(&aligned);
  ASSERT_TRUE(aligned.isAligned);
  EXPECT_NE(FitOrRestore(failing), SIDERA_OK);
  AlignmentRecord after{};
  (void)SaveAlignment(&after);
  EXPECT_EQ(std::memcmp(&after, &aligned, sizeof after), 0);
  EXPECT_EQ(DestroyMount(), SIDERA_OK);
}

std::vector<uint8_t> SavedModel() {
  int size = 0;
  (void)SaveAlignmentModel(nullptr, 0, &size);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  EXPECT_EQ(SaveAlignmentModel(bytes.data(), size, &size), SIDERA_OK);
  return bytes;
}

// A many-star model, which the 200-byte record cannot hold, comes back
// whole after a fit that changed the model and then failed.
TEST(SyncRestore, AFailedFitKeepsAManyStarModelWhole) {
  ASSERT_EQ(CreateMount(6, 0.6, 100.0), SIDERA_OK);
  std::vector<AlignStar> stars;
  for (const SkyPoint sky : {SkyPoint{-1.0, 0.2}, SkyPoint{-0.3, 0.9}, SkyPoint{0.5, -0.1},
                             SkyPoint{1.2, 0.6}, SkyPoint{-1.6, 1.1}, SkyPoint{0.1, 0.4}}) {
    AxisPair axes{};
    ASSERT_EQ(SkyToAxes(sky, &axes), SIDERA_OK);
    stars.push_back({sky.hourAngle, sky.declination, axes.axis0 + 0.003 + 1e-5 * stars.size(),
                     axes.axis1 - 0.002});
  }
  ASSERT_EQ(AlignStars(stars.data(), static_cast<int>(stars.size())), SIDERA_OK);
  const std::vector<uint8_t> model = SavedModel();
  const auto changesThenFails = [] {
    (void)AlignOneStar({0.3, 0.4, 0.31, 0.42});
    return SIDERA_ALIGN_FAILED;
  };
  EXPECT_EQ(FitOrRestore(changesThenFails), SIDERA_ALIGN_FAILED);
  EXPECT_EQ(SavedModel(), model);
  EXPECT_EQ(DestroyMount(), SIDERA_OK);
}

// Syncs as points of the model, or as a one-star alignment that drops them;
// a sync whose fit fails keeps the points as they were.
TEST(SyncModel, PointsAddUpAndAFailedFitKeepsThem) {
  ASSERT_EQ(CreateMount(6, 0.6, 100.0), SIDERA_OK);
  SyncModel model;
  const auto centred = [](SkyPoint sky, double offset) {
    AxisPair axes{};
    EXPECT_EQ(SkyToAxes(sky, &axes), SIDERA_OK);
    return AlignStar{sky.hourAngle, sky.declination, axes.axis0 + offset, axes.axis1};
  };
  EXPECT_EQ(model.Sync(centred({-1.0, 0.2}, 0.002), 25.0, true), SIDERA_OK);
  EXPECT_EQ(model.Sync(centred({0.5, 0.9}, 0.002), 3.0, true), SIDERA_OK);
  SyncModelView view = model.View();
  ASSERT_EQ(view.points.size(), 2u);
  EXPECT_NEAR(view.points[0].raHours, 1.0, 1e-9);  // wrapped into 0 to 24 h
  EXPECT_NEAR(view.points[1].decDegrees, Degrees(0.9), 1e-9);
  // A second star 90 degrees from where the axes say: no fit, no new point.
  EXPECT_NE(model.Sync({1.5, 0.1, 0.0, 0.1}, 9.0, true), SIDERA_OK);
  EXPECT_EQ(model.View().points.size(), 2u);
  EXPECT_EQ(model.Sync(centred({0.2, 0.4}, 0.001), 6.0, false), SIDERA_OK);
  EXPECT_TRUE(model.View().points.empty());
  // A star centred: the axes read, the hour angle at the sky clock's time.
  SyncPoint point;
  ASSERT_EQ(ObserveCentredStar(
                6.0, 45.0, [] { return int64_t{1767225600000}; }, 10.0, &point),
            SIDERA_OK);
  AxisPair axes{};
  ASSERT_EQ(GetAxisPositions(&axes), SIDERA_OK);
  EXPECT_NEAR(point.observation.axis0, axes.axis0, 1e-3);
  EXPECT_NEAR(point.observation.hourAngle,
              HourAngleOf(6.0, LocalApparentSiderealTimeAt(10.0, 1767225600000)), 1e-12);
  EXPECT_NEAR(point.rightAscension, kPi / 2, 1e-12);
  EXPECT_EQ(model.Clear(true), SIDERA_OK);
  EXPECT_EQ(DestroyMount(), SIDERA_OK);
}

}  // namespace
}  // namespace sidera::host
