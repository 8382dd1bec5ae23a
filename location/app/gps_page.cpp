// The GPS page's widgets and the hand-over of worker reports.
#include "location/app/gps_page.h"

#include <QKeyEvent>
#include <QPainter>

namespace location {

GpsPage::GpsPage(Resources& resources, UiLanguage language, Look look, gps::ClockService& clock,
                 const std::string& devicePath, QWidget* parent)
    : QWidget(parent),
      reader_(clock, *this),
      model_(resources.Strings(), language, reader_, devicePath) {
  const Theme theme = ThemeFor(look);
  picture_ = resources.Bitmap(theme.pageReleasedFace);
  setObjectName(QStringLiteral("gpsPage"));
  setFocusPolicy(Qt::StrongFocus);
  for (int i = 0; i < 4; ++i) {
    lines_[i] = new QLabel(this);
    lines_[i]->setObjectName(QStringLiteral("gpsLine%1").arg(i));
    lines_[i]->setFont(PixelFont(14));
    lines_[i]->setAlignment(Qt::AlignCenter);
    QPalette text = lines_[i]->palette();
    text.setColor(QPalette::WindowText, kLabelText);
    lines_[i]->setPalette(text);
  }
  const QPixmap pressed = resources.Bitmap(theme.pagePressedFace);
  connect_ = new OwnerDrawnButton(1029, pressed, picture_, kCaptionEnabled, this);
  apply_ = new OwnerDrawnButton(1021, pressed, picture_, kCaptionEnabled, this);
  apply_->setText(resources.Text(CaptionsFor(language).apply));
  connect(connect_, &QAbstractButton::clicked, this, [this] {
    model_.Toggle();
    Render();
  });
  connect(apply_, &QAbstractButton::clicked, this, &GpsPage::applyRequested);
  model_.Initialise();
  Render();
}

GpsPage::~GpsPage() {
  reader_.RequestStop();
  reader_.Join();
}

void GpsPage::Close() {
  model_.Close();
  Render();
  hide();
}

template <typename F>
void GpsPage::Post(F change) {
  QMetaObject::invokeMethod(
      this,
      [this, change] {
        change();
        Render();
      },
      Qt::QueuedConnection);
}

void GpsPage::OnSatellites(int worker, int count) {
  Post([this, worker, count] { model_.OnSatellites(worker, count); });
}
void GpsPage::OnPosition(int worker, double longitude, double latitude) {
  Post([this, worker, longitude, latitude] { model_.OnPosition(worker, longitude, latitude); });
}
void GpsPage::OnLocated(int worker) {
  Post([this, worker] { model_.OnLocated(worker); });
}
void GpsPage::OnTime(int worker, const gps::GpsTime& utc) {
  Post([this, worker, utc] { model_.OnTime(worker, utc); });
}
void GpsPage::OnProbeFailed(int worker) {
  Post([this, worker] { model_.OnProbeFailed(worker); });
}
void GpsPage::OnFinished(int) {}

void GpsPage::Render() {
  for (int i = 0; i < 4; ++i) lines_[i]->setText(QString::fromStdString(model_.LineText(i)));
  connect_->setText(QString::fromStdString(model_.ConnectCaption()));
  apply_->setEnabled(model_.ApplyEnabled());
}

void GpsPage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(rect(), picture_);
}

void GpsPage::resizeEvent(QResizeEvent*) {
  // Laid out on a 292 x 173 grid, scaled to the page's size.
  const double sx = width() / 292.0;
  const double sy = height() / 173.0;
  auto place = [&](QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(qRound(x * sx), qRound(y * sy), qRound(width * sx), qRound(height * sy));
  };
  for (int i = 0; i < 4; ++i) place(lines_[i], 6, 8 + 26 * i, 280, 24);
  place(connect_, 20, 124, 120, 38);
  place(apply_, 152, 124, 120, 38);
}

void GpsPage::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    connect_->click();
  } else if (event->key() == Qt::Key_Escape) {
    emit backRequested();
  }
  // Other keys stay with the page rather than reaching the fields behind it.
  event->accept();
}

}  // namespace location
