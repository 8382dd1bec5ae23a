// A hemisphere field: two lines ("East" and "West", or "North" and
// "South"), of which the first visible one is the hemisphere. It takes the
// focus like the numeric fields; the dialog flips it with the up and down
// keys.
#pragma once

#include <QStringList>
#include <QWidget>

namespace location {

class HemisphereEdit : public QWidget {
  Q_OBJECT

 public:
  HemisphereEdit(int controlId, const QString& lines, QWidget* parent);
  void SetLine(int line);
  int Line() const { return line_; }
  QString Text() const { return lines_.value(line_); }

 signals:
  void focused(int controlId);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  int controlId_;
  QStringList lines_;
  int line_ = 0;
};

}  // namespace location
