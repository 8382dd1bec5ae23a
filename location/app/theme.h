// Colours, bitmaps and fonts of the three looks: the desktop, the hand-held
// by day and the hand-held by night.
#pragma once

#include <QColor>
#include <QFont>

namespace location {

enum class Look { kDesktop, kDay, kNight };

inline Look LookFor(bool embedded, bool night) {
  return !embedded ? Look::kDesktop : night ? Look::kNight : Look::kDay;
}

struct Theme {
  int background;        // the main dialog's picture
  int mainPressedFace;   // main dialog buttons while pressed
  int pageReleasedFace;  // picker and GPS page buttons, and those pages' picture
  int pagePressedFace;
  QColor field;  // numeric fields, hemisphere edits, picker lists
  QColor siteNameText;
  QColor siteNameBackground;
};

inline Theme ThemeFor(Look look) {
  switch (look) {
    case Look::kDesktop:
      return {131, 132, 144, 145, QColor(205, 218, 200), QColor(230, 230, 230), QColor(62, 62, 62)};
    case Look::kDay:
      return {171, 172, 173, 174, QColor(211, 205, 255), QColor(230, 230, 230), QColor(62, 62, 62)};
    case Look::kNight:
      return {146, 147, 148, 149, QColor(195, 147, 131), QColor(160, 0, 0), QColor(58, 38, 38)};
  }
  return ThemeFor(Look::kDesktop);
}

inline const QColor kLabelText(20, 20, 20);
inline const QColor kCaptionEnabled(20, 20, 20);
inline const QColor kCaptionDisabled(148, 148, 148);
inline const QColor kCaptionOnPressedFace(220, 220, 220);

// Fonts are sized in pixels, like the hand-held's: 14 for labels and lines,
// 16 for the fields, 18 for button captions.
inline QFont PixelFont(int height) {
  QFont font;
  font.setPixelSize(height);
  return font;
}

}  // namespace location
