#include <gtest/gtest.h>

#include "tools/sidera/steps.h"
#include "tools/sidera/text.h"

namespace sidera::tool {
namespace {

TEST(Steps, CommandLineSplitsAtEachSeparatorAndDropsEmptySteps) {
  EXPECT_EQ(SplitSteps({"--", "goto", "Vega", "--", "--", "status"}),
            (std::vector<Words>{{"goto", "Vega"}, {"status"}}));
  EXPECT_EQ(SplitSteps({"status"}), (std::vector<Words>{{"status"}}));
  EXPECT_TRUE(SplitSteps({}).empty());
  EXPECT_TRUE(SplitSteps({"--", "--"}).empty());
}

TEST(Steps, TypedLinesKeepQuotedBlanksAndIgnoreComments) {
  Words w;
  ASSERT_TRUE(SplitLine("goto 'Rigil Kentaurus'  # the brightest", &w));
  EXPECT_EQ(w, (Words{"goto", "Rigil Kentaurus"}));
  ASSERT_TRUE(SplitLine("\tslew\t0  -2.5\r", &w));
  EXPECT_EQ(w, (Words{"slew", "0", "-2.5"}));
  ASSERT_TRUE(SplitLine("sync \"\" x", &w));  // an empty quoted word is still a word
  EXPECT_EQ(w, (Words{"sync", "", "x"}));
  ASSERT_TRUE(SplitLine("goto 18:36:56 \"+38°47'01\"", &w));
  EXPECT_EQ(w, (Words{"goto", "18:36:56", "+38°47'01"}));
  ASSERT_TRUE(SplitLine("   # only a comment", &w));
  EXPECT_TRUE(w.empty());
  EXPECT_FALSE(SplitLine("goto 'Vega", &w));
}

TEST(Utf16Text, ConvertsChineseNamesSurrogatePairsAndDamagedText) {
  EXPECT_EQ(Utf16ToUtf8(u"EQ Mount Simulator"), "EQ Mount Simulator");
  EXPECT_EQ(Utf16ToUtf8(u"\u4EFF\u771F\u8D64\u9053\u4EEA"),
            "\xE4\xBB\xBF\xE7\x9C\x9F\xE8\xB5\xA4\xE9\x81\x93\xE4\xBB\xAA");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F52D"), "\xF0\x9F\x94\xAD");  // a pair becomes one code point
  const char16_t loneHigh[] = {u'a', 0xD83D, u'b', 0};
  EXPECT_EQ(Utf16ToUtf8(loneHigh),
            "a\xEF\xBF\xBD"
            "b");
  const char16_t loneLow[] = {0xDD2D, 0};
  EXPECT_EQ(Utf16ToUtf8(loneLow), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(u"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(Utf16ToUtf8(nullptr), "");
}

}  // namespace
}  // namespace sidera::tool
