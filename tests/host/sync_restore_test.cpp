// A failed fit leaves the pointing model as it was: the alignment in force,
// or the nominal mount without one.
#include "host/sync_restore.h"

#include <gtest/gtest.h>

#include <cstring>

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

}  // namespace
}  // namespace sidera::host
