// The interface language of the site program and the string identifiers of
// its captions in each language.
#pragma once

#include <cstdint>

namespace location {

enum class UiLanguage { kEnglish = 0, kSimplified = 1, kTraditional = 2 };

// Primary language 4 (Chinese) with sub-language 1 is traditional Chinese;
// Chinese with any other sub-language is simplified Chinese; everything else
// is English.
UiLanguage UiLanguageFromId(uint16_t languageId);

// The language of the user running the program (from the locale variables).
UiLanguage CurrentUiLanguage();

// String identifiers of every caption the program shows, for one language.
struct CaptionIds {
  int regionsFirst;       // five region names, in continent order
  int pickerLabelsFirst;  // "Region", "Country", "City"
  int cityButton;
  int groupLabels[3];  // longitude, latitude, elevation
  int apply;
  int hemisphereLon;  // "East\r\nWest"
  int hemisphereLat;  // "North\r\nSouth"
  int siteWithoutName;
  int gpsLines[4];  // longitude, latitude, satellites, time formats
  int connectIdle;
  int connectLocating;
  int back;
  int gps;
};

// String 13, the connect caption once a position is found, in every language.
inline constexpr int kLocatedCaption = 13;
// String 1: where the settings live.
inline constexpr int kSettingsPathString = 1;

const CaptionIds& CaptionsFor(UiLanguage language);

}  // namespace location
