// Language choice and the text look-ups. The exact strings of every code
// and model in every language, and the buffer bounds, are checked by the C
// host test (api_c), which switches the locale between calls.
#include "sidera/api/texts.h"

#include <gtest/gtest.h>

#include "sidera/include/sidera.h"

namespace sidera {
namespace {

TEST(TextLanguageTest, OnlyTaiwanAndPrcIdentifiersSelectChinese) {
  struct Case {
    uint16_t id;
    TextLanguage expected;
  } cases[] = {
      {0x0404, TextLanguage::kTraditionalChinese},
      {0x0804, TextLanguage::kSimplifiedChinese},
      {0x0C04, TextLanguage::kEnglish},
      {0x1004, TextLanguage::kEnglish},
      {0x1404, TextLanguage::kEnglish},
      {0x0409, TextLanguage::kEnglish},
      {0x0004, TextLanguage::kEnglish},
      {0x0000, TextLanguage::kEnglish},
      {0xFFFF, TextLanguage::kEnglish},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextLanguageOf(c.id), c.expected) << std::hex << c.id;
  }
}

TEST(MountNameTest, NullBufferForAValidModelIsRefusedNotWrittenThrough) {
  EXPECT_EQ(::GetMountName(0, nullptr), 4);
  EXPECT_EQ(::GetMountName(11, nullptr), 4);
  EXPECT_EQ(::GetMountName(12, nullptr), 1);  // the model number is judged first
  ::GetErrorMessage(400, nullptr);            // ignored, no result to report
}

}  // namespace
}  // namespace sidera
