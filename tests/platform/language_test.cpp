#include "sidera/platform/language.h"

#include <gtest/gtest.h>

#include "env_guard.h"

namespace sidera::platform {
namespace {

TEST(UserLanguage, FirstNonEmptyLocaleVariableChoosesTheIdentifier) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    uint16_t expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, 0x0409},
      {nullptr, nullptr, "zh_TW.UTF-8", 0x0404},
      {nullptr, nullptr, "zh_CN.GB18030", 0x0804},
      {nullptr, "zh_HK.UTF-8", "zh_CN.UTF-8", 0x0C04},
      {"zh_SG", "zh_TW", "zh_TW", 0x1004},
      {"zh_MO.UTF-8@stroke", nullptr, nullptr, 0x1404},
      // An empty variable is skipped; a set one wins even when it is not
      // Chinese.
      {"", "", "zh_TW.UTF-8", 0x0404},
      {"C", nullptr, "zh_TW.UTF-8", 0x0409},
      {"en_GB.UTF-8", "zh_CN", nullptr, 0x0409},
      {nullptr, nullptr, "zh", 0x0409},
      {nullptr, nullptr, "ja_JP.UTF-8", 0x0409},
  };
  for (const Case& c : cases) {
    testing::EnvGuard all("LC_ALL", c.lcAll), messages("LC_MESSAGES", c.lcMessages),
        lang("LANG", c.lang);
    EXPECT_EQ(UserDefaultLanguageId(), c.expected)
        << (c.lcAll ? c.lcAll : "-") << " / " << (c.lcMessages ? c.lcMessages : "-") << " / "
        << (c.lang ? c.lang : "-");
  }
}

}  // namespace
}  // namespace sidera::platform
