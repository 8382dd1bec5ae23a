// A button drawn by the program: its face bitmap stretched over it (the
// pressed face while pressed, the released face, if any, otherwise), and its
// caption centred in an 18-pixel font. Whatever the face leaves uncovered
// shows the parent's picture.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace location {

class OwnerDrawnButton : public QAbstractButton {
  Q_OBJECT

 public:
  // `released` may be null: the released button is then only its caption
  // over the parent's picture. `captionOnPressed` is the caption colour over
  // the pressed face.
  OwnerDrawnButton(int controlId, QPixmap pressed, QPixmap released, QColor captionOnPressed,
                   QWidget* parent);
  int ControlId() const { return controlId_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int controlId_;
  QPixmap pressed_;
  QPixmap released_;
  QColor captionOnPressed_;
};

}  // namespace location
