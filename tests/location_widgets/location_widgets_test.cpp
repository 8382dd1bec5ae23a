// The site program through its real widgets, off screen: key events and
// clicks drive the main dialog, the city picker and the GPS page (against
// the NMEA receiver emulator); the settings file and the D-Bus broadcast are
// checked from outside; screenshots go to the build's screenshots folder.
#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDir>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "emulators/nmea/nmea_feeder.h"
#include "location/app/dbus_broadcaster.h"
#include "location/app/main_dialog.h"
#include "location/app/qt_settings_store.h"
#include "location/app/resources.h"
#include "location/core/dms.h"
#include "location/core/gps/clock_service.h"
#include "location/core/site_settings.h"

namespace location {

// Counts the broadcasts heard on the session bus.
class Listener : public QObject {
  Q_OBJECT
 public:
  QList<QList<qint64>> heard;
 public slots:
  void message(uint message, uint wParam, int lParam) { heard.append({message, wParam, lParam}); }
};

class WidgetTests : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<MainDialog> Open(UiLanguage language, bool embedded, std::string gps = {}) {
    services_ = std::make_unique<MainDialogServices>(MainDialogServices{
        resources_, *settings_, broadcaster_, clock_, std::move(gps), language, embedded});
    auto dialog = std::make_unique<MainDialog>(*services_);
    dialog->show();
    QApplication::setActiveWindow(dialog.get());
    return dialog;
  }
  static QString Text(MainDialog& d, int id) {
    if (id == kLonHemisphere || id == kLatHemisphere) {
      return static_cast<HemisphereEdit*>(d.Control(id))->Text();
    }
    return static_cast<QLineEdit*>(d.Control(id))->text();
  }
  static QStringList Texts(MainDialog& d, int first, int last) {
    QStringList texts;
    for (int id = first; id <= last; ++id) texts << Text(d, id);
    return texts;
  }
  static void Key(QWidget* target, Qt::Key key, int times = 1) {
    for (int i = 0; i < times; ++i) QTest::keyClick(target, key);
  }
  static void Shoot(QWidget* widget, const char* name) {
    QDir().mkpath(QStringLiteral(LOCATION_SCREENSHOT_DIR));
    QVERIFY(widget->grab().save(QStringLiteral(LOCATION_SCREENSHOT_DIR "/%1").arg(name)));
  }
  // The settings as another program reads them from the file.
  static QVariant Stored(const char* name) {
    QSettings file(QSettings::NativeFormat, QSettings::UserScope, "ZENARA.en", "ZENARAWindow");
    return file.value(name);
  }

  Resources resources_;
  std::unique_ptr<QtSettingsStore> settings_;
  DBusBroadcaster broadcaster_;
  gps::RecordingClock clock_;
  std::unique_ptr<MainDialogServices> services_;
  Listener listener_;

