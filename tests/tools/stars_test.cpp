#include "tools/sidera/stars.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <set>
#include <string>

namespace sidera::tool {
namespace {

constexpr double kDeg = 3.141592653589793 / 180.0;

TEST(StarTable, LooksUpNamesIgnoringCaseBlanksAndDashes) {
  const Star* rigil = FindStar("Rigil Kentaurus");
  ASSERT_NE(rigil, nullptr);
  for (const char* spelling :
       {"rigil kentaurus", "RIGIL_KENTAURUS", "rigil-kentaurus", "RigilKentaurus"}) {
    EXPECT_EQ(FindStar(spelling), rigil) << spelling;
  }
  ASSERT_NE(FindStar("vega"), nullptr);
  EXPECT_STREQ(FindStar("vega")->name, "Vega");
  for (const char* unknown : {"", " ", "Vegas", "Veg", "Sol"}) {
    EXPECT_EQ(FindStar(unknown), nullptr) << unknown;
  }
}

TEST(StarTable, PositionsAgreeWithDecimalCatalogueValues) {
  // J2000 positions in decimal degrees, written independently of the
  // sexagesimal entries of the table.
  struct Case {
    const char* name;
    double ra, dec;
  } cases[] = {
      {"Vega", 279.23473, 38.78369},    {"Sirius", 101.28715, -16.71612},
      {"Polaris", 37.95456, 89.26411},  {"Arcturus", 213.91530, 19.18241},
      {"Canopus", 95.98796, -52.69566}, {"Fomalhaut", 344.41269, -29.62224},
  };
  for (const Case& c : cases) {
    const Star* star = FindStar(c.name);
    ASSERT_NE(star, nullptr) << c.name;
    EXPECT_NEAR(star->rightAscension / kDeg, c.ra, 0.001) << c.name;
    EXPECT_NEAR(star->declination / kDeg, c.dec, 0.001) << c.name;
  }
}

TEST(StarTable, EntriesAreDistinctInRangeAndBrightestFirst) {
  std::set<std::string> names;
  double previous = -10;
  int north = 0, south = 0;
  for (const Star& star : BrightStars()) {
    std::string folded;
    for (const char* p = star.name; *p; ++p) {
      if (*p != ' ') folded += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    EXPECT_TRUE(names.insert(folded).second) << star.name;
    EXPECT_GE(star.rightAscension, 0.0) << star.name;
    EXPECT_LT(star.rightAscension, 2 * 3.141592653589793) << star.name;
    EXPECT_LE(std::fabs(star.declination), 90 * kDeg) << star.name;
    EXPECT_GE(star.magnitude, previous) << star.name;
    previous = star.magnitude;
    (star.declination >= 0 ? north : south)++;
  }
  EXPECT_GE(names.size(), 25u);
  // Both hemispheres have stars to align on.
  EXPECT_GE(north, 8);
  EXPECT_GE(south, 8);
}

}  // namespace
}  // namespace sidera::tool
