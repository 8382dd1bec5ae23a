// The main dialog's widgets, layout and key handling.
#include "location/app/main_dialog.h"

#include <QIntValidator>
#include <QKeyEvent>
#include <QPainter>
#include <cstdio>

namespace location {
namespace {

constexpr int kUp = 1014, kDown = 1015, kCityButton = 1000, kGpsButton = 1001;
constexpr int kApply = 1021, kBack = 1020;
constexpr int kRepeatMs = 200;

}  // namespace

MainDialog::MainDialog(const MainDialogServices& services, QWidget* parent)
    : QDialog(parent),
      services_(services),
      theme_(),
      pickerModel_(services.language, services.resources.Strings(),
                   [&resources = services.resources](int id) { return resources.SiteTable(id); }),
      controller_(services.settings, services.broadcaster, pickerModel_,
                  services.resources.Strings(), services.language, services.embedded, errors_) {
  controller_.Initialise();
  theme_ = ThemeFor(LookFor(services.embedded, controller_.NightMode()));
  Resources& resources = services.resources;
  const CaptionIds& captions = CaptionsFor(services.language);
  picture_ = resources.Bitmap(theme_.background);
  setObjectName(QStringLiteral("mainDialog"));
  setWindowTitle(QStringLiteral("Location"));

  QPalette fieldColours = palette();
  fieldColours.setColor(QPalette::Base, theme_.field);
  fieldColours.setColor(QPalette::Window, theme_.field);
  fieldColours.setColor(QPalette::Text, kLabelText);
  for (int id = kFirstField; id <= kLastField; ++id) {
    if (SiteEditor::IsHemisphere(id)) continue;
    auto* field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("control%1").arg(id));
    field->setFont(PixelFont(16));
    field->setAlignment(Qt::AlignCenter);
    field->setPalette(fieldColours);
    field->setFrame(false);
    const int maximum = SiteEditor::Maximum(id);
    field->setValidator(new QIntValidator(0, maximum, field));
    field->setMaxLength(static_cast<int>(std::to_string(maximum).size()));
    field->installEventFilter(this);
    connect(field, &QLineEdit::textEdited, this, [this, id](const QString& text) {
      controller_.Editor().SetText(id, text.toStdString());
    });
    fields_[id] = field;
  }
  const int hemisphereIds[2] = {kLonHemisphere, kLatHemisphere};
  const int hemisphereTexts[2] = {captions.hemisphereLon, captions.hemisphereLat};
  for (int i = 0; i < 2; ++i) {
    hemispheres_[i] =
        new HemisphereEdit(hemisphereIds[i], resources.Text(hemisphereTexts[i]), this);
    hemispheres_[i]->setPalette(fieldColours);
    hemispheres_[i]->installEventFilter(this);
    connect(hemispheres_[i], &HemisphereEdit::focused, this,
            [this](int id) { controller_.Editor().Focus(id); });
  }
  // Tab order follows the fields, as the left and right keys do.
  for (int id = kFirstField; id < kLastField; ++id) setTabOrder(Control(id), Control(id + 1));

  for (int i = 0; i < 4; ++i) {
    groupLabels_[i] = new QLabel(this);
    groupLabels_[i]->setObjectName(QStringLiteral("control%1").arg(1023 + i));
    groupLabels_[i]->setFont(PixelFont(14));
    groupLabels_[i]->setAlignment(Qt::AlignCenter);
    QPalette text = groupLabels_[i]->palette();
    text.setColor(QPalette::WindowText, kLabelText);
    groupLabels_[i]->setPalette(text);
  }
  for (int i = 0; i < 3; ++i) groupLabels_[i]->setText(resources.Text(captions.groupLabels[i]));
  groupLabels_[3]->setText(resources.Text(80));  // the elevation's unit

  siteName_ = new QLabel(this);
  siteName_->setObjectName(QStringLiteral("control1038"));
  siteName_->setFont(PixelFont(14));
  siteName_->setAlignment(Qt::AlignCenter);
  siteName_->setAutoFillBackground(true);
  QPalette siteColours = siteName_->palette();
  siteColours.setColor(QPalette::Window, theme_.siteNameBackground);
  siteColours.setColor(QPalette::WindowText, theme_.siteNameText);
  siteName_->setPalette(siteColours);

