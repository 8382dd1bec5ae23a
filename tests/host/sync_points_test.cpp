// The synced points of the pointing model: up to 100, a sync within 0.5
// degrees of a point replaces it, the newest always last.
#include "host/sync_points.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace sidera::host {
namespace {

SyncPoint Star(double raDegrees, double decDegrees, double axis0 = 0) {
  SyncPoint s;
  s.rightAscension = raDegrees / 180.0 * M_PI;
  s.declination = decDegrees / 180.0 * M_PI;
  s.observation.axis0 = axis0;
  return s;
}

TEST(SyncPoints, KeepsTheLatestHundredDistinctPoints) {
  std::vector<SyncPoint> hundredAndOne;
  for (int i = 0; i <= 100; ++i) hundredAndOne.push_back(Star(i * 3.5, i % 2 ? 20 : -20, i));
  std::vector<double> lastHundred;
  for (int i = 1; i <= 100; ++i) lastHundred.push_back(i);
  const struct {
    std::vector<SyncPoint> syncs;
    std::vector<double> expectedAxis0;  // marks each observation, oldest first
  } cases[] = {
      {{Star(10, 20, 1), Star(80, 10, 2), Star(200, -5, 3), Star(300, 40, 4)}, {1, 2, 3, 4}},
      {{Star(10, 20, 1), Star(10.3, 20.2, 2)}, {2}},  // re-centred, 0.35 degrees
      {{Star(10, 20, 1), Star(80, 10, 2), Star(10.2, 20.1, 3)}, {2, 3}},  // refines the first
      {{Star(10, 20, 1), Star(10.6, 20, 2)}, {1, 2}},                     // 0.56 degrees apart
      {hundredAndOne, lastHundred},                                       // the oldest goes
  };
  for (const auto& c : cases) {
    SyncPoints book;
    for (const auto& s : c.syncs) book.Add(s);
    ASSERT_EQ(book.points().size(), c.expectedAxis0.size());
    const std::vector<AlignStar> observations = book.Observations();
    for (size_t i = 0; i < c.expectedAxis0.size(); ++i) {
      EXPECT_EQ(observations[i].axis0, c.expectedAxis0[i]);
    }
  }
}

}  // namespace
}  // namespace sidera::host
