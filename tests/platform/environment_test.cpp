// Choices the library takes from the environment: the user's language and
// the device path of a numbered serial port.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/language.h"
#include "platform/serial_port.h"

namespace sidera::platform {
namespace {

// Sets a variable, or unsets it for nullptr.
void SetEnv(const char* name, const char* value) {
  value ? setenv(name, value, 1) : unsetenv(name);
}

TEST(UserLanguage, FirstNonEmptyLocaleVariableChoosesTheIdentifier) {
  const struct {
    const char *lcAll, *lcMessages, *lang;
    uint16_t expected;
  } cases[] = {
      {nullptr, nullptr, nullptr, 0x0409},
      {nullptr, nullptr, "zh_TW.UTF-8", 0x0404},
      {nullptr, nullptr, "zh_CN.GB18030", 0x0804},
      {nullptr, "zh_HK.UTF-8", "zh_CN.UTF-8", 0x0C04},
      {"zh_SG", "zh_TW", "zh_TW", 0x1004},
      {"zh_MO.UTF-8@stroke", nullptr, nullptr, 0x1404},
      // An empty variable is skipped; a set one wins even when not Chinese.
      {"", "", "zh_TW.UTF-8", 0x0404},
      {"C", nullptr, "zh_TW.UTF-8", 0x0409},
      {nullptr, nullptr, "zh", 0x0409},
  };
  for (const auto& c : cases) {
    SetEnv("LC_ALL", c.lcAll);
    SetEnv("LC_MESSAGES", c.lcMessages);
    SetEnv("LANG", c.lang);
    EXPECT_EQ(UserDefaultLanguageId(), c.expected)
        << (c.lcAll ? c.lcAll : "-") << " / " << (c.lcMessages ? c.lcMessages : "-") << " / "
        << (c.lang ? c.lang : "-");
  }
  SetEnv("LC_ALL", nullptr);
  SetEnv("LC_MESSAGES", nullptr);
  SetEnv("LANG", nullptr);
}

TEST(SerialDevicePath, PatternFromTheEnvironmentIsFormattedLiterally) {
  const struct {
    const char* pattern;  // nullptr: unset
    int number;
    const char* expected;
  } cases[] = {
      {nullptr, 2, "/dev/ttyS2"},
      {"", 0, "/dev/ttyS0"},
      {"/dev/ttyUSB%d", 0, "/dev/ttyUSB0"},
      {"/tmp/mount-line", 7, "/tmp/mount-line"},  // one device for every number
      {"/dev/x%d-%d", 5, "/dev/x5-%d"},           // only the first %d is a number
      {"100%%-%d", 5, "100%-5"},
      // Anything printf would act on stays text.
      {"%s%n", 1, "%s%n"},
      {"%x%p%d%", 4, "%x%p4%"},
  };
  for (const auto& c : cases) {
    SetEnv("SIDERA_SERIAL_PATTERN", c.pattern);
    EXPECT_EQ(SerialDevicePath(c.number), c.expected) << (c.pattern ? c.pattern : "(unset)");
  }
  EXPECT_EQ(SerialDevicePath(3, true), "/dev/rfcomm3");
  SetEnv("SIDERA_SERIAL_PATTERN", nullptr);
}

}  // namespace
}  // namespace sidera::platform
