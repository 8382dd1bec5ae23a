// Painting of the owner-drawn buttons.
#include "location/app/owner_drawn_button.h"

#include <QPainter>

#include "location/app/theme.h"

namespace location {

OwnerDrawnButton::OwnerDrawnButton(int controlId, QPixmap pressed, QPixmap released,
                                   QColor captionOnPressed, QWidget* parent)
    : QAbstractButton(parent),
      controlId_(controlId),
      pressed_(std::move(pressed)),
      released_(std::move(released)),
      captionOnPressed_(captionOnPressed) {
  setFont(PixelFont(18));
  // The keys work on the dialog's fields; buttons are for the pointer.
  setFocusPolicy(Qt::NoFocus);
  setObjectName(QStringLiteral("control%1").arg(controlId));
}

void OwnerDrawnButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPixmap& face = isDown() ? pressed_ : released_;
  if (!face.isNull()) painter.drawPixmap(rect(), face);
  QColor caption = kCaptionEnabled;
  if (!isEnabled()) {
    caption = kCaptionDisabled;
  } else if (isDown() && !face.isNull()) {
    caption = captionOnPressed_;
  }
  painter.setPen(caption);
  painter.setFont(font());
  painter.drawText(rect(), Qt::AlignCenter, text());
}

}  // namespace location
