// Which text table the user's language identifier selects.

#include "platform/language.h"
#include "sidera/api/texts.h"

namespace sidera {

TextLanguage TextLanguageOf(uint16_t languageId) {
  // Only Taiwan and the PRC have tables of their own; the comparison is on
  // the whole identifier, so Hong Kong, Singapore and Macau read English.
  switch (languageId) {
    case platform::kLanguageChineseTaiwan:
      return TextLanguage::kTraditionalChinese;
    case platform::kLanguageChinesePrc:
      return TextLanguage::kSimplifiedChinese;
    default:
      return TextLanguage::kEnglish;
  }
}

TextLanguage CurrentTextLanguage() { return TextLanguageOf(platform::UserDefaultLanguageId()); }

void CopyText(const char16_t* text, char16_t* buffer) {
  do {
    *buffer++ = *text;
  } while (*text++ != u'\0');
}

}  // namespace sidera
