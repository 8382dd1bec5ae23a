// Interface language rule and the caption identifiers per language.
#include "location/core/ui_language.h"

#include "platform/language.h"

namespace location {

UiLanguage UiLanguageFromId(uint16_t languageId) {
  const unsigned primary = languageId & 0x3FFu;
  const unsigned sub = languageId >> 10;
  if (primary != 4) return UiLanguage::kEnglish;
  return sub == 1 ? UiLanguage::kTraditional : UiLanguage::kSimplified;
}

UiLanguage CurrentUiLanguage() {
  return UiLanguageFromId(sidera::platform::UserDefaultLanguageId());
}

const CaptionIds& CaptionsFor(UiLanguage language) {
  // The back and GPS captions (76 onwards) are this program's additions.
  static constexpr CaptionIds kTables[3] = {
      {6, 28, 30, {31, 32, 33}, 14, 3, 4, 50, {42, 43, 44, 45}, 12, 11, 76, 79},
      {18, 35, 37, {38, 39, 40}, 26, 16, 17, 51, {46, 47, 48, 49}, 24, 23, 77, 79},
      {54, 64, 66, {67, 68, 69}, 62, 52, 53, 75, {71, 72, 73, 74}, 60, 59, 78, 79},
  };
  return kTables[static_cast<int>(language)];
}

}  // namespace location
