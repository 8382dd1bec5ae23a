// Display texts: status-code messages and model names in three languages.
#pragma once

#include <cstdint>

namespace sidera {

enum class TextLanguage { kEnglish, kSimplifiedChinese, kTraditionalChinese };

// The text language for a 16-bit language identifier: 0x0404 traditional
// Chinese, 0x0804 simplified Chinese, every other identifier (the other
// Chinese locales included) English.
TextLanguage TextLanguageOf(uint16_t languageId);
// The language of the user's current locale, read afresh on every call.
TextLanguage CurrentTextLanguage();

// The one of three translations of a text that `language` selects.
inline const char16_t* InLanguage(TextLanguage language, const char16_t* english,
                                  const char16_t* simplified, const char16_t* traditional) {
  switch (language) {
    case TextLanguage::kSimplifiedChinese:
      return simplified;
    case TextLanguage::kTraditionalChinese:
      return traditional;
    case TextLanguage::kEnglish:
      break;
  }
  return english;
}

// The message for a status code; codes without a message of their own (0
// among them) get the unknown-code text. Never null.
const char16_t* ErrorMessageText(int code, TextLanguage language);

// The display name of model `type`, or null for a type with no row.
const char16_t* MountNameText(int type, TextLanguage language);

// Copies the zero-terminated `text`, terminator included, into `buffer`.
void CopyText(const char16_t* text, char16_t* buffer);

}  // namespace sidera