 private slots:
  void initTestCase() {
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    QVERIFY(QDBusConnection::sessionBus().connect(QString(), kBroadcastPath, kBroadcastInterface,
                                                  kBroadcastSignal, &listener_,
                                                  SLOT(message(uint, uint, int))));
  }
  void init() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "ZENARA.en", "ZENARAWindow").clear();
    settings_ = std::make_unique<QtSettingsStore>();
    listener_.heard.clear();
  }

  void showsDegreesMinutesSecondsAndWrapsWithTheKeys() {
    settings_->WriteString("siteLon", "-73.25");
    settings_->WriteString("siteLat", "0.5");
    settings_->WriteInt("Elevation", 9999);
    auto dialog = Open(UiLanguage::kEnglish, false);
    QCOMPARE(Texts(*dialog, 1002, 1013),
             QStringList({"73", "15", "0", "West", "0", "30", "0", "North", "9", "9", "9", "9"}));
    Shoot(dialog.get(), "main-desktop-day.png");
    QWidget* focus = dialog->Control(1002);
    QVERIFY(focus->hasFocus());
    Key(focus, Qt::Key_Left);  // from the first field to the last
    QVERIFY(dialog->Control(1013)->hasFocus());
    Key(QApplication::focusWidget(), Qt::Key_Up);        // 9 wraps to 0
    Key(QApplication::focusWidget(), Qt::Key_Right, 5);  // round to latitude degrees
    QVERIFY(dialog->Control(1006)->hasFocus());
    Key(QApplication::focusWidget(), Qt::Key_PageDown);  // 0 wraps to 89
    Key(QApplication::focusWidget(), Qt::Key_Right, 3);
    Key(QApplication::focusWidget(), Qt::Key_Down);  // North flips to South
    QCOMPARE(Texts(*dialog, 1006, 1013),
             QStringList({"89", "30", "0", "South", "9", "9", "9", "0"}));

    // Held, the up button steps every 200 ms; released, once more.
    auto* up = static_cast<QAbstractButton*>(dialog->Control(1014));
    auto* repeat = dialog->findChild<QTimer*>("repeatTimer1003");
    QTest::mousePress(up, Qt::LeftButton);
    QVERIFY(repeat->isActive());
    QCOMPARE(repeat->interval(), 200);
    QVERIFY(QMetaObject::invokeMethod(repeat, "timeout"));  // one tick
    QTest::mouseRelease(up, Qt::LeftButton);
    QVERIFY(!repeat->isActive());
    QCOMPARE(Text(*dialog, 1009), "South");  // two flips
  }

  void applyKeepsTheCityAfterFocusOnlyAndDeletesItAfterAnEdit_data() {
    QTest::addColumn<bool>("edit");
    QTest::newRow("focus only") << false;
    QTest::newRow("edit") << true;
  }
  void applyKeepsTheCityAfterFocusOnlyAndDeletesItAfterAnEdit() {
    QFETCH(bool, edit);
    auto first = Open(UiLanguage::kEnglish, false);
    Key(QApplication::focusWidget(), Qt::Key_Space);  // the picker, on the first city
    Key(QApplication::focusWidget(), Qt::Key_Return);
    Key(QApplication::focusWidget(), Qt::Key_Escape);
    const QString city = Stored("siteCity").toString();
    QVERIFY(!city.isEmpty());
    first.reset();

    auto dialog = Open(UiLanguage::kEnglish, false);
    const QString line = dialog->findChild<QLabel*>("control1038")->text();
    QVERIFY(line.endsWith(city));  // named from the start
    Key(QApplication::focusWidget(), Qt::Key_Right);
    if (edit) Key(QApplication::focusWidget(), Qt::Key_Up);
    listener_.heard.clear();
    Key(QApplication::focusWidget(), Qt::Key_Comma);
    QCOMPARE(Stored("siteCity").isValid(), !edit);
    QCOMPARE(dialog->findChild<QLabel*>("control1038")->text(),
             edit ? QString("User-defined site") : line);
    // The site stored is the one the fields show.
    const double longitude = FromDms(Text(*dialog, 1002).toInt(), Text(*dialog, 1003).toInt(),
                                     Text(*dialog, 1004).toInt(), Text(*dialog, 1005) == "West");
    QCOMPARE(Stored("siteLon").toString(), QString::fromStdString(FormatAngle(longitude)));
    QTRY_COMPARE(listener_.heard.size(), 2);  // this apply and the picker's
    QCOMPARE(listener_.heard.last(), (QList<qint64>{0x052C, 0, 0}));
  }

  void pickerInSimplifiedChineseResetsAndReopens() {
    auto dialog = Open(UiLanguage::kSimplified, false);
    Key(QApplication::focusWidget(), Qt::Key_Space);
    CityPicker* picker = dialog->Picker();
    QVERIFY(picker->isVisible());
    QCOMPARE(picker->RegionList()->currentText(), "亚洲");
    Key(picker->CountryList(), Qt::Key_Down, 2);
    Key(picker->RegionList(), Qt::Key_Down);  // Europe: its first country and city
    QCOMPARE(picker->RegionList()->currentText(), "欧洲");
    QCOMPARE(picker->CountryList()->currentIndex(), 0);
    QCOMPARE(picker->CityList()->currentIndex(), 0);
    Key(picker->CountryList(), Qt::Key_Down);
    QVERIFY(picker->ApplyButton()->isEnabled());
    Shoot(dialog.get(), "picker-simplified-chinese.png");
    QTest::mouseClick(picker->ApplyButton(), Qt::LeftButton);
    QVERIFY(!picker->ApplyButton()->isEnabled());
    const QString country = picker->CountryList()->currentText();
    QCOMPARE(Stored("siteRegion").toString(), "欧洲");
    QCOMPARE(Stored("RegionIndex").toInt(), 1);
    QCOMPARE(Stored("siteCountry").toString(), country);
    QCOMPARE(Stored("CountryIndex").toInt(), 1);
    Key(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!picker->isVisible());
    dialog.reset();

    auto reopened = Open(UiLanguage::kSimplified, false);
    Key(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(reopened->Picker()->RegionList()->currentIndex(), 1);
    QCOMPARE(reopened->Picker()->CountryList()->currentText(), country);
  }

  void gpsPageAppliesAFixFromTheReceiver() {
    using sidera::emulator::NmeaSentence;
    sidera::emulator::NmeaFeeder feeder(
        {{NmeaSentence("GPGGA,043014.00,3413.6,N,11803.6,W,1,08,0.9,1742.0,M,-33.0,M,,"),
          NmeaSentence("GPRMC,043015.00,A,3413.6,N,11803.6,W,0.0,,210324,,,A")},
         40,
         4800,
         true});
    QVERIFY(feeder.Start());
    settings_->WriteInt("NightMode", 1);
    auto dialog = Open(UiLanguage::kEnglish, true, feeder.DevicePath());
    Key(QApplication::focusWidget(), Qt::Key_Left);
    Key(QApplication::focusWidget(), Qt::Key_Up);  // an edit, so the fields differ from the fix
    QTest::mouseClick(static_cast<QAbstractButton*>(dialog->Control(1001)), Qt::LeftButton);
    GpsPage* page = dialog->Gps();
    QVERIFY(page->isVisible());
    QVERIFY(!dialog->Control(1021)->isEnabled());
    // The sentences are dated 2024: read as recorded then, not as a
    // receiver behind by a week-number rollover.
    page->Reader().SetDatesFrom(gps::GpsTime{2024, 1, 1, 0, 0, 0});
    Key(page, Qt::Key_Return);  // connect
    QTRY_VERIFY_WITH_TIMEOUT(page->ApplyButton()->isEnabled(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!page->Reader().WorkerRunning(), 10000);
    QCOMPARE(page->ConnectButton()->text(), "Located");
    QCOMPARE(page->findChild<QLabel*>("gpsLine3")->text(), "Local Time:  2024-3-21 4:30:15");
    Shoot(dialog.get(), "gps-page-fix-embedded-night.png");
    QCOMPARE(clock_.Times().size(), 1u);
    QTest::mouseClick(page->ApplyButton(), Qt::LeftButton);
    QCOMPARE(Stored("siteLon").toString(), "-118.06");
    QCOMPARE(Stored("siteLat").toString(), "34.22666667");
    QCOMPARE(Stored("Elevation").toInt(), 1742);
    Key(page, Qt::Key_Escape);
    QVERIFY(!page->isVisible());
    QVERIFY(dialog->Control(1021)->isEnabled());
    QCOMPARE(Texts(*dialog, 1002, 1013), QStringList({"118", "3", "36", "West", "34", "13", "36",
                                                      "North", "1", "7", "4", "2"}));
    Shoot(dialog.get(), "main-embedded-night.png");
    QCOMPARE(dialog->Control(1002)->palette().color(QPalette::Base), QColor(195, 147, 131));
  }

  void nightModeNeedsTheEmbeddedLayout() {
    settings_->WriteInt("NightMode", 1);
    auto desktop = Open(UiLanguage::kTraditional, false);
    QCOMPARE(desktop->Control(1002)->palette().color(QPalette::Base), QColor(205, 218, 200));
    QCOMPARE(desktop->size(), QSize(320, 220));
    Shoot(desktop.get(), "main-desktop-traditional-chinese.png");
  }
};

}  // namespace location

int main(int argc, char** argv) {
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("TZ", "UTC");
  QApplication app(argc, argv);
  location::WidgetTests tests;
  return QTest::qExec(&tests, argc, argv);
}

#include "location_widgets_test.moc"
