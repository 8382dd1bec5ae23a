// Language choice for the texts. The exact strings of every code and model
// in every language are checked by the C host test (api_c), which switches
// the locale between calls.
#include "sidera/api/texts.h"

#include <gtest/gtest.h>

#include "sidera/include/sidera.h"

namespace sidera {
namespace {

TEST(TextLanguageTest, OnlyTaiwanAndPrcIdentifiersSelectChinese) {
  EXPECT_EQ(TextLanguageOf(0x0404), TextLanguage::kTraditionalChinese);
  EXPECT_EQ(TextLanguageOf(0x0804), TextLanguage::kSimplifiedChinese);
  for (uint16_t id : {0x0C04, 0x1004, 0x1404, 0x0409, 0x0004, 0x0000, 0xFFFF}) {
    EXPECT_EQ(TextLanguageOf(id), TextLanguage::kEnglish) << std::hex << id;
  }
}

TEST(MountNameTest, NullBufferForAValidModelIsRefusedNotWrittenThrough) {
  EXPECT_EQ(::GetMountName(0, nullptr), 4);
  EXPECT_EQ(::GetMountName(11, nullptr), 4);
  EXPECT_EQ(::GetMountName(12, nullptr), 1);  // the model number is judged first
}

}  // namespace
}  // namespace sidera