  const QPixmap pressed = resources.Bitmap(theme_.mainPressedFace);
  const std::pair<int, QString> buttons[] = {
      {kUp, QStringLiteral("\u25B2")},
      {kDown, QStringLiteral("\u25BC")},
      {kCityButton, resources.Text(captions.cityButton)},
      {kGpsButton, resources.Text(captions.gps)},
      {kApply, resources.Text(captions.apply)},
      {kBack, resources.Text(captions.back)},
  };
  for (const auto& [id, caption] : buttons) {
    // Released, a main-dialog button is its caption over the dialog's picture.
    auto* button = new OwnerDrawnButton(id, pressed, QPixmap(), kCaptionOnPressedFace, this);
    button->setText(caption);
    buttons_[id] = button;
  }
  buttons_[kBack]->setFont(PixelFont(14));
  connect(buttons_[kApply], &QAbstractButton::clicked, this, &MainDialog::Apply);
  connect(buttons_[kBack], &QAbstractButton::clicked, this, &MainDialog::Back);
  connect(buttons_[kCityButton], &QAbstractButton::clicked, this, &MainDialog::OpenCityPicker);
  connect(buttons_[kGpsButton], &QAbstractButton::clicked, this, &MainDialog::OpenGpsPage);
  connect(buttons_[kUp], &QAbstractButton::clicked, this, [this] { Step(+1); });
  connect(buttons_[kDown], &QAbstractButton::clicked, this, [this] { Step(-1); });
  for (int i = 0; i < 2; ++i) {
    const int delta = i == 0 ? +1 : -1;
    repeat_[i] = new QTimer(this);
    repeat_[i]->setObjectName(QStringLiteral("repeatTimer%1").arg(1003 + i));
    repeat_[i]->setInterval(kRepeatMs);
    connect(repeat_[i], &QTimer::timeout, this, [this, delta] { Step(delta); });
    OwnerDrawnButton* button = buttons_[i == 0 ? kUp : kDown];
    connect(button, &QAbstractButton::pressed, repeat_[i], qOverload<>(&QTimer::start));
    connect(button, &QAbstractButton::released, repeat_[i], &QTimer::stop);
  }

  if (services.embedded) {
    setWindowFlag(Qt::FramelessWindowHint);
    setGeometry(0, 0, 320, 240);
  } else {
    setGeometry(0, 20, 320, 220);
  }
  ShowFields();
  ShowSiteName();
  Control(kFirstField)->setFocus();
}

MainDialog::~MainDialog() = default;

QWidget* MainDialog::Control(int id) const {
  if (id == kLonHemisphere) return hemispheres_[0];
  if (id == kLatHemisphere) return hemispheres_[1];
  if (const auto field = fields_.find(id); field != fields_.end()) return field->second;
  if (const auto button = buttons_.find(id); button != buttons_.end()) return button->second;
  return findChild<QWidget*>(QStringLiteral("control%1").arg(id));
}

void MainDialog::ShowFields() {
  const SiteEditor& editor = controller_.Editor();
  for (auto& [id, field] : fields_) field->setText(QString::fromStdString(editor.Text(id)));
  hemispheres_[0]->SetLine(editor.HemisphereLine(kLonHemisphere));
  hemispheres_[1]->SetLine(editor.HemisphereLine(kLatHemisphere));
}

void MainDialog::ShowSiteName() {
  siteName_->setText(QString::fromStdString(controller_.SiteNameLine()));
}

void MainDialog::Step(int delta) {
  controller_.Editor().Step(delta);
  ShowFields();
  if (auto* field = qobject_cast<QLineEdit*>(Control(controller_.Editor().SelectedControl()))) {
    field->selectAll();
  }
}

void MainDialog::Apply() {
  const bool pickerShown = picker_ != nullptr && picker_->isVisible();
  const bool gpsShown = gps_ != nullptr && gps_->isVisible();
  const ApplySource source = pickerShown ? ApplySource::kPicker
                             : gpsShown  ? ApplySource::kGps
                                         : ApplySource::kFields;
  const GpsSite offered = gpsShown ? gps_->Model().Site() : GpsSite{};
  if (!controller_.Apply(source, offered)) return;
  if (const std::string errors = errors_.str(); !errors.empty()) {
    std::fputs(errors.c_str(), stderr);
    errors_.str({});
  }
  if (pickerShown) picker_->setFocus();
  if (gpsShown) gps_->setFocus();
  ShowSiteName();
}

void MainDialog::Back() {
  if (picker_ != nullptr && picker_->isVisible()) {
    picker_->hide();
    controller_.RefreshDisplay();
  } else if (gps_ != nullptr && gps_->isVisible()) {
    gps_->Close();
    controller_.RefreshDisplay();
    buttons_[kApply]->setEnabled(true);
  } else {
    reject();  // the program ends with the dialog; the GPS page joins its worker
    return;
  }
  ShowFields();
  ShowSiteName();
  Control(controller_.Editor().SelectedControl())->setFocus();
}

QRect MainDialog::PageRect() const {
  // (14, 55) and 292 x 173 on the desktop's screen, below its 20-pixel bar;
  // (14, 38) and 292 x 188 on the hand-held's full screen. Scaled with the
  // dialog.
  const QRect nominal = services_.embedded ? QRect(14, 38, 292, 188) : QRect(14, 35, 292, 173);
  const double sx = width() / 320.0;
  const double sy = height() / (services_.embedded ? 240.0 : 220.0);
  return QRect(qRound(nominal.x() * sx), qRound(nominal.y() * sy), qRound(nominal.width() * sx),
               qRound(nominal.height() * sy));
}

