// The city picker page's widgets.
#include "location/app/city_picker.h"

#include <QKeyEvent>
#include <QPainter>

namespace location {

CityPicker::CityPicker(CityPickerModel& model, Resources& resources, UiLanguage language, Look look,
                       QWidget* parent)
    : QWidget(parent), model_(model) {
  const Theme theme = ThemeFor(look);
  const CaptionIds& captions = CaptionsFor(language);
  picture_ = resources.Bitmap(theme.pageReleasedFace);
  setObjectName(QStringLiteral("cityPicker"));
  for (int i = 0; i < 3; ++i) {
    labels_[i] = new QLabel(resources.Text(captions.pickerLabelsFirst + i), this);
    labels_[i]->setObjectName(QStringLiteral("control%1").arg(1035 + i));
    labels_[i]->setFont(PixelFont(16));
    labels_[i]->setAlignment(Qt::AlignCenter);
    QPalette text = labels_[i]->palette();
    text.setColor(QPalette::WindowText, kLabelText);
    labels_[i]->setPalette(text);
    lists_[i] = new QComboBox(this);
    lists_[i]->setFont(PixelFont(16));
    lists_[i]->setMaxVisibleItems(8);
    QPalette colours = lists_[i]->palette();
    colours.setColor(QPalette::Base, theme.field);
    colours.setColor(QPalette::Button, theme.field);
    colours.setColor(QPalette::ButtonText, kLabelText);
    colours.setColor(QPalette::Text, kLabelText);
    lists_[i]->setPalette(colours);
    lists_[i]->installEventFilter(this);
  }
  lists_[0]->setObjectName(QStringLiteral("regionList"));
  lists_[1]->setObjectName(QStringLiteral("countryList"));
  lists_[2]->setObjectName(QStringLiteral("cityList"));
  apply_ = new OwnerDrawnButton(1021, resources.Bitmap(theme.pagePressedFace), picture_,
                                kCaptionEnabled, this);
  apply_->setText(resources.Text(captions.apply));
  apply_->setEnabled(false);
  connect(apply_, &QAbstractButton::clicked, this, [this] {
    apply_->setEnabled(false);
    emit applyRequested();
  });
  connect(lists_[0], &QComboBox::activated, this, [this](int index) {
    model_.SelectRegion(index);
    Reload();
    Changed();
  });
  connect(lists_[1], &QComboBox::activated, this, [this](int index) {
    model_.SelectCountry(index);
    Reload();
    Changed();
  });
  connect(lists_[2], &QComboBox::activated, this, [this](int index) {
    model_.SelectCity(index);
    Changed();
  });
  installEventFilter(this);
  setFocusPolicy(Qt::StrongFocus);
  Reload();
}

void CityPicker::Fill(QComboBox* list, const std::vector<std::string>& entries, int current) {
  QSignalBlocker quiet(list);
  list->clear();
  for (const std::string& entry : entries) list->addItem(QString::fromStdString(entry));
  list->setCurrentIndex(current);
}

void CityPicker::Reload() {
  Fill(lists_[0], model_.Regions(), model_.RegionIndex());
  Fill(lists_[1], model_.Countries(), model_.CountryIndex());
  Fill(lists_[2], model_.Cities(), model_.CityIndex());
}

void CityPicker::Changed() { apply_->setEnabled(true); }

void CityPicker::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(rect(), picture_);
}

void CityPicker::resizeEvent(QResizeEvent*) {
  // Laid out on a 292 x 173 grid, scaled to the page's size.
  const double sx = width() / 292.0;
  const double sy = height() / 173.0;
  auto place = [&](QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(qRound(x * sx), qRound(y * sy), qRound(width * sx), qRound(height * sy));
  };
  for (int i = 0; i < 3; ++i) {
    place(labels_[i], 6, 12 + 38 * i, 70, 28);
    place(lists_[i], 80, 12 + 38 * i, 204, 28);
  }
  place(apply_, 96, 128, 100, 36);
}

// Keys the lists leave alone stay with the page rather than reaching the
// fields behind it.
void CityPicker::keyPressEvent(QKeyEvent* event) { event->accept(); }

bool CityPicker::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      emit applyRequested();
      return true;
    }
    if (key == Qt::Key_Escape) {
      emit backRequested();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace location
