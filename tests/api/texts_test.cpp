// Language choice and the text look-ups. The exact strings of every code
// and model in every language are checked by the C host test (api_c).
#include "sidera/api/texts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

TEST(ErrorMessageTest, CodesWithoutAMessageGetTheUnknownText) {
  const std::u16string unknown[] = {u"Unknown error ID", u"未定义的错误代码", u"未定義的錯誤代碼"};
  const TextLanguage languages[] = {TextLanguage::kEnglish, TextLanguage::kSimplifiedChinese,
                                    TextLanguage::kTraditionalChinese};
  for (int i = 0; i < 3; ++i) {
    for (int code : {0, 6, -1, 99, 106, 199, 201, 301, 401, 1 << 30}) {
      EXPECT_EQ(ErrorMessageText(code, languages[i]), unknown[i]) << code;
    }
  }
}

TEST(ErrorMessageTest, TraditionalTableBorrowsTheSimplifiedTextForCode300) {
  EXPECT_EQ(std::u16string(ErrorMessageText(300, TextLanguage::kTraditionalChinese)),
            std::u16string(ErrorMessageText(300, TextLanguage::kSimplifiedChinese)));
}

TEST(ErrorMessageTest, LongestTextFillsSixtyNineUnitsAndNoMore) {
  ASSERT_EQ(setenv("LC_ALL", "C", 1), 0);
  char16_t buffer[80];
  std::fill(std::begin(buffer), std::end(buffer), u'\xBEEF');
  ::GetErrorMessage(400, buffer);
  EXPECT_EQ(std::u16string(buffer).size(), 68u);
  EXPECT_EQ(buffer[69], u'\xBEEF');
  ::GetErrorMessage(400, nullptr);  // ignored
}

TEST(MountNameTest, LanguageIsReadOnEveryCallAndInvalidTypesLeaveTheBuffer) {
  char16_t buffer[40];
  ASSERT_EQ(setenv("LC_ALL", "zh_CN.UTF-8", 1), 0);
  EXPECT_EQ(::GetMountName(6, buffer), 0);
  EXPECT_EQ(std::u16string(buffer), u"仿真赤道仪");
  ASSERT_EQ(setenv("LC_ALL", "zh_TW.UTF-8", 1), 0);
  EXPECT_EQ(::GetMountName(6, buffer), 0);
  EXPECT_EQ(std::u16string(buffer), u"仿真赤道儀");
  ASSERT_EQ(setenv("LC_ALL", "zh_HK.UTF-8", 1), 0);
  EXPECT_EQ(::GetMountName(6, buffer), 0);
  EXPECT_EQ(std::u16string(buffer), u"EQ Mount Simulator");

  buffer[0] = u'#';
  EXPECT_EQ(::GetMountName(12, buffer), 1);
  EXPECT_EQ(::GetMountName(-1, buffer), 1);
  EXPECT_EQ(buffer[0], u'#');
  // A null buffer for a valid model is refused rather than written through.
  EXPECT_EQ(::GetMountName(0, nullptr), 4);
  EXPECT_EQ(::GetMountName(12, nullptr), 1);
  ASSERT_EQ(setenv("LC_ALL", "C", 1), 0);
}

}  // namespace
}  // namespace sidera