void MainDialog::OpenCityPicker() {
  if (picker_ == nullptr) {
    pickerModel_.Load(services_.settings);
    picker_ = new CityPicker(pickerModel_, services_.resources, services_.language,
                             LookFor(services_.embedded, controller_.NightMode()), this);
    connect(picker_, &CityPicker::applyRequested, this, &MainDialog::Apply);
    connect(picker_, &CityPicker::backRequested, this, &MainDialog::Back);
  }
  if (gps_ != nullptr && gps_->isVisible()) return;
  picker_->setGeometry(PageRect());
  picker_->show();
  picker_->raise();
  picker_->RegionList()->setFocus();
}

void MainDialog::OpenGpsPage() {
  if (gps_ == nullptr) {
    gps_ = new GpsPage(services_.resources, services_.language,
                       LookFor(services_.embedded, controller_.NightMode()), services_.clock,
                       services_.gpsDevice, this);
    connect(gps_, &GpsPage::applyRequested, this, &MainDialog::Apply);
    connect(gps_, &GpsPage::backRequested, this, &MainDialog::Back);
  }
  if (picker_ != nullptr && picker_->isVisible()) return;
  gps_->setGeometry(PageRect());
  gps_->show();
  gps_->raise();
  gps_->setFocus();
  buttons_[kApply]->setEnabled(false);
}

void MainDialog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(rect(), picture_);
  // Degree, minute and second marks after the angle fields.
  painter.setPen(kLabelText);
  painter.setFont(PixelFont(14));
  static const QString kMarks[3] = {QStringLiteral("\u00B0"), QStringLiteral("\u2032"),
                                    QStringLiteral("\u2033")};
  for (int group = 1; group <= 2; ++group) {
    for (int i = 0; i < 3; ++i) {
      const QRect field = Control(SiteEditor::ControlOf(group, i))->geometry();
      painter.drawText(QRect(field.right() + 1, field.top() - 4, 8, 14), Qt::AlignLeft, kMarks[i]);
    }
  }
}

void MainDialog::resizeEvent(QResizeEvent*) {
  Control(kBack)->setGeometry(0, 5, 40, 30);
  // Everything else on a 320 x 220 design grid, scaled to the dialog.
  const double sx = width() / 320.0;
  const double sy = height() / 220.0;
  auto place = [&](QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(qRound(x * sx), qRound(y * sy), qRound(width * sx), qRound(height * sy));
  };
  place(siteName_, 46, 8, 268, 24);
  const int columns[4] = {88, 128, 168, 208};
  const int rows[3] = {48, 88, 128};
  for (int group = 1; group <= 3; ++group) {
    place(groupLabels_[group - 1], 4, rows[group - 1], 80, 22);
    for (int index = 0; index < 4; ++index) {
      const int id = SiteEditor::ControlOf(group, index);
      place(Control(id), columns[index], rows[group - 1], SiteEditor::IsHemisphere(id) ? 50 : 33,
            22);
    }
  }
  place(groupLabels_[3], 244, 128, 18, 22);
  place(buttons_[kUp], 270, 44, 46, 40);
  place(buttons_[kDown], 270, 112, 46, 40);
  place(buttons_[kCityButton], 6, 172, 98, 38);
  place(buttons_[kGpsButton], 111, 172, 98, 38);
  place(buttons_[kApply], 216, 172, 98, 38);
  if (picker_ != nullptr) picker_->setGeometry(PageRect());
  if (gps_ != nullptr) gps_->setGeometry(PageRect());
}

bool MainDialog::HandleKey(int key) {
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Comma:
      if (buttons_[kApply]->isEnabled()) Apply();
      return true;
    case Qt::Key_Escape:
      Back();
      return true;
    case Qt::Key_Space:
      OpenCityPicker();
      return true;
    case Qt::Key_PageUp:
    case Qt::Key_Up:
      Step(+1);
      return true;
    case Qt::Key_PageDown:
    case Qt::Key_Down:
      Step(-1);
      return true;
    case Qt::Key_Left:
    case Qt::Key_Right: {
      const int from = controller_.Editor().SelectedControl();
      const int to =
          key == Qt::Key_Left ? SiteEditor::PreviousControl(from) : SiteEditor::NextControl(from);
      Control(to)->setFocus();
      return true;
    }
    default:
      return false;
  }
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
  if (!HandleKey(event->key())) QDialog::keyPressEvent(event);
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    for (const auto& [id, field] : fields_) {
      if (field == watched) {
        controller_.Editor().Focus(id);
        QMetaObject::invokeMethod(field, &QLineEdit::selectAll, Qt::QueuedConnection);
      }
    }
  } else if (event->type() == QEvent::KeyPress &&
             HandleKey(static_cast<QKeyEvent*>(event)->key())) {
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace location
