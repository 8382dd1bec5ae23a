// The two-line hemisphere field.
#include "location/app/hemisphere_edit.h"

#include <QPainter>

#include "location/app/theme.h"

namespace location {

HemisphereEdit::HemisphereEdit(int controlId, const QString& lines, QWidget* parent)
    : QWidget(parent), controlId_(controlId), lines_(lines.split(QStringLiteral("\r\n"))) {
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  setFont(PixelFont(16));
  setObjectName(QStringLiteral("control%1").arg(controlId));
}

void HemisphereEdit::SetLine(int line) {
  line_ = line;
  update();
}

void HemisphereEdit::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Text));
  painter.drawText(rect(), Qt::AlignCenter, Text());
  if (hasFocus()) {
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(rect().adjusted(1, 1, -1, -1));
  }
}

void HemisphereEdit::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  emit focused(controlId_);
  update();
}

void HemisphereEdit::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

}  // namespace location
