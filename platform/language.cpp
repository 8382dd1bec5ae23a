// The user's language, taken from the POSIX locale variables.

#include "platform/language.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace sidera::platform {
namespace {

struct LocaleLanguage {
  const char* prefix;
  uint16_t id;
};

constexpr LocaleLanguage kChineseLocales[] = {
    {"zh_TW", kLanguageChineseTaiwan},   {"zh_CN", kLanguageChinesePrc},
    {"zh_HK", kLanguageChineseHongKong}, {"zh_SG", kLanguageChineseSingapore},
    {"zh_MO", kLanguageChineseMacau},
};

// The locale that governs messages, in the precedence POSIX gives it.
const char* MessageLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return value;
    }
  }
  return "";
}

}  // namespace

uint16_t UserDefaultLanguageId() {
  const char* locale = MessageLocale();
  for (const LocaleLanguage& entry : kChineseLocales) {
    if (std::strncmp(locale, entry.prefix, std::strlen(entry.prefix)) == 0) {
      return entry.id;
    }
  }
  return kLanguageEnglishUs;
}

}  // namespace sidera::platform
